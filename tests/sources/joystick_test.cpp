// The virtual joystick: PPJoy's device, its 54-byte state record, press and release.
#include "app/settings.h"
#include "keyout/joystick.h"
#include "keyout/key_action.h"
#include "chiplib/etlib2.h"
#include "support/camera_routes.h"
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
        ppjoy = winsim::AddPpjoyDevice();
    }
    // Opens of PPJoy's device so far, closed ones included.
    static int JoystickOpens() {
        int n = 0;
        for (const winsim::DeviceOpen& o : winsim::DeviceOpens())
            n += o.path == "\\\\.\\PPJoyIOCTL1";
        return n;
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

// Opening the joystick ends by re-initialising the register library: an open camera is closed
// and opened again, and the result is the library's.
TEST_F(JoystickTest, OpeningReinitialisesTheRegisterLibrary) {
    vcam::Camera camera;
    OfferCameraHid(camera);
    ASSERT_EQ(etLib2_Init(), 1);
    uint64_t searches = winsim::CallCount("SetupDiGetClassDevsA");
    uint64_t closes = winsim::CallCount("CloseHandle");
    EXPECT_EQ(OpenVirtualJoystick(), 1);
    EXPECT_EQ(winsim::CallCount("SetupDiGetClassDevsA"), searches + 1);
    EXPECT_GE(winsim::CallCount("CloseHandle"), closes + 2); // the camera and the library mutex
    EXPECT_TRUE(etLib2_IsOpen());
    etLib2_Close();
    CloseVirtualJoystick();
}

// Both ways into mode 9 open the device: a stored "key" of 9 at start-up and the tray's
// "JOYSTICK"; the handle is closed at exit.
TEST_F(JoystickTest, StartupInModeNineAndTheTrayCommandOpenTheJoystickAndExitClosesIt) {
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 9);
    int atStart = -1, afterCommand = -1, openAtExit = -1;
    winsim::At(100, [&] { atStart = JoystickOpens(); });
    ChooseFromTrayAt(300, "JOYSTICK");
    winsim::At(500, [&] {
        afterCommand = JoystickOpens();
        openAtExit = ppjoy->opens;
    });
    ExitAt(700);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_EQ(atStart, 1);
    EXPECT_EQ(afterCommand, 2);
    EXPECT_EQ(openAtExit, 1);   // the first handle was closed by the second open
    EXPECT_EQ(ppjoy->opens, 0); // and the second by the exit
    EXPECT_EQ(gJoystick.device, nullptr);
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
