// What one steady-state poll tick costs on each route: exactly the protocol's minimum of
// transfers, one trace fragment, and no allocation by the program.
#include "chiplib/etlib2_test.h"
#include "diag/serial_log.h"
#include "sources/button_source.h"
#include "winsim/dshow.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gNews{0};
} // namespace

// Counts every C++ allocation in this test binary, the program's and winsim's alike. The
// sanitizers bring their own allocator, so a sanitized build counts nothing.
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
    const char* name;
    void (EtLib2Fixture::*offer)();
    size_t transfersPerTick;
};

class TickCostTest : public EtLib2Fixture, public ::testing::WithParamInterface<Route> {};

TEST_P(TickCostTest, SteadyTickMakesTheMinimumTransfersAndAllocatesNothing) {
    winsim::NamedDevice* com2 = winsim::AddNamedDevice("COM2", true);
    winsim::SetClockBase(60000);
    LoadSerialNumber();
    (this->*GetParam().offer)();
    AttachButtonSource();
    ASSERT_TRUE(gButtonSource.registerSource);
    for (int i = 0; i < 3; ++i) { // settle: first fragment, first-use tables
        Sleep(200);
        PollRegisterButton();
    }
    camera.ClearTransfers();
    com2->writes.clear();
    winsim::RecordCallLog(false);
    uint64_t heapCalls = winsim::CallCount("HeapAlloc");
    const int ticks = 10;
    long newsBefore = gNews;
    for (int i = 0; i < ticks; ++i) {
        Sleep(200);
        EXPECT_EQ(PollRegisterButton(), 0);
    }
    long news = gNews - newsBefore;
    EXPECT_EQ(camera.Transfers().size(), ticks * GetParam().transfersPerTick);
    EXPECT_EQ(com2->writes.size(), size_t(ticks)); // one fragment per tick
    EXPECT_EQ(winsim::CallCount("HeapAlloc") - heapCalls, 0u);
    std::printf("%s: %zu transfers, %zu trace writes, %ld C++ allocations (winsim and the "
                "camera model included) per tick\n",
                GetParam().name, camera.Transfers().size() / ticks, com2->writes.size() / ticks,
                news / ticks);
    DetachButtonSource();
}

INSTANTIATE_TEST_SUITE_P(
    EveryTransport, TickCostTest,
    ::testing::Values(Route{"Hid", &EtLib2Fixture::OfferHid, 2},
                      Route{"ExtensionUnit", &EtLib2Fixture::OfferExtensionUnit, 4},
                      Route{"VideoInput", &EtLib2Fixture::OfferVideoInput, 2},
                      Route{"Receiver", &EtLib2Fixture::OfferReceiver, 1}),
    [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
