// The end-to-end suite: runs the real Vexor2.exe under a real Win32 (Wine, in CI) and drives it
// the way the shell and a user do: starting it, posting tray callbacks and menu commands to its
// hidden main window, clicking and typing into its Custom Settings window, pressing the button
// of a virtual camera behind a stand-in UExProc.dll or a stand-in capture filter, and reading what
// arrives in its own focused window and in the registry. One line per scenario, then
// "N passed, M failed".
#include <windows.h>

#include "e2e/camera_filter_control.h"
#include "e2e/harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

CameraFilterControl* gFilter = nullptr;

// ---- scenarios ----

void FirstStartRegistersAutostart() {
    ForgetEverything();
    Process p;
    if (!StartRunning(&p))
        return;
    DWORD type = 0;
    std::vector<BYTE> path;
    CHECK(WaitFor([&] { return ReadValue(kRun, "Vexor_APP", &type, &path); }, 5000),
          "no \"Vexor_APP\" autostart value");
    std::string stored(path.begin(), path.end());
    CHECK(type == REG_SZ && lstrcmpiA(stored.c_str(), gExe.c_str()) == 0 &&
              stored.size() == gExe.size() + 1,
          "autostart value type %lu \"%s\", expected \"%s\"", type, stored.c_str(), gExe.c_str());
    CHECK(StoredDword("key") == -1000, "\"key\" written at start-up");
    ExitAndCheck(&p);
    CHECK(StoredDword("key") == 2, "\"key\" after Exit is %ld, expected 2", StoredDword("key"));
    CHECK(!MainWindow(), "main window left after Exit");
}

void SecondStartExitsAtOnce() {
    ForgetEverything();
    Process first;
    if (!StartRunning(&first))
        return;
    DWORD type;
    std::vector<BYTE> data;
    // The first copy writes its autostart value after its window exists: let it finish.
    WaitFor([&] { return ReadValue(kRun, "Vexor_APP", &type, &data); }, 5000);
    ForgetEverything();
    Process second;
    CHECK(Start(&second), "second CreateProcess failed");
    DWORD code = second.Wait(5000);
    CHECK(code == 0, "second copy's exit code %lu (259: still running)", code);
    CHECK(!ReadValue(kRun, "Vexor_APP", &type, &data), "second copy wrote the autostart value");
    ExitAndCheck(&first);
}

void TrayCommandsSwitchModes() {
    ForgetEverything();
    Process p;
    if (!StartRunning(&p))
        return;
    Command(kKodak);
    CHECK(WaitFor([] { return StoredDword("key") == 5; }, 3000), "Kodak(F5): key %ld",
          StoredDword("key"));
    Command(kJoystick);
    CHECK(WaitFor([] { return StoredDword("key") == 9; }, 3000), "JOYSTICK: key %ld",
          StoredDword("key"));
    Command(40000); // not a menu command: nothing written
    Pump(300);
    CHECK(StoredDword("key") == 9, "an unknown command wrote key %ld", StoredDword("key"));
    ExitAndCheck(&p);
    CHECK(StoredDword("key") == 9, "key after Exit %ld", StoredDword("key"));
}

void TrayMenuOpensAndChoosesByKeyboard() {
    ForgetEverything();
    Process p;
    if (!StartRunning(&p))
        return;
    PostMessageA(MainWindow(), kTrayCallback, 0, WM_RBUTTONDOWN);
    Pump(500);
    // Down to "About", past the separator to "Space", then "Enter"; Return chooses it.
    for (int i = 0; i < 3; ++i)
        Keys({}, VK_DOWN);
    Keys({}, VK_RETURN);
    CHECK(WaitFor([] { return StoredDword("key") == 3; }, 3000),
          "choosing \"Enter\" in the tray menu stored key %ld", StoredDword("key"));
    ExitAndCheck(&p);
}

void CustomSettingsCaptureAndSave() {
    ForgetEverything();
    Process p;
    if (!StartRunning(&p))
        return;
    Command(kCustom);
    HWND window = nullptr;
    CHECK(WaitFor(
              [&] {
                  window = CustomWindow();
                  return window && IsWindowVisible(window);
              },
              3000),
          "the Custom Settings window did not show");
    CHECK(WaitFor([] { return StoredDword("key") == 10; }, 3000), "key %ld, expected 10",
          StoredDword("key"));
    if (!window)
        return;
    std::vector<HWND> controls = Children(window);
    CHECK(controls.size() == 15, "%u controls", unsigned(controls.size()));
    if (controls.size() != 15)
        return ExitAndCheck(&p);
    const char* texts[] = {"Sequential", "Send All", "initial time(ms)",
                           "0",          "Key1",     "",
                           "Clear",      "Key2",     "",
                           "Clear",      "Key3",     "",
                           "Clear",      "Save",     "Cancel"};
    for (size_t i = 0; i < 15; ++i)
        CHECK(Text(controls[i]) == texts[i], "control %u shows \"%s\", expected \"%s\"",
              unsigned(i), Text(controls[i]).c_str(), texts[i]);

    Click(controls[5]); // Key1
    Keys({VK_CONTROL}, 'C');
    CHECK(WaitFor([&] { return Text(controls[5]) == "CTRL + C"; }, 2000),
          "Key1 shows \"%s\" after Ctrl+C", Text(controls[5]).c_str());
    Click(controls[8]); // Key2
    Keys({VK_MENU}, VK_F4);
    CHECK(WaitFor([&] { return Text(controls[8]) == "ALT + F4"; }, 2000),
          "Key2 shows \"%s\" after Alt+F4", Text(controls[8]).c_str());
    CHECK(IsWindowVisible(window), "Alt+F4 in a key field closed the window");

    PostMessageA(controls[1], BM_CLICK, 0, 0); // Send All
    Click(controls[3]);                        // the time field
    Keys({}, VK_END);
    for (char c : std::string("250"))
        Keys({}, BYTE(c));
    PostMessageA(controls[13], BM_CLICK, 0, 0); // Save
    CHECK(WaitFor([&] { return !IsWindowVisible(window); }, 3000), "Save did not hide");
    CHECK(StoredDword("mode") == 1, "mode %ld", StoredDword("mode"));
    CHECK(StoredDword("time") == 250, "time %ld", StoredDword("time"));
    CHECK(StoredDword("key1_k") == 'C' && StoredDword("key2_k") == VK_F4, "key1_k %ld, key2_k %ld",
          StoredDword("key1_k"), StoredDword("key2_k"));
    DWORD type = 0;
    std::vector<BYTE> control;
    CHECK(ReadValue(kSettings, "key1_control", &type, &control) && type == REG_BINARY &&
              control == std::vector<BYTE>{1},
          "key1_control type %lu size %u", type, unsigned(control.size()));
    ExitAndCheck(&p);
}

void DeviceChangeKeepsRunning() {
    Process p;
    if (!StartRunning(&p))
        return;
    for (WPARAM event : {0x8000u, 0x8004u, 0x0007u})
        PostMessageA(MainWindow(), WM_DEVICECHANGE, event, 0);
    Pump(500);
    CHECK(p.Wait(0) == STILL_ACTIVE, "the program ended after device changes");
    ExitAndCheck(&p);
}

void CameraPressesSendEachModesKeys() {
    ForgetEverything();
    gEva->connected = 1;
    Process p;
    if (!StartRunning(&p, Install("eva", true)))
        return;
    struct Step {
        WPARAM command;
        long mode;
        const char* keys;
    } steps[] = {
        {32772, 2, "Space+ Space-"},
        {kEnter, 3, "Enter+ Enter-"},
        {32774, 4, "Alt+ F+ F- Alt-"},
        {32774, 4, "Alt+ T+ T- Alt-"},
        {kKodak, 5, "F5+ F5-"},
        {32776, 6, "Shift+ F12+ F12- Shift-"},
        {32776, 6, "Shift+ Ctrl+ V+ V- Ctrl- Shift-"},
        {32788, 7, "Alt+ F+ F- Alt-"},
        {32780, 8, "Alt+ S+ S- Alt-"},
    };
    for (const Step& step : steps) {
        ChooseMode(step.command, step.mode);
        TakeFocus();
        std::string got = PressCameraButton();
        CHECK(got == step.keys, "mode %ld sent \"%s\", expected \"%s\"", step.mode, got.c_str(),
              step.keys);
    }
    CHECK(gEva->commands > 10, "only %ld EVA polls", long(gEva->commands));
    ExitAndCheck(&p);
    CHECK(gEva->releases >= 1, "releaseEVA was not called at exit");
}

void CameraPressesSendCustomKeys() {
    ForgetEverything();
    gEva->connected = 1;
    SetDword("mode", 1); // Send All
    SetDword("time", 150);
    SetByte("key1_control", 1);
    SetDword("key1_k", 'C');
    SetDword("key2_k", 'X');
    Process p;
    if (!StartRunning(&p, Install("eva", true)))
        return;
    ChooseMode(kCustom, 10); // reloads the stored keys and shows the window
    HWND window = nullptr;
    WaitFor([&] { return (window = CustomWindow()) && IsWindowVisible(window); }, 3000);
    TakeFocus();
    std::string got = PressCameraButton();
    CHECK(got == "Ctrl+ C+ C- Ctrl- X+ X-", "Send All sent \"%s\"", got.c_str());
    // Sequential with a long time: the second press continues with Key2.
    SetDword("time", 5000);
    Command(kCustom); // reloads the store
    Pump(300);
    if ((window = CustomWindow()))
        PostMessageA(GetDlgItem(window, 1006), BM_CLICK, 0, 0); // Sequential, at once
    Pump(300);
    TakeFocus();
    std::string first = PressCameraButton(), second = PressCameraButton();
    CHECK(first == "Ctrl+ C+ C- Ctrl-" && second == "X+ X-", "Sequential sent \"%s\" then \"%s\"",
          first.c_str(), second.c_str());
    ExitAndCheck(&p);
}

// The camera unplugged: the vendor's library answers -1 until the device change arrives. That
// is its error, not the button held down, and must not reach the imaging program as a key.
void UnpluggedEvaCameraSendsNothing() {
    ForgetEverything();
    gEva->connected = 1;
    Process p;
    if (!StartRunning(&p, Install("eva", true)))
        return;
    ChooseMode(32772, 2); // Space
    TakeFocus();
    std::string got = PressCameraButton();
    CHECK(got == "Space+ Space-", "a press sent \"%s\"", got.c_str());
    LONG before = gEva->commands;
    gEva->connected = 0;
    volatile LONG untouched = 0;
    got = HoldAndRelease(&untouched); // a second of polls that all answer -1
    CHECK(got.empty(), "the unplugged camera sent \"%s\"", got.c_str());
    gEva->connected = 1;
    got = PressCameraButton();
    CHECK(got == "Space+ Space-", "back again, a press sent \"%s\"", got.c_str());
    CHECK(gEva->commands > before, "the program stopped polling");
    ExitAndCheck(&p);
}

// Everything the other end of the program's COM2 line has received so far.
std::string ReadSerialLine(HANDLE com3) {
    std::string text;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(com3, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

void EvaPollsAreTracedOnCom2() {
    HANDLE com3 = CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (com3 == INVALID_HANDLE_VALUE) {
        Problem("no COM3 at the other end of COM2 (run with WINE_RUN_SERIAL_PAIR=1)");
        return;
    }
    COMMTIMEOUTS immediate = {MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(com3, &immediate);
    ReadSerialLine(com3); // whatever earlier runs left
    ForgetEverything();
    gEva->connected = 1;
    Process p;
    if (StartRunning(&p, Install("eva", true))) {
        Pump(1100);
        TakeFocus();
        PressCameraButton();
        ExitAndCheck(&p);
        std::string trace = ReadSerialLine(com3);
        // One line per EVA poll: the first says nothing of an interval, the later ones do.
        size_t lines = 0;
        for (size_t at = 0; (at = trace.find("\r\n", at)) != std::string::npos; at += 2)
            ++lines;
        CHECK(trace.rfind("SendKey - (0x00 - ", 0) == 0, "trace starts \"%.40s\"", trace.c_str());
        CHECK(lines >= 8, "%u trace lines", unsigned(lines));
        CHECK(trace.find("SendKey(0") != std::string::npos, "no interval in the trace");
        CHECK(trace.find("(0x01 - ") != std::string::npos, "the press is not in the trace");
    }
    CloseHandle(com3);
}

void WithoutTheVendorLibraryPressesDoNothing() {
    ForgetEverything();
    gEva->connected = 1;
    LONG before = gEva->commands;
    Process p;
    if (!StartRunning(&p, Install("plain", false)))
        return;
    TakeFocus();
    std::string got = PressCameraButton();
    CHECK(got.empty(), "keys arrived without any source: \"%s\"", got.c_str());
    CHECK(gEva->commands == before, "something polled the camera");
    CHECK(p.Wait(0) == STILL_ACTIVE, "the program ended without its camera library");
    ExitAndCheck(&p);
}

// Runs the prefix's regsvr32 on the stand-in camera filter, as an installer would register a
// driver's filter; answers its exit code.
DWORD Regsvr32(bool unregister) {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string exe = std::string(system) + "\\regsvr32.exe";
    std::string commandLine = "\"" + exe + "\" /s " + (unregister ? "/u " : "") + "\"" + gSuiteDir +
                              "\\VexorCameraFilter.dll\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return GetLastError();
    CloseHandle(pi.hThread);
    Process p;
    p.handle = pi.hProcess;
    return p.Wait(20000);
}

bool FilterListed(const char* category = kVideoInputCategory) {
    std::string path = std::string("CLSID\\") + category + "\\Instance\\" + kCameraFilterClsid;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Registers the filter as regsvr32 lists it now (in the categories of gFilter->listedAs); answers
// whether it is listed exactly there.
bool Reregister() {
    DWORD code = Regsvr32(false);
    CHECK(code == 0, "regsvr32 of the camera filter exited with %lu", code);
    bool video = FilterListed(kVideoInputCategory), receiver = FilterListed(kReceiverCategory);
    bool expected = video == ((gFilter->listedAs & kListAsVideoInput) != 0) &&
                    receiver == ((gFilter->listedAs & kListAsReceiver) != 0);
    CHECK(expected, "the camera filter is listed as video input %d, as receiver %d, expected %ld",
          int(video), int(receiver), long(gFilter->listedAs));
    return code == 0 && expected;
}

// The filter offers `offers` to the objects created from now on, its button is up and its
// counters start from zero; then it is registered as the only device of the `listedAs`
// categories.
bool RegisterFilter(LONG offers, LONG listedAs = kListAsVideoInput) {
    *gFilter = CameraFilterControl{};
    gFilter->offers = offers;
    gFilter->listedAs = listedAs;
    return Reregister();
}

void UnregisterFilter() {
    DWORD code = Regsvr32(true);
    CHECK(code == 0, "regsvr32 /u of the camera filter exited with %lu", code);
    CHECK(!FilterListed(kVideoInputCategory) && !FilterListed(kReceiverCategory),
          "the camera filter is still listed after regsvr32 /u");
}

// Presses the filter's button in `mode` and expects its keys, twice, and nothing in between: a
// latch the program failed to clear would send keys again on the next poll.
void PressFilterButtonTwice(WPARAM command, long mode, const char* keys) {
    ChooseMode(command, mode);
    TakeFocus();
    std::string first = HoldAndRelease(&gFilter->buttonDown);
    Pump(600);
    std::string idle = gKeys.substr(std::min(gKeys.size(), first.size()));
    std::string second = HoldAndRelease(&gFilter->buttonDown);
    CHECK(first == keys && second == keys, "two presses sent \"%s\" and \"%s\", expected \"%s\"",
          first.c_str(), second.c_str(), keys);
    CHECK(idle.empty(), "keys without a press: \"%s\"", idle.c_str());
}

// The frame of every stand-in filter scenario: the filter registered with these offers, the
// program running from a folder without UExProc.dll, `body` driving it, then Exit with code 0,
// no filter object left, and the filter unregistered whatever happened.
template <class Body> void WithFilter(LONG offers, LONG listedAs, Body body) {
    ForgetEverything();
    if (RegisterFilter(offers, listedAs)) {
        Process p;
        if (StartRunning(&p, Install("plain", false))) {
            body();
            ExitAndCheck(&p);
            CHECK(gFilter->liveObjects == 0, "%ld filter objects left after Exit",
                  long(gFilter->liveObjects));
        }
    }
    UnregisterFilter();
}

void CaptureDeviceSourceThroughTheFilter() {
    WithFilter(kOfferCaptureProperty, kListAsVideoInput, [] {
        CHECK(WaitFor([] { return gFilter->captureCalls > 0; }, 5000),
              "the program never asked the filter's capture property interface");
        PressFilterButtonTwice(kEnter, 3, "Enter+ Enter-");
        CHECK(gFilter->ksCalls == 0, "%ld kernel-streaming calls to a filter without them",
              long(gFilter->ksCalls));
    });
}

void RegisterSourceThroughTheFilter() {
    WithFilter(kOfferKsControl, kListAsVideoInput, [] {
        // The library reads the configuration string over the bus before it takes the source.
        CHECK(WaitFor([] { return gFilter->busCommands > 0 && gFilter->ksCalls > 0; }, 5000),
              "no configuration read through the filter's IKsControl");
        PressFilterButtonTwice(kKodak, 5, "F5+ F5-");
        CHECK(gFilter->captureCalls == 0, "%ld capture property calls to a filter without it",
              long(gFilter->captureCalls));
    });
}

// Transport 4 is tried only when the HID, extension-unit and video-input routes find nothing: the
// filter is listed only as a receiver component and answers only the receiver bus property set.
void ReceiverSourceThroughTheFilter() {
    WithFilter(kOfferReceiverBus, kListAsReceiver, [] {
        // The configuration string comes over the receiver's I2C bus transfers.
        CHECK(WaitFor([] { return gFilter->busCommands > 0 && gFilter->receiverCalls > 0; }, 5000),
              "no configuration read through the receiver bus property set");
        PressFilterButtonTwice(32772, 2, "Space+ Space-");
        CHECK(gFilter->ksCalls == gFilter->receiverCalls,
              "%ld kernel-streaming calls outside the receiver bus set",
              long(gFilter->ksCalls - gFilter->receiverCalls));
        CHECK(gFilter->captureCalls == 0, "%ld capture property calls to a filter without it",
              long(gFilter->captureCalls));
    });
}

// Posted as Windows broadcasts it when a device comes or goes. The arrival and removal events
// carry a pointer: they are sent, never posted.
void PostDevicesChanged() {
    CHECK(PostMessageA(MainWindow(), WM_DEVICECHANGE, 0x0007, 0), // DBT_DEVNODES_CHANGED
          "posting WM_DEVICECHANGE failed with %lu", GetLastError());
}

// What a press gives while the program has no source: no keys, and no poll reaches the filter.
void PressGivesNothing() {
    TakeFocus();
    LONG before = gFilter->captureCalls;
    std::string got = HoldAndRelease(&gFilter->buttonDown);
    CHECK(got.empty(), "a press without a listed filter sent \"%s\"", got.c_str());
    CHECK(gFilter->captureCalls == before, "%ld capture property calls after the filter went",
          long(gFilter->captureCalls - before));
}

// The filter goes away and comes back, each time announced by a device change: the program lets
// go of the old filter object, runs without a source, then finds the filter again.
void DeviceChangeReattachesTheSource() {
    WithFilter(kOfferCaptureProperty, kListAsVideoInput, [] {
        CHECK(WaitFor([] { return gFilter->captureCalls > 0; }, 5000),
              "the program never asked the filter's capture property interface");
        PressFilterButtonTwice(kKodak, 5, "F5+ F5-");

        UnregisterFilter();
        PostDevicesChanged();
        CHECK(WaitFor([] { return gFilter->liveObjects == 0; }, 5000),
              "%ld filter objects still held after the device change", long(gFilter->liveObjects));
        PressGivesNothing();

        if (Reregister()) {
            LONG before = gFilter->captureCalls;
            PostDevicesChanged();
            CHECK(WaitFor([before] { return gFilter->captureCalls > before; }, 5000),
                  "the filter was not asked again after it came back");
            PressFilterButtonTwice(kKodak, 5, "F5+ F5-");
        }
    });
}

struct Scenario {
    const char* name;
    void (*run)();
};

const Scenario kScenarios[] = {
    {"first start registers autostart, Exit stores the mode", FirstStartRegistersAutostart},
    {"a second start exits at once and writes nothing", SecondStartExitsAtOnce},
    {"tray commands switch and store the mode", TrayCommandsSwitchModes},
    {"the tray menu opens on a click and chooses by keyboard", TrayMenuOpensAndChoosesByKeyboard},
    {"Custom Settings: controls, key capture, Save", CustomSettingsCaptureAndSave},
    {"device changes keep the program running", DeviceChangeKeepsRunning},
    {"camera presses send each mode's keys (EVA source)", CameraPressesSendEachModesKeys},
    {"camera presses send custom keys in both send modes", CameraPressesSendCustomKeys},
    {"without UExProc.dll the program runs and presses do nothing",
     WithoutTheVendorLibraryPressesDoNothing},
    {"an unplugged EVA camera sends nothing", UnpluggedEvaCameraSendsNothing},
    {"EVA polls are traced on COM2", EvaPollsAreTracedOnCom2},
    {"with only the stand-in filter registered, presses arrive through the capture-device source",
     CaptureDeviceSourceThroughTheFilter},
    {"with the filter offering only kernel-streaming properties, presses arrive through the "
     "register source on transport 3",
     RegisterSourceThroughTheFilter},
    {"with the filter registered only as a BDA receiver component, presses arrive through the "
     "register source on transport 4",
     ReceiverSourceThroughTheFilter},
    {"a device change re-attaches the source", DeviceChangeReattachesTheSource},
};

} // namespace

int main() {
    InitHarness();
    HANDLE filterMapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                           sizeof(CameraFilterControl), kCameraFilterControlName);
    gFilter = static_cast<CameraFilterControl*>(
        MapViewOfFile(filterMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CameraFilterControl)));

    // E2E_ONLY=text runs only the scenarios whose name contains it.
    const char* only = std::getenv("E2E_ONLY");
    int passed = 0, failed = 0;
    for (const Scenario& s : kScenarios) {
        if (only && *only && !std::strstr(s.name, only))
            continue;
        gProblems.clear();
        s.run();
        if (gProblems.empty()) {
            ++passed;
            std::printf("ok      %s\n", s.name);
        } else {
            ++failed;
            std::printf("FAILED  %s\n", s.name);
            for (const std::string& p : gProblems)
                std::printf("        %s\n", p.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("e2e: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
