// The capture-device button: finding the camera's filter by name, the driver's interface, and
// the capture latch in register 12, with every COM reference given back.
#include "app/settings.h"
#include "app/shell.h"
#include "sources/button_source.h"
#include "sources/capture_device_button.h"
#include "support/program_test.h"
#include "vcam/camera.h"
#include "winsim/capture_filter.h"
#include "winsim/devices.h"

namespace {

const char kTwain[] = "Software\\USB2800\\TwainDS";

class CaptureDeviceTest : public ProgramTest {
  protected:
    vcam::Camera camera, other;
    void SetUp() override {
        ProgramTest::SetUp();
        CoInitialize(nullptr);
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(winsim::LiveComObjects(), 0) << "COM objects left";
        ProgramTest::TearDown();
    }
    void AddCamera(const std::string& name, vcam::Camera* cam, bool privateInterface = true) {
        winsim::AddVideoInputDevice(name, "\\\\?\\usb#" + name,
                                    winsim::CaptureFilterOf(cam, privateInterface));
    }
    // Which camera an opened button reaches: the one whose register 12 it reads.
    static vcam::Camera* Reached(CaptureDeviceButton& b, vcam::Camera* a, vcam::Camera* c) {
        a->ClearTransfers();
        c->ClearTransfers();
        DWORD v = 0;
        b.ReadRegister(12, 1, &v);
        return !a->Transfers().empty() ? a : !c->Transfers().empty() ? c : nullptr;
    }
};

TEST_F(CaptureDeviceTest, TwainSourceNamePrefersRealDsNameThenDsName) {
    char name[260];
    EXPECT_FALSE(TwainSourceName(name, sizeof name));
    winsim::RegPut(HKEY_LOCAL_MACHINE, kTwain, "DSName", REG_SZ,
                   std::vector<BYTE>{'U', 'S', 'B', ' ', 'A', 0});
    ASSERT_TRUE(TwainSourceName(name, sizeof name));
    EXPECT_STREQ(name, "USB A");
    // Too long for the 256-byte buffer: the other value is used.
    winsim::RegPut(HKEY_LOCAL_MACHINE, kTwain, "RealDSName", REG_SZ, std::vector<BYTE>(300, 'x'));
    ASSERT_TRUE(TwainSourceName(name, sizeof name));
    EXPECT_STREQ(name, "USB A");
    // Stored without its terminator: it ends with its bytes.
    winsim::RegPut(HKEY_LOCAL_MACHINE, kTwain, "RealDSName", REG_BINARY,
                   std::vector<BYTE>{'C', 'a', 'm'});
    ASSERT_TRUE(TwainSourceName(name, sizeof name));
    EXPECT_STREQ(name, "Cam");
}

TEST_F(CaptureDeviceTest, OpenFindsTheDefaultNameByPrefixAndReadsTheDriverProperties) {
    AddCamera("Integrated Webcam", &other);
    AddCamera("USB 2820 Video Capture", &camera);
    CaptureDeviceButton b;
    ASSERT_NE(b.Open(), nullptr);
    EXPECT_EQ(b.property4135, 0x2820u);
    EXPECT_EQ(b.property4136, 1u);
    EXPECT_EQ(winsim::LiveComObjects(), 1); // only the private interface is kept
    EXPECT_EQ(Reached(b, &camera, &other), &camera);
    b.Close();
    EXPECT_EQ(winsim::LiveComObjects(), 0);
}

TEST_F(CaptureDeviceTest, SearchOrderRegistryNameThenKnownNamesFirstMatchWins) {
    winsim::RegPut(HKEY_LOCAL_MACHINE, kTwain, "RealDSName", REG_SZ,
                   std::vector<BYTE>{'N', 'o', 'n', 'e', 0});
    AddCamera("USB 2861 Video", &other);   // twelfth known name
    AddCamera("USB 2701 Camera", &camera); // fourth: found first
    CaptureDeviceButton b;
    ASSERT_NE(b.Open(), nullptr);
    EXPECT_EQ(Reached(b, &camera, &other), &camera);
    b.Close();

    // An empty registry name matches every device: the first that binds.
    winsim::RegPut(HKEY_LOCAL_MACHINE, kTwain, "RealDSName", REG_SZ, std::vector<BYTE>{0});
    CaptureDeviceButton c;
    ASSERT_NE(c.Open(), nullptr);
    EXPECT_EQ(Reached(c, &camera, &other), &other);
    c.Close();
}

// Without a TWAIN source name, "USB 2820 Video" is searched first: a camera of that name wins
// over one listed earlier under another known name. Then each known name finds its camera, and a
// name matching none finds nothing.
TEST_F(CaptureDeviceTest, TheDefaultNameComesFirstThenEachOfTheSixteenKnownNames) {
    AddCamera("USB 2800 Video", &other);
    AddCamera("USB 2820 Video", &camera);
    CaptureDeviceButton b;
    ASSERT_NE(b.Open(), nullptr);
    EXPECT_EQ(Reached(b, &camera, &other), &camera);
    b.Close();
    // The enumerator of this search is asked for in-process only.
    ASSERT_FALSE(winsim::ComCreations().empty());
    for (const winsim::ComCreation& c : winsim::ComCreations())
        EXPECT_EQ(c.context, DWORD(CLSCTX_INPROC_SERVER));

    const char* known[] = {
        "USB 2800 Video",  "USB 2801 Video",  "USB 2700 Camera", "USB 2701 Camera",
        "USB 2840 Video",  "USB 2841 Video",  "USB 2820 Video",  "USB 2821 Video",
        "USB 2710 Camera", "USB 2711 Camera", "USB 2860 Video",  "USB 2861 Video",
        "USB 2880 Video",  "USB 2881 Video",  "USB 2750 Camera", "USB 2751 Camera"};
    for (const char* name : known) {
        winsim::RemoveSystemDevices();
        AddCamera(std::string(name) + " #1", &camera);
        CaptureDeviceButton c;
        EXPECT_NE(c.Open(), nullptr) << name;
        c.Close();
    }
    for (const char* name : {"USB 2830 Video", "usb 2800 video", "USB 280 Video"}) {
        winsim::RemoveSystemDevices();
        AddCamera(name, &camera);
        CaptureDeviceButton c;
        EXPECT_EQ(c.Open(), nullptr) << name;
    }
}

TEST_F(CaptureDeviceTest, FailedBindsAndUnnamedDevicesAreSkipped) {
    winsim::SystemDevice unnamed;
    unnamed.category = CLSID_VideoInputDeviceCategory;
    unnamed.hasFriendlyName = false;
    unnamed.bind = winsim::CaptureFilterOf(&other);
    winsim::AddSystemDevice(unnamed);
    winsim::AddVideoInputDevice("USB 2820 Video", "\\\\?\\broken", nullptr); // bind fails
    AddCamera("USB 2820 Video #2", &camera);
    CaptureDeviceButton b;
    ASSERT_NE(b.Open(), nullptr);
    EXPECT_EQ(Reached(b, &camera, &other), &camera);
    b.Close();
}

TEST_F(CaptureDeviceTest, AFirstFilterWithoutTheInterfaceEndsTheSearch) {
    AddCamera("USB 2820 Video", &other, false);
    AddCamera("USB 2820 Video", &camera);
    CaptureDeviceButton b;
    EXPECT_EQ(b.Open(), nullptr);
    EXPECT_LT(b.lastResult, 0);
    EXPECT_EQ(b.property4135, 0u);
    EXPECT_EQ(winsim::LiveComObjects(), 0);
    DWORD v = 0;
    EXPECT_EQ(b.ReadRegister(12, 1, &v), HRESULT(0x80070006)); // a failure, not the positive 6
    EXPECT_EQ(b.WriteRegister(12, 1, &v), HRESULT(0x80070006));
}

TEST_F(CaptureDeviceTest, PollClearsTheLatchAndKeepsTheOtherBits) {
    AddCamera("USB 2820 Video", &camera);
    CaptureDeviceButton b;
    ASSERT_NE(b.Open(), nullptr);
    camera.SetRegister(12, 0x25);
    EXPECT_EQ(b.Poll(), 1);
    EXPECT_EQ(camera.Register(12), 0x05);
    camera.ClearTransfers();
    EXPECT_EQ(b.Poll(), 0);
    ASSERT_EQ(camera.Transfers().size(), 2u); // select and read: nothing written
    EXPECT_EQ(vcam::Describe(camera.Transfers()[0]), "set 4101 [01 0C 00 00]");

    // A failing read: no press, no write, and the selection is reset.
    camera.PressButton();
    camera.ClearTransfers();
    camera.FailTransfer(2);
    EXPECT_EQ(b.Poll(), 0);
    ASSERT_EQ(camera.Transfers().size(), 3u);
    EXPECT_EQ(vcam::Describe(camera.Transfers()[2]), "set 4101 [00 00 00 00]");
    EXPECT_EQ(b.Poll(), 1); // the latch is still there

    // A clearing write that fails still reports the press; the latch stays and is reported again.
    camera.PressButton();
    camera.ClearTransfers();
    camera.FailTransfer(4); // select, read, select, write
    EXPECT_EQ(b.Poll(), 1);
    EXPECT_EQ(camera.Register(12) & vcam::kCaptureLatch, vcam::kCaptureLatch);
    EXPECT_EQ(b.Poll(), 1);
    EXPECT_EQ(camera.Register(12) & vcam::kCaptureLatch, 0);
    b.Close();
}

TEST_F(CaptureDeviceTest, EachAttachmentReplacesTheObjectAndPressesReachTheFocusedWindow) {
    AddCamera("USB 2820 Video", &camera);
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 3); // Enter
    winsim::At(500, [&] { camera.PressButton(); });
    winsim::At(700, [] {
        for (int i = 0; i < 3; ++i)
            PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x0007, 0);
    });
    winsim::At(800, [] { EXPECT_EQ(winsim::LiveComObjects(), 1); });
    winsim::At(1010, [&] { camera.PressButton(); });
    ExitAt(1500);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_EQ(Keys(), "Enter+ Enter- Enter+ Enter-");
    EXPECT_EQ(gButtonSource.captureDevice, nullptr);
}

} // namespace
