// What one steady-state poll tick costs on each source and route: exactly the protocol's
// minimum of transfers, the one trace fragment, and no allocation by the program.
#include "app/shell.h"
#include "chiplib/etlib2_test.h"
#include "diag/serial_log.h"
#include "sources/button_source.h"
#include "support/camera_routes.h"
#include "winsim/devices.h"
#include "winsim/dshow.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gNews{0};
} // namespace

// Counts every C++ allocation in this test binary. The sanitizers bring their own allocator,
// so a sanitized build counts nothing and the allocation check is left to the plain build.
#ifndef __SANITIZE_ADDRESS__
void* operator new(size_t size) {
    ++gNews;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#endif

namespace {

struct Route {
    const char* name;        // of the source and route, as the shared camera routes name them
    size_t transfersPerTick; // the protocol's minimum
    size_t traceWritesPerTick;
};

class TickCostTest : public EtLib2Fixture, public ::testing::WithParamInterface<Route> {};

TEST_P(TickCostTest, SteadyTickMakesTheMinimumTransfersAndAllocatesNothing) {
    winsim::NamedDevice* com2 = winsim::AddNamedDevice("COM2", true);
    winsim::SetClockBase(60000);
    LoadSerialNumber();
    const CameraSource* source = FindCameraSource(GetParam().name);
    ASSERT_NE(source, nullptr);
    source->offer(camera);
    AttachButtonSource();
    ASSERT_TRUE(gButtonSource.registerSource || gButtonSource.evaSource ||
                gButtonSource.captureDevice);
    // From here only counts are kept, so what allocates is the program.
    camera.SetRecording(false);
    com2->recordWrites = false;
    winsim::RecordCallLog(false);
    for (int i = 0; i < 3; ++i) { // settle: first fragment, the simulation's first use
        Sleep(200);
        PollOnce();
    }
    const size_t transfers = camera.TransferCount(), writes = com2->writeCount;
    const uint64_t heapCalls = winsim::CallCount("HeapAlloc");
    const int ticks = 10;
    const long newsBefore = gNews;
    for (int i = 0; i < ticks; ++i) {
        Sleep(200);
        PollOnce();
    }
    const long news = gNews - newsBefore;
    EXPECT_EQ(camera.TransferCount() - transfers, ticks * GetParam().transfersPerTick);
    EXPECT_EQ(com2->writeCount - writes, ticks * GetParam().traceWritesPerTick);
    EXPECT_EQ(winsim::CallCount("HeapAlloc") - heapCalls, 0u);
    EXPECT_EQ(news, 0) << "C++ allocations in " << ticks << " ticks";
    EXPECT_TRUE(winsim::KeyEvents().empty()) << "no press, no key";
    std::printf("%s: %zu transfers, %zu trace writes, %ld C++ allocations per tick\n",
                GetParam().name, (camera.TransferCount() - transfers) / ticks,
                (com2->writeCount - writes) / ticks, news / ticks);
    DetachButtonSource();
}

INSTANTIATE_TEST_SUITE_P(
    EverySourceAndRoute, TickCostTest,
    ::testing::Values(Route{"RegisterHid", 2, 1}, Route{"RegisterExtensionUnit", 4, 1},
                      Route{"RegisterVideoInput", 2, 1}, Route{"RegisterReceiver", 1, 1},
                      Route{"Eva", 1, 2}, Route{"CaptureDevice", 2, 0}),
    [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
