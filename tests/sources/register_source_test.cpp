// The register source on each of the register library's four transports: attachment by the
// configuration string, the poll's latch and acknowledgement, its trace, and whole runs.
#include "app/settings.h"
#include "app/shell.h"
#include "chiplib/etlib2_test.h"
#include "diag/serial_log.h"
#include "sources/button_source.h"

#include <algorithm>
#include <cstring>

namespace {

struct Route {
    const char* name;
    void (EtLib2Fixture::*offer)();
    // Which transfer of a press poll is the acknowledging write's first: after the read and the
    // re-open's probe.
    size_t acknowledgeTransfer;
};

class RegisterSourceTest : public EtLib2Fixture, public ::testing::WithParamInterface<Route> {
  protected:
    winsim::NamedDevice* com2 = nullptr;
    void SetUp() override {
        EtLib2Fixture::SetUp();
        com2 = winsim::AddNamedDevice("COM2", true);
        winsim::SetClockBase(60000); // a tick of 0 would read as "no poll finished yet"
        LoadSerialNumber();
        // Routes that answer a whole data word carry the following registers past register 5.
        camera.SetWideRegisterReads(true);
        (this->*GetParam().offer)();
    }
    void TearDown() override {
        DetachButtonSource();
        EtLib2Fixture::TearDown();
    }
    // Polls once with register 5 holding `value` first.
    int PollWith(BYTE value) {
        camera.SetRegister(5, value);
        return PollRegisterButton();
    }
};

TEST_P(RegisterSourceTest, PressesAreLatchedAcknowledgedAndTraced) {
    AttachButtonSource();
    ASSERT_TRUE(gButtonSource.registerSource);
    EXPECT_FALSE(gButtonSource.evaSource);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 1);

    EXPECT_EQ(PollWith(vcam::kButtonLatch), 1);
    EXPECT_EQ(camera.Register(5), 0); // acknowledged
    EXPECT_EQ(PollRegisterButton(), 0);
    // A latch that does not clear: a press on every second poll.
    EXPECT_EQ(PollWith(64), 1);
    EXPECT_EQ(PollWith(64), 0);
    EXPECT_EQ(PollWith(64), 1);
    // Only exactly 64 is a press.
    EXPECT_EQ(PollWith(0x41), 0);
    EXPECT_EQ(PollWith(0xC0), 0);
    // A failing read is no press, clears the latch and is traced on the poll's line.
    com2->writes.clear();
    Sleep(150);
    camera.FailTransfer(1);
    EXPECT_EQ(PollWith(64), 0);
    EXPECT_EQ(com2->Written(), "SendKey(0150) - \x1b[1;33;44metLib2_RegRead(0150) - ERROR \x1b[0m");
    EXPECT_EQ(PollWith(64), 1);
}

TEST_P(RegisterSourceTest, AFailedAcknowledgementStillCountsThePressAndIsTraced) {
    AttachButtonSource();
    ASSERT_TRUE(gButtonSource.registerSource);
    camera.ClearTransfers();
    com2->writes.clear();
    camera.SetRegister(5, vcam::kButtonLatch);
    camera.FailTransfer(GetParam().acknowledgeTransfer);
    EXPECT_EQ(PollRegisterButton(), 1);
    EXPECT_EQ(camera.Register(5), vcam::kButtonLatch); // not cleared
    EXPECT_NE(com2->Written().find("ERROR"), std::string::npos) << com2->Written();
    // The latch still reads 64: no press on the next poll, one on the poll after.
    EXPECT_EQ(PollRegisterButton(), 0);
    EXPECT_EQ(PollRegisterButton(), 1);
}

// A camera whose configuration is in the serial flash answers the query with 1, not 0: it is
// attached all the same (its register 5 then reads 0x80 above the latch).
TEST_P(RegisterSourceTest, ACameraWithItsConfigurationInFlashIsAttached) {
    std::vector<BYTE> image(0x3000, 0xFF);
    const BYTE header[4] = {0, 'P', 0, 0};
    std::copy(header, header + 4, image.begin());
    image[0x1000 + 18] = 0x00; // no string for any selector
    camera.LoadEeprom({});
    camera.LoadFlash(image);
    camera.SetRegister(5, vcam::kConfigInFlash);
    AttachButtonSource();
    EXPECT_TRUE(gButtonSource.registerSource);
    EXPECT_FALSE(gButtonSource.evaSource);
    EXPECT_EQ(gButtonSource.captureDevice, nullptr);
}

TEST_P(RegisterSourceTest, PressesReachTheFocusedWindowAcrossUnplugAndReplug) {
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 4); // Schick
    winsim::At(510, [this] { camera.PressButton(); });
    winsim::At(1000, [this] {
        winsim::RemoveHidInterface(HidPathOfCamera());
        winsim::RemoveSystemDevices();
        PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8004, 0);
    });
    winsim::At(1100, [] { EXPECT_FALSE(gButtonSource.registerSource); });
    winsim::At(1510, [this] { camera.PressButton(); }); // nobody listens
    winsim::At(2000, [this] {
        camera.SetRegister(5, 0);
        (this->*GetParam().offer)();
        PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8000, 0);
    });
    winsim::At(2510, [this] { camera.PressButton(); });
    ExitAt(3000);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_EQ(Keys(), "Alt+ F+ F- Alt- Alt+ T+ T- Alt-");
    EXPECT_EQ(winsim::TimerPeriodDepth(), 0);
}

// A camera busy at the re-open after a press: the library stays closed, and without another try
// the button would be dead until the camera is plugged in again.
class RegisterReopenTest : public EtLib2Fixture {
  protected:
    void SetUp() override {
        EtLib2Fixture::SetUp();
        winsim::AddNamedDevice("COM2", true);
        winsim::SetClockBase(60000);
        LoadSerialNumber();
        OfferHid();
    }
    void TearDown() override {
        DetachButtonSource();
        EtLib2Fixture::TearDown();
    }
    // Polls every 200 ms up to `until` (virtual time), the button latched at the given times.
    std::vector<uint64_t> PressesUntil(uint64_t until, std::vector<uint64_t> latches = {}) {
        std::vector<uint64_t> presses;
        while (winsim::Now() < until) {
            Sleep(200);
            for (uint64_t at : latches)
                if (winsim::Now() == at)
                    camera.PressButton();
            if (PollRegisterButton())
                presses.push_back(winsim::Now());
        }
        return presses;
    }
};

TEST_F(RegisterReopenTest, AClosedLibraryIsOpenedAgainEveryTwoSecondsAndThePressAcknowledged) {
    AttachButtonSource();
    ASSERT_TRUE(gButtonSource.registerSource);
    camera.PressButton();
    winsim::FailAlways("SetupDiGetClassDevsA"); // the HID search finds nothing for a while
    EXPECT_EQ(PollRegisterButton(), 1);
    EXPECT_FALSE(etLib2_IsOpen());
    EXPECT_EQ(camera.Register(5), 0x40); // the acknowledgement had nowhere to go
    uint64_t pressAt = winsim::Now();

    // Tried again two seconds after the failed re-open, and every two seconds after that,
    // never on the ticks between; those report nothing.
    uint64_t searches = winsim::CallCount("SetupDiGetClassDevsA");
    EXPECT_TRUE(PressesUntil(pressAt + 1800).empty());
    EXPECT_EQ(winsim::CallCount("SetupDiGetClassDevsA"), searches);
    EXPECT_TRUE(PressesUntil(pressAt + 4000).empty());
    EXPECT_EQ(winsim::CallCount("SetupDiGetClassDevsA"), searches + 2); // at +2000 and +4000

    // The camera answers again: the next try opens it and clears the old latch, so the one press
    // is not reported twice; the following press is reported once.
    winsim::StopFailing("SetupDiGetClassDevsA");
    uint64_t base = winsim::Now();
    EXPECT_EQ(PressesUntil(base + 2000), std::vector<uint64_t>{});
    EXPECT_TRUE(etLib2_IsOpen());
    EXPECT_EQ(camera.Register(5), 0);
    EXPECT_EQ(PressesUntil(base + 3000, {base + 2400}), std::vector<uint64_t>{base + 2400});
}

INSTANTIATE_TEST_SUITE_P(
    EveryTransport, RegisterSourceTest,
    ::testing::Values(Route{"Hid", &EtLib2Fixture::OfferHid, 3},
                      Route{"ExtensionUnit", &EtLib2Fixture::OfferExtensionUnit, 5},
                      Route{"VideoInput", &EtLib2Fixture::OfferVideoInput, 5},
                      Route{"Receiver", &EtLib2Fixture::OfferReceiver, 3}),
    [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.name); });

} // namespace
