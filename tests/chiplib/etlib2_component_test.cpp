// The register library against the virtual camera on each of its four routes in turn, through
// the public interface only: open, read the button register, read string 1, close.
#include "chiplib/etlib2_test.h"

#include "winsim/system.h"

#include <cstring>

namespace {

struct Route {
    const char* name;
    void (EtLib2Fixture::*offer)();
    BYTE transport;
    size_t transfersPerRead; // one register read on the wire
};

class EtLib2ComponentTest : public EtLib2Fixture, public ::testing::WithParamInterface<Route> {};

TEST_P(EtLib2ComponentTest, ReadsTheButtonAndTheSerialNumber) {
    const Route& route = GetParam();
    LoadSerialNumber();
    (this->*route.offer)();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, route.transport);

    camera.PressButton();
    camera.ClearTransfers();
    DWORD value = 0;
    ASSERT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(value & 0xFF, vcam::kButtonLatch);
    EXPECT_EQ(camera.Transfers().size(), route.transfersPerRead);
    DWORD zero = 0;
    ASSERT_EQ(etLib2_RegWrite(5, 1, &zero), S_OK);
    EXPECT_EQ(camera.Register(5), 0);

    char text[kDeviceStringBytes] = {};
    EXPECT_EQ(etLib2_GetDeviceString(1, text), S_OK);
    EXPECT_STREQ(text, "VX2-0042");
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0);

    etLib2_Close();
    EXPECT_EQ(winsim::LiveComObjects(), 0);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_EQ(winsim::CoInitializeDepth(), 0);
    EXPECT_EQ(winsim::LiveBstrCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRoute, EtLib2ComponentTest,
    ::testing::Values(Route{"Hid", &EtLib2Fixture::OfferHid, TransportHid, 2},
                      Route{"ExtensionUnit", &EtLib2Fixture::OfferExtensionUnit,
                            TransportExtensionUnit, 4},
                      Route{"VideoInput", &EtLib2Fixture::OfferVideoInput, TransportVideoInput, 2},
                      Route{"Receiver", &EtLib2Fixture::OfferReceiver, TransportReceiver, 1}),
    [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
