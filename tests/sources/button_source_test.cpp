// Button sources against the virtual camera: attachment order, the polls' edge detection, the
// paired timer-resolution and COM calls, and whole runs of the program.
#include "app/settings.h"
#include "app/shell.h"
#include "diag/serial_log.h"
#include "sources/button_source.h"
#include "support/program_test.h"
#include "vcam/camera.h"
#include "winsim/devices.h"

namespace {

int NoExport() {
    return 0;
}

class ButtonSourceTest : public ProgramTest {
  protected:
    vcam::Camera camera;
    winsim::NamedDevice* com2 = nullptr;
    void SetUp() override {
        ProgramTest::SetUp();
        com2 = winsim::AddNamedDevice("COM2", true);
    }
    void WithEvaCamera() { winsim::InstallEvaLibrary(&camera); }
    static std::vector<int> EvaPolls(const std::vector<int32_t>& answers) {
        std::vector<winsim::EvaAnswer> script;
        for (int32_t a : answers)
            script.push_back({a, 2});
        winsim::ScriptEvaAnswers(script);
        std::vector<int> results;
        for (size_t i = 0; i < answers.size(); ++i)
            results.push_back(PollEvaButton());
        return results;
    }
};

TEST_F(ButtonSourceTest, EvaCameraIsAttachedWhenTheRegisterQueryFails) {
    WithEvaCamera();
    AttachButtonSource();
    EXPECT_FALSE(gButtonSource.registerSource);
    EXPECT_TRUE(gButtonSource.evaSource);
    EXPECT_EQ(gButtonSource.captureDevice, nullptr);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 1);
    // One for the attachment, one that the register library keeps from an Init that found
    // no camera.
    EXPECT_EQ(winsim::CoInitializeDepth(), 2);
    EXPECT_EQ(winsim::LoadLibraryNames(), std::vector<std::string>{"UExProc.dll"});
    EXPECT_NE(gSerialLog.tracePort, nullptr);

    // Attaching again (a device change) neither piles up the timer request nor reloads.
    AttachButtonSource();
    EXPECT_EQ(winsim::TimerPeriodDepth(), 1);
    EXPECT_EQ(winsim::LoadedModuleReferences(), 1);
    EXPECT_EQ(com2->opens, 1); // the trace port is opened once

    DetachButtonSource();
    EXPECT_FALSE(gButtonSource.evaSource);
    EXPECT_EQ(winsim::EvaCallCounts().releases, 1);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 0);
    EXPECT_EQ(winsim::CoInitializeDepth(), 3); // two per attachment, one released at detach
    EXPECT_EQ(winsim::LoadedModuleReferences(), 0);
}

TEST_F(ButtonSourceTest, EvaPollReportsTheRisingEdgeOfTheLowFourBits) {
    WithEvaCamera();
    AttachButtonSource();
    EXPECT_EQ(EvaPolls({0, 1, 1, 0, 2}), (std::vector<int>{0, 1, 0, 0, 1}));
    EXPECT_EQ(EvaPolls({0, 1, 3, 1, 0, 1}), (std::vector<int>{0, 1, 0, 0, 0, 1})); // held
    EXPECT_EQ(EvaPolls({0, 0x10, 0x20}), (std::vector<int>{0, 0, 0}));
    // A negative answer is the library's error, not the button: no press, the latch kept (held
    // down across an error is still one press; released across one, the next press counts).
    EXPECT_EQ(EvaPolls({-1, -2, 0x0F, 0}), (std::vector<int>{0, 0, 1, 0}));
    EXPECT_EQ(EvaPolls({1, -1, 1, 0}), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(EvaPolls({0, -1, 1}), (std::vector<int>{0, 0, 1}));
    DetachButtonSource();
}

TEST_F(ButtonSourceTest, WithoutTheEvaLibraryNothingIsAttachedAndNothingLeaks) {
    AttachButtonSource(); // no library, no capture filter
    EXPECT_FALSE(gButtonSource.evaSource || gButtonSource.registerSource);
    EXPECT_EQ(gButtonSource.captureDevice, nullptr);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 0);
    EXPECT_EQ(winsim::CallCount("timeEndPeriod"), 0u); // nothing lowered that was not raised
    // The fallback's uninitialise and initialise, and the failed Open's release, leave only
    // what the register library keeps.
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);
    DetachButtonSource();
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);

    // A library without one of the three functions counts as absent, and is let go.
    winsim::AddModule(
        winsim::Module{"UExProc.dll", {{"isConnectedEVA", reinterpret_cast<void*>(&NoExport)}}});
    AttachButtonSource();
    EXPECT_FALSE(gButtonSource.evaSource);
    EXPECT_EQ(winsim::LoadedModuleReferences(), 0);
}

TEST_F(ButtonSourceTest, ALibraryInTheStartingDirectoryIsNeverLoaded) {
    winsim::AddModule(winsim::Module{"UExProc.dll",
                                     {{"isConnectedEVA", reinterpret_cast<void*>(&NoExport)}},
                                     winsim::Module::CurrentDirectory});
    ExitAt(300);
    winsim::RunProgram();
    EXPECT_EQ(winsim::LoadLibraryNames(), std::vector<std::string>{"UExProc.dll"});
    EXPECT_EQ(winsim::LoadedModuleReferences(), 0);
    // Not even looked into: the one lookup is the tray's, of user32's message filter.
    EXPECT_EQ(winsim::CallCount("GetProcAddress"), 1u);
}

TEST_F(ButtonSourceTest, DisconnectedEvaCameraFallsBackAndLowersTheTimerOnce) {
    WithEvaCamera();
    AttachButtonSource();
    winsim::SetEvaConnected(false);
    AttachButtonSource();
    EXPECT_FALSE(gButtonSource.evaSource);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 0);
    EXPECT_EQ(winsim::EvaCallCounts().releases, 1);
    AttachButtonSource();
    EXPECT_EQ(winsim::CallCount("timeEndPeriod"), 1u);
    EXPECT_EQ(winsim::EvaCallCounts().releases, 2);
    winsim::SetEvaConnected(true);
    AttachButtonSource();
    EXPECT_TRUE(gButtonSource.evaSource);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 1);
    DetachButtonSource();
}

TEST_F(ButtonSourceTest, EveryEvaPollIsOneTraceLine) {
    WithEvaCamera();
    AttachButtonSource();
    winsim::ScriptEvaAnswers({{0, 3}, {1, 25}});
    Sleep(10);
    PollEvaButton();
    Sleep(200);
    PollEvaButton();
    EXPECT_EQ(com2->Written(), "SendKey - (0x00 - 0003 0)\r\n"
                               "SendKey(0200) - \x1b[1;33;44m(0x01 - 0025 1) - ERROR \x1b[0m\r\n");
    DetachButtonSource();
}

// The whole program: the camera's button reaches the focused window as the mode's keys.
TEST_F(ButtonSourceTest, EvaPressesReachTheFocusedWindowAcrossUnplugAndReplug) {
    WithEvaCamera();
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 5); // Kodak(F5)
    std::vector<uint64_t> pressedAt;
    auto press = [&](uint64_t at) {
        winsim::At(at, [&, at] {
            camera.SetButtonDown(true);
            pressedAt.push_back(at);
        });
        winsim::At(at + 250, [&] { camera.SetButtonDown(false); });
    };
    press(1010);
    winsim::At(2000, [] {
        winsim::SetEvaConnected(false); // unplugged
        PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8004, 0);
    });
    press(2510); // nobody listens
    winsim::At(3000, [] {
        winsim::SetEvaConnected(true);
        PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x8000, 0);
    });
    press(4030);
    ExitAt(5000);
    EXPECT_EQ(winsim::RunProgram(), 0);
    std::vector<uint64_t> downs;
    for (const winsim::KeyEvent& e : winsim::KeyEvents())
        if (!(e.flags & KEYEVENTF_KEYUP))
            downs.push_back(e.time);
    EXPECT_EQ(Keys(), "F5+ F5- F5+ F5-");
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_LE(downs[0] - 1010, 200u);
    EXPECT_LE(downs[1] - 4030, 200u);
    EXPECT_EQ(winsim::TimerPeriodDepth(), 0);
    EXPECT_EQ(winsim::LoadedModuleReferences(), 0);
}

} // namespace
