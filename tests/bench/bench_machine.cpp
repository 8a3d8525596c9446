// The benchmarks' machine: the same routes and configuration memory the tick cost test's fixture
// offers, set up without GoogleTest.
#include "bench/bench_machine.h"

#include "app/shell.h"
#include "chiplib/etlib2.h"
#include "sources/button_source.h"
#include "support/camera_routes.h"
#include "support/program_state.h"
#include "winsim/control.h"
#include "winsim/dshow.h"
#include "winsim/system.h"

#include <cstdint>
#include <cstring>
#include <vector>

void AddKeyboards(int count) {
    for (int i = 0; i < count; ++i)
        winsim::AddHidInterface(winsim::KeyboardHidInterface(winsim::HidPath(0x046D, 0xC31C, i)));
}

BenchMachine::BenchMachine() {
    ResetProgramState();
    // Millions of ticks of virtual time; the default limit is meant for tests.
    winsim::SetTimeLimit(UINT64_MAX);
    winsim::SetClockBase(60000);
    com2 = winsim::AddNamedDevice("COM2", true);
    LoadCameraSerialNumber(camera);
}

BenchMachine::~BenchMachine() {
    // The simulated devices refer to `camera`, which goes now.
    ResetProgramState();
}

bool BenchMachine::Attach() {
    AttachButtonSource();
    return gButtonSource.registerSource || gButtonSource.evaSource || gButtonSource.captureDevice;
}

void BenchMachine::StopRecording() {
    camera.SetRecording(false);
    com2->recordWrites = false;
    winsim::RecordCallLog(false);
}

void BenchMachine::Tick() {
    Sleep(200);
    PollOnce();
}

std::string BenchMachine::Detach() {
    DetachButtonSource();
    etLib2_Close();
    return WhatIsLeftOpen();
}
