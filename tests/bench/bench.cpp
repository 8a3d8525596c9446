// What a steady poll tick costs on each source and route, and what a press costs as the number
// of HID interfaces on the system grows, against winsim. Real time is the host's running the
// program and the simulation together; the counters are the program's own doing per tick or
// per press.
#include "bench/bench_machine.h"

#include "sources/button_source.h"
#include "winsim/control.h"
#include "winsim/devices.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A benchmark whose run went wrong ends the program with a failure, so a smoke run can fail.
bool gFailed = false;

void Fail(benchmark::State& state, const std::string& why) {
    gFailed = true;
    state.SkipWithError(why.c_str());
}

benchmark::Counter PerIteration(double total) {
    return benchmark::Counter(total, benchmark::Counter::kAvgIterations);
}

// Every source and route, without a press: Sleep(200) of virtual time, then the poll.
void BM_PollTick(benchmark::State& state, const CameraSource* route) {
    BenchMachine machine;
    route->offer(machine.camera);
    if (!machine.Attach()) {
        Fail(state, "no button source attached");
        return;
    }
    machine.StopRecording();
    for (int i = 0; i < 3; ++i) // the first trace fragment, the simulation's first use
        BenchMachine::Tick();
    const size_t transfers = machine.camera.TransferCount(), writes = machine.com2->writeCount;
    const uint64_t heapAllocs = winsim::CallCount("HeapAlloc");
    const uint64_t calls = winsim::CallCount();
    for (auto _ : state)
        BenchMachine::Tick();
    state.counters["transfers"] = PerIteration(double(machine.camera.TransferCount() - transfers));
    state.counters["trace_writes"] = PerIteration(double(machine.com2->writeCount - writes));
    state.counters["heap_allocs"] =
        PerIteration(double(winsim::CallCount("HeapAlloc") - heapAllocs));
    state.counters["win32_calls"] = PerIteration(double(winsim::CallCount() - calls));
    const bool keySent = !winsim::KeyEvents().empty();
    const std::string left = machine.Detach();
    if (keySent)
        Fail(state, "a key was sent without a press");
    else if (!left.empty())
        Fail(state, left);
}

// What a press moves: the camera, the opens by access, the search's calls and allocations.
struct PressCounts {
    size_t transfers;
    winsim::OpenCounts opens;
    uint64_t heapAllocs, enumerations, preparsed, calls;

    static PressCounts Now(const vcam::Camera& camera) {
        return {camera.TransferCount(),
                winsim::DeviceOpenCounts(),
                winsim::CallCount("HeapAlloc"),
                winsim::CallCount("SetupDiEnumDeviceInterfaces"),
                winsim::CallCount("HidD_GetPreparsedData"),
                winsim::CallCount()};
    }
    void Add(const PressCounts& before, const PressCounts& after) {
        transfers += after.transfers - before.transfers;
        opens.queryOnly += after.opens.queryOnly - before.opens.queryOnly;
        opens.readWrite += after.opens.readWrite - before.opens.readWrite;
        opens.other += after.opens.other - before.opens.other;
        heapAllocs += after.heapAllocs - before.heapAllocs;
        enumerations += after.enumerations - before.enumerations;
        preparsed += after.preparsed - before.preparsed;
        calls += after.calls - before.calls;
    }
};

// The register source over HID with range(0) HID interfaces on the system, the camera's last.
// One iteration is one press: the button latched, then the tick that sees it (the library closed
// and opened again, which searches every interface, then the acknowledgement) and its key action.
// The tick after, which resets the press latch, is not timed.
void BM_Press(benchmark::State& state) {
    const int interfaces = int(state.range(0));
    BenchMachine machine;
    AddKeyboards(interfaces - 1);
    OfferCameraHid(machine.camera);
    if (!machine.Attach() || !gButtonSource.registerSource) {
        Fail(state, "the register source did not attach over HID");
        return;
    }
    machine.StopRecording();
    for (int i = 0; i < 3; ++i)
        BenchMachine::Tick();
    PressCounts total = {};
    PressCounts before = PressCounts::Now(machine.camera);
    size_t keyEvents = 0;
    winsim::ClearKeyEvents();
    for (auto _ : state) {
        machine.camera.PressButton();
        BenchMachine::Tick();
        state.PauseTiming();
        total.Add(before, PressCounts::Now(machine.camera));
        keyEvents += winsim::KeyEvents().size();
        winsim::ClearKeyEvents();
        BenchMachine::Tick();
        before = PressCounts::Now(machine.camera);
        state.ResumeTiming();
    }
    state.counters["transfers"] = PerIteration(double(total.transfers));
    state.counters["query_opens"] = PerIteration(double(total.opens.queryOnly));
    state.counters["rw_opens"] = PerIteration(double(total.opens.readWrite));
    state.counters["other_opens"] = PerIteration(double(total.opens.other));
    state.counters["heap_allocs"] = PerIteration(double(total.heapAllocs));
    state.counters["setupdi_enum"] = PerIteration(double(total.enumerations));
    state.counters["hid_preparsed"] = PerIteration(double(total.preparsed));
    state.counters["win32_calls"] = PerIteration(double(total.calls));
    const std::string left = machine.Detach();
    // Space, the default mode: one key down and up per press.
    if (keyEvents != 2 * size_t(state.iterations()))
        Fail(state, "a press did not give exactly one key action");
    else if (!left.empty())
        Fail(state, left);
}

} // namespace

int main(int argc, char** argv) {
    for (size_t i = 0; i < kCameraSourceCount; ++i)
        benchmark::RegisterBenchmark((std::string("BM_PollTick/") + kCameraSources[i].name).c_str(),
                                     BM_PollTick, &kCameraSources[i]);
    benchmark::RegisterBenchmark("BM_Press", BM_Press)
        ->ArgName("interfaces")
        ->Arg(1)
        ->Arg(10)
        ->Arg(100)
        ->Arg(1000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return gFailed ? 1 : 0;
}
