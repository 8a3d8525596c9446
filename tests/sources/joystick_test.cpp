// The virtual joystick: PPJoy's device, its 54-byte state record, press and release.
#include "app/settings.h"
#include "keyout/joystick.h"
#include "keyout/key_action.h"
#include "support/program_test.h"
#include "winsim/devices.h"

namespace {

std::vector<BYTE> Record(BYTE button1) {
    std::vector<BYTE> r = {0x43, 0x41, 0x54, 0x53, 8}; // "CATS", eight axes
    for (int i = 0; i < 8; ++i)
        r.insert(r.end(), {0x00, 0x40, 0x00, 0x00});
    r.push_back(16);
    r.push_back(button1);
    r.insert(r.end(), 15, 0);
    return r;
}

class JoystickTest : public ProgramTest {
  protected:
    winsim::NamedDevice* ppjoy = nullptr;
    void SetUp() override {
        ProgramTest::SetUp();
        ppjoy = winsim::AddNamedDevice("\\\\.\\PPJoyIOCTL1", false);
    }
};

TEST_F(JoystickTest, JoystickModePressesButtonOneFor100Ms) {
    EXPECT_EQ(OpenVirtualJoystick(), 0); // the register library's result: no camera here
    const winsim::DeviceOpen& open = winsim::DeviceOpens().back();
    EXPECT_EQ(open.path, "\\\\.\\PPJoyIOCTL1");
    EXPECT_EQ(open.access, DWORD(GENERIC_WRITE));
    EXPECT_EQ(open.share, DWORD(FILE_SHARE_WRITE));
    EXPECT_EQ(open.creation, DWORD(OPEN_EXISTING));
    gSettings.modeId = ModeJoystick;
    RunKeyAction();
    ASSERT_EQ(ppjoy->ioctls.size(), 2u);
    EXPECT_EQ(ppjoy->ioctls[0].code, 0x00220000u);
    EXPECT_EQ(ppjoy->ioctls[0].input, Record(1));
    EXPECT_EQ(ppjoy->ioctls[1].input, Record(0));
    EXPECT_EQ(ppjoy->ioctls[1].time - ppjoy->ioctls[0].time, 100u);
    EXPECT_EQ(Keys(), "");
}

TEST_F(JoystickTest, ReopeningResetsTheRecordAndKeepsOneHandle) {
    OpenVirtualJoystick();
    PressJoystickButton(); // left down
    OpenVirtualJoystick();
    EXPECT_EQ(ppjoy->opens, 1); // the first handle was closed
    ReleaseJoystickButton();
    PressJoystickButton();
    EXPECT_EQ(ppjoy->ioctls.back().input, Record(1));
    uint64_t closes = winsim::CallCount("CloseHandle");
    CloseVirtualJoystick();
    EXPECT_EQ(ppjoy->opens, 0);
    CloseVirtualJoystick(); // nothing left to close
    EXPECT_EQ(winsim::CallCount("CloseHandle") - closes, 1u);
}

TEST_F(JoystickTest, WithoutPpjoyPressesFailQuietly) {
    ppjoy->present = false;
    OpenVirtualJoystick();
    EXPECT_EQ(gJoystick.device, INVALID_HANDLE_VALUE);
    gSettings.modeId = ModeJoystick;
    RunKeyAction();
    EXPECT_EQ(winsim::CallCount("DeviceIoControl"), 2u);
    EXPECT_TRUE(ppjoy->ioctls.empty());
    uint64_t closes = winsim::CallCount("CloseHandle");
    CloseVirtualJoystick();
    EXPECT_EQ(winsim::CallCount("CloseHandle"), closes); // an invalid handle is never closed
}

} // namespace
