// Systematic fault injection: one scripted run of the real program (start on one route, three
// presses, the camera moving to another route with a device change, a press, exit)
// repeated with the k-th simulated platform call failing, for every k. In every run: no crash,
// no hang, no wrong key, and nothing left open that the program did not mean to keep.
#include "app/settings.h"
#include "app/shell.h"
#include "chiplib/etlib2_test.h"
#include "diag/serial_log.h"
#include "keyout/joystick.h"
#include "sources/button_source.h"
#include "winsim/dshow.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

// The route the camera starts on, and the one it moves to at the device change.
struct Routes {
    const char* name;
    void (EtLib2Fixture::*first)();
    void (EtLib2Fixture::*second)();
};

class FaultInjectionTest : public EtLib2Fixture, public ::testing::WithParamInterface<Routes> {
  protected:
    void Prepare() {
        winsim::AddNamedDevice("COM2", true);
        winsim::SetClockBase(60000);
        LoadSerialNumber();
        (this->*GetParam().first)();
        winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 5); // Kodak(F5)
        for (uint64_t t : {510, 910, 1310, 2110})
            winsim::At(t, [this] { camera.PressButton(); });
        winsim::At(1500, [this] {
            winsim::RemoveHidInterface(HidPathOfCamera());
            winsim::RemoveSystemDevices();
            (this->*GetParam().second)();
            PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, 0x0007, 0);
        });
        // The user's "Exit" is retried: one of the scenario's own posts may be the failing call.
        for (uint64_t t : {2600, 2700, 2800})
            winsim::At(t, [] {
                if (IsWindow(gShell.mainWindow))
                    ExitFromTray();
            });
        winsim::SetTimeLimit(60000);
        winsim::ScriptMessageBoxes(IDOK, 2000); // someone reads "Reg Error" and clicks OK
    }

    // Runs the scenario; returns what went wrong, empty when nothing did.
    std::string RunOnce(uint64_t failCall) {
        Prepare();
        base = winsim::CallCount(); // the calls the test's own set-up made
        if (failCall)
            winsim::FailNthCall(failCall);
        std::string problem;
        try {
            int code = winsim::RunProgram();
            if (code != 0)
                problem += " exit code " + std::to_string(code) + ";";
        } catch (const winsim::Stall& stall) {
            problem += std::string(" hang: ") + stall.what() + ";";
            return problem; // the program is stuck half way: its state says nothing more
        }
        // Every press yields the mode's exact keys or none: Kodak's F5, or Space when the stored
        // mode could not be read.
        std::string keys = Keys();
        std::string one = gSettings.modeId == 5 ? "F5+ F5-" : "Space+ Space-";
        if (gSettings.modeId != 5 && gSettings.modeId != 2)
            problem += " mode " + std::to_string(gSettings.modeId) + ";";
        for (size_t at = 0; at < keys.size();) {
            if (keys.compare(at, one.size(), one) != 0) {
                problem += " wrong keys \"" + keys + "\";";
                break;
            }
            at += one.size() + 1;
        }
        int kept = HandlesKeptByDesign();
        if (winsim::OpenHandleCount() != kept)
            problem += " handles left: " + std::to_string(winsim::OpenHandleCount() - kept) + ";";
        if (winsim::OpenKeyCount())
            problem += " registry keys left;";
        if (winsim::LiveComObjects())
            problem += " COM objects left: " + std::to_string(winsim::LiveComObjects()) + ";";
        if (winsim::HeapBlockCount())
            problem += " heap blocks left: " + std::to_string(winsim::HeapBlockCount()) + ";";
        if (winsim::PreparsedDataCount() || winsim::DeviceInfoListCount())
            problem += " HID search records left;";
        if (winsim::LiveBstrCount())
            problem += " strings left;";
        return problem;
    }

    uint64_t base = 0;

    void Fresh() {
        ProgramTest::SetUp();
        camera = vcam::Camera();
    }
};

TEST_P(FaultInjectionTest, EveryFailingCallLeavesTheProgramSound) {
    std::string clean = RunOnce(0);
    ASSERT_EQ(clean, "");
    ASSERT_EQ(Keys(), "");                       // Keys() was consumed by RunOnce
    uint64_t calls = winsim::CallCount() - base; // the scenario's platform calls
    ASSERT_GT(calls, 500u);
    // The calls by number, to name them in the report.
    std::vector<std::string> names(winsim::CallLog().begin() + long(base), winsim::CallLog().end());
    std::vector<std::string> failures;
    // A release that fails leaves its object by definition; on Windows these fail only for a
    // handle that is not one, so they are not faults a program could answer.
    const std::set<std::string> releases = {"RegCloseKey",
                                            "CloseHandle",
                                            "HeapFree",
                                            "GetProcessHeap",
                                            "FreeLibrary",
                                            "DestroyMenu",
                                            "EndPaint",
                                            "SysFreeString",
                                            "VariantClear",
                                            "CoUninitialize",
                                            "HidD_FreePreparsedData",
                                            "SetupDiDestroyDeviceInfoList",
                                            "KillTimer",
                                            "DestroyWindow",
                                            "ReleaseMutex"};
    size_t skipped = 0;
    for (uint64_t k = 1; k <= calls; ++k) {
        if (k <= names.size() &&
            (releases.count(names[k - 1]) || names[k - 1].find("::Release") != std::string::npos)) {
            ++skipped;
            continue;
        }
        Fresh();
        std::string problem = RunOnce(k);
        if (!problem.empty())
            failures.push_back("call " + std::to_string(k) + " " +
                               (k <= names.size() ? names[k - 1] : "?") + ":" + problem);
    }
    Fresh(); // leave a clean machine for the fixture's own checks
    std::printf("%s: %llu calls, %llu runs with one failing, %zu releases not failed\n",
                GetParam().name, (unsigned long long)calls, (unsigned long long)(calls - skipped),
                skipped);
    std::string report;
    for (size_t i = 0; i < failures.size() && i < 20; ++i)
        report += failures[i] + "\n";
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << calls - skipped
                                  << " runs went wrong:\n"
                                  << report;
}

INSTANTIATE_TEST_SUITE_P(
    CameraRoutes, FaultInjectionTest,
    ::testing::Values(Routes{"HidThenVideoInput", &EtLib2Fixture::OfferHid,
                             &EtLib2Fixture::OfferVideoInput},
                      Routes{"ExtensionUnitThenReceiver", &EtLib2Fixture::OfferExtensionUnit,
                             &EtLib2Fixture::OfferReceiver}),
    [](const ::testing::TestParamInfo<Routes>& info) { return std::string(info.param.name); });

} // namespace
