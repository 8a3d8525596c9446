// Fixed runs for an instruction count under callgrind, which collects only inside ProfiledPoll
// (--toggle-collect='ProfiledPoll()'):
//   tick_profile ROUTE [TICKS]             steady ticks on one source and route (1000)
//   tick_profile press INTERFACES [PRESSES] presses on the register source over HID with that
//                                           many HID interfaces, the camera's last (10)
// It prints what the counted polls moved, and fails when no source attaches, a key is sent
// without a press (or a press sends none), or detaching leaves something open.
#include "bench/bench_machine.h"

#include "app/shell.h"
#include "sources/button_source.h"
#include "winsim/control.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// The counted polls go through here and the settling ones do not.
__attribute__((noinline)) void ProfiledPoll() {
    PollOnce();
}

namespace {

int Usage() {
    std::fprintf(stderr, "usage: tick_profile ROUTE [TICKS] | tick_profile press INTERFACES "
                         "[PRESSES]\nroutes:");
    for (size_t i = 0; i < kCameraSourceCount; ++i)
        std::fprintf(stderr, " %s", kCameraSources[i].name);
    std::fprintf(stderr, "\n");
    return 2;
}

// Attaches, stops the records and lets the first trace fragment and the simulation's first
// use pass uncounted.
bool Settle(BenchMachine& machine, const char* what) {
    if (!machine.Attach()) {
        std::fprintf(stderr, "%s: no button source attached\n", what);
        return false;
    }
    machine.StopRecording();
    for (int i = 0; i < 3; ++i)
        BenchMachine::Tick();
    return true;
}

int Finish(BenchMachine& machine, const std::string& name, std::string fault) {
    const std::string left = machine.Detach();
    if (fault.empty())
        fault = left;
    if (fault.empty())
        return 0;
    std::fprintf(stderr, "%s: %s\n", name.c_str(), fault.c_str());
    return 1;
}

int ProfileTicks(const CameraSource& route, long ticks) {
    BenchMachine machine;
    route.offer(machine.camera);
    if (!Settle(machine, route.name))
        return 1;
    const size_t transfers = machine.camera.TransferCount(), writes = machine.com2->writeCount;
    for (long i = 0; i < ticks; ++i) {
        Sleep(200);
        ProfiledPoll();
    }
    std::printf("%s: %ld ticks, %zu transfers, %zu trace writes\n", route.name, ticks,
                machine.camera.TransferCount() - transfers, machine.com2->writeCount - writes);
    return Finish(machine, route.name,
                  winsim::KeyEvents().empty() ? "" : "a key was sent without a press");
}

int ProfilePresses(long interfaces, long presses) {
    const std::string name = "press with " + std::to_string(interfaces) + " HID interfaces";
    BenchMachine machine;
    AddKeyboards(int(interfaces - 1));
    OfferCameraHid(machine.camera);
    if (!Settle(machine, name.c_str()))
        return 1;
    if (!gButtonSource.registerSource) {
        std::fprintf(stderr, "%s: not the register source\n", name.c_str());
        return 1;
    }
    const size_t transfers = machine.camera.TransferCount();
    const winsim::OpenCounts opens = winsim::DeviceOpenCounts();
    size_t releaseTransfers = 0;
    winsim::ClearKeyEvents();
    for (long i = 0; i < presses; ++i) {
        machine.camera.PressButton();
        Sleep(200);
        ProfiledPoll();
        // The tick after resets the press latch; it is not counted.
        const size_t before = machine.camera.TransferCount();
        BenchMachine::Tick();
        releaseTransfers += machine.camera.TransferCount() - before;
    }
    const winsim::OpenCounts after = winsim::DeviceOpenCounts();
    std::printf("%s: %ld presses, %zu transfers, %llu query-only opens, %llu read/write opens\n",
                name.c_str(), presses,
                machine.camera.TransferCount() - transfers - releaseTransfers,
                (unsigned long long)(after.queryOnly - opens.queryOnly),
                (unsigned long long)(after.readWrite - opens.readWrite));
    const bool oneKeyEach = winsim::KeyEvents().size() == 2 * size_t(presses); // Space
    return Finish(machine, name, oneKeyEach ? "" : "not one key action per press");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4)
        return Usage();
    const std::string what = argv[1];
    if (what == "press") {
        const long interfaces = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
        const long presses = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 10;
        if (interfaces <= 0 || presses <= 0)
            return Usage();
        return ProfilePresses(interfaces, presses);
    }
    const CameraSource* route = FindCameraSource(what);
    const long ticks = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1000;
    if (!route || ticks <= 0 || argc > 3)
        return Usage();
    return ProfileTicks(*route, ticks);
}
