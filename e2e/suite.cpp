// The end-to-end suite: runs the real Vexor2.exe under a real Win32 (Wine, in CI) and drives it
// the way the shell and a user do: starting it, posting tray callbacks and menu commands to its
// hidden main window, clicking and typing into its Custom Settings window, pressing the button
// of a virtual camera behind a stand-in UExProc.dll or a stand-in capture filter, and reading what
// arrives in its own focused window and in the registry. One line per scenario, then
// "N passed, M failed".
#include <windows.h>

#include "e2e/camera_filter_control.h"
#include "e2e/camera_images.h"
#include "e2e/extension_unit_control.h"
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
    // A command line: the path quoted, since it may hold spaces.
    const std::string command = '"' + gExe + '"';
    CHECK(type == REG_SZ && lstrcmpiA(stored.c_str(), command.c_str()) == 0 &&
              stored.size() == command.size() + 1,
          "autostart value type %lu \"%s\", expected \"%s\"", type, stored.c_str(),
          command.c_str());
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

// Runs the prefix's regsvr32 on a stand-in COM server (the camera filter unless named), as an
// installer would register a driver's filter; answers its exit code.
DWORD Regsvr32(bool unregister, const std::string& dll = "VexorCameraFilter.dll") {
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    std::string exe = std::string(system) + "\\regsvr32.exe";
    std::string commandLine =
        "\"" + exe + "\" /s " + (unregister ? "/u " : "") + "\"" + gSuiteDir + "\\" + dll + "\"";
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

// Presses `button` in `mode` and expects its keys, twice, and nothing in between: a latch the
// program failed to clear would send keys again on the next poll.
void PressButtonTwice(volatile LONG* button, WPARAM command, long mode, const char* keys) {
    ChooseMode(command, mode);
    TakeFocus();
    std::string first = HoldAndRelease(button);
    Pump(600);
    std::string idle = gKeys.substr(std::min(gKeys.size(), first.size()));
    std::string second = HoldAndRelease(button);
    CHECK(first == keys && second == keys, "two presses sent \"%s\" and \"%s\", expected \"%s\"",
          first.c_str(), second.c_str(), keys);
    CHECK(idle.empty(), "keys without a press: \"%s\"", idle.c_str());
}

void PressFilterButtonTwice(WPARAM command, long mode, const char* keys) {
    PressButtonTwice(&gFilter->buttonDown, command, mode, keys);
}

// The frame of every stand-in filter scenario: the filter registered with these offers, the
// program running from a folder without UExProc.dll (or as `start` starts it), `body` driving
// it, then Exit with code 0, no filter object left, `afterExit`, and the filter unregistered
// whatever happened.
template <class Body, class Start = bool (*)(Process*), class AfterExit = void (*)()>
void WithFilter(
    LONG offers, LONG listedAs, Body body,
    Start start = [](Process* p) { return StartRunning(p, Install("plain", false)); },
    AfterExit afterExit = [] {}) {
    ForgetEverything();
    if (RegisterFilter(offers, listedAs)) {
        Process p;
        if (start(&p)) {
            body();
            ExitAndCheck(&p);
            CHECK(gFilter->liveObjects == 0, "%ld filter objects left after Exit",
                  long(gFilter->liveObjects));
            afterExit();
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

// ---- the extension-unit server's route ----

ExtensionUnitControl* gUnit = nullptr;

const char kTwainKey[] = "Software\\USB2800\\TwainDS";

// No server class, no registration record, no calls recorded.
void ForgetServer() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kExtensionUnitClsid).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, kServerRecordKey);
    std::memset(const_cast<ExtensionUnitControl*>(gUnit), 0, sizeof *gUnit);
}

void WriteServerRecord(DWORD version, const std::string& path) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kServerRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return Problem("the server's record could not be written");
    RegSetValueExA(key, "Version Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version),
                   sizeof version);
    RegSetValueExA(key, "FileName Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   DWORD(path.size() + 1));
    RegCloseKey(key);
}

// The record as the program finds it: the version (0 when absent) and the file named.
DWORD RecordedVersion(std::string* path) {
    HKEY key;
    DWORD version = 0, size = sizeof version;
    char file[MAX_PATH] = {};
    DWORD fileSize = sizeof file - 1;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kServerRecordKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExA(key, "Version Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&version),
                         &size) != ERROR_SUCCESS)
        version = 0;
    RegQueryValueExA(key, "FileName Path", nullptr, nullptr, reinterpret_cast<BYTE*>(file),
                     &fileSize);
    RegCloseKey(key);
    *path = file;
    return version;
}

// A copy of the program in a folder of its own, with the stand-in server and its installer
// beside it as the camera's setup leaves them; answers the folder.
std::string InstallWithServer(const char* folder, std::string* exe) {
    *exe = Install(folder, false);
    std::string dir = exe->substr(0, exe->find_last_of('\\'));
    for (const char* file : {"emxunit.dll", "Install_UvcCtrl.exe"})
        CHECK(CopyFileA((gSuiteDir + "\\" + file).c_str(), (dir + "\\" + file).c_str(), FALSE),
              "copying %s failed with %lu", file, GetLastError());
    return dir;
}

std::string Hex(const BYTE* bytes, LONG count) {
    std::string s = "[";
    char b[4];
    for (LONG i = 0; i < count && i < LONG(sizeof(UnitCall::bytes)); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s + "]";
}

// "set 1 [02]", "get 2 (1) [40]", "open", "close", "release".
std::string Describe(const UnitCall& c) {
    char head[48];
    switch (c.operation) {
    case kUnitSet:
        std::snprintf(head, sizeof head, "set %ld ", long(c.selector));
        return head + Hex(c.bytes, c.length);
    case kUnitGet:
        std::snprintf(head, sizeof head, "get %ld (%ld) ", long(c.selector), long(c.length));
        return head + Hex(c.bytes, c.length);
    case kUnitOpen:
        return "open";
    case kUnitClose:
        return "close";
    case kUnitRelease:
        return "release";
    }
    return "operation " + std::to_string(c.operation);
}

// The calls recorded from `from` on.
std::vector<UnitCall> UnitCalls(LONG from = 0) {
    LONG end = std::min(LONG(gUnit->calls), kUnitCallRecords);
    std::vector<UnitCall> calls;
    for (LONG i = from; i < end; ++i)
        calls.push_back(gUnit->record[i]);
    return calls;
}

std::string Describe(const std::vector<UnitCall>& calls, size_t from, size_t count) {
    std::string s;
    for (size_t i = from; i < calls.size() && i < from + count; ++i)
        s += (s.empty() ? "" : ", ") + Describe(calls[i]);
    return s;
}

// Every control transfer travels framed: selector 1 announces its length, one set (and, for a
// read, one get of the same selector) follows, and selector 1 is set back to 1. Answers the first
// break of that rule, or "".
std::string FramingBreak(const std::vector<UnitCall>& all) {
    std::vector<UnitCall> calls;
    for (const UnitCall& c : all)
        if (c.operation == kUnitSet || c.operation == kUnitGet)
            calls.push_back(c);
    for (size_t i = 0; i < calls.size();) {
        const UnitCall& frame = calls[i];
        std::string where = " at \"" + Describe(calls, i, 4) + "\"";
        if (frame.operation != kUnitSet || frame.selector != 1 || frame.length != 1)
            return "a transfer without its opening frame" + where;
        if (i + 1 >= calls.size())
            return ""; // the recording ends inside the transfer
        const UnitCall& set = calls[i + 1];
        if (set.operation != kUnitSet || set.selector == 1 || set.length != frame.bytes[0])
            return "the frame does not announce the transfer's length" + where;
        size_t next = i + 2;
        bool read = set.selector == 2 || set.selector == 4 || set.selector == 8;
        if (read && next < calls.size()) {
            if (calls[next].operation != kUnitGet || calls[next].selector != set.selector)
                return "a read without its get" + where;
            ++next;
        }
        if (next >= calls.size())
            return "";
        if (calls[next].operation != kUnitSet || calls[next].selector != 1 ||
            calls[next].length != 1 || calls[next].bytes[0] != 1)
            return "a transfer without its closing frame" + where;
        i = next + 1;
    }
    return "";
}

// One register read of register 5 on this route: four transfers.
bool IsStatusRead(const std::vector<UnitCall>& calls, size_t at) {
    static const char* const kPoll[] = {"set 1 [02]", "set 2 [05 01]", "get 2 (1) ", "set 1 [01]"};
    if (at + 4 > calls.size())
        return false;
    for (size_t i = 0; i < 4; ++i)
        if (Describe(calls[at + i]).rfind(kPoll[i], 0) != 0)
            return false;
    return true;
}

// While nobody presses, each poll is exactly one read of register 5 and nothing else.
void CheckIdlePolls() {
    LONG from = gUnit->calls;
    Pump(1300);
    std::vector<UnitCall> calls = UnitCalls(from);
    size_t at = 0;
    while (at < calls.size() && at < 3 && !IsStatusRead(calls, at))
        ++at; // the snapshot began inside a poll
    size_t polls = 0;
    for (; IsStatusRead(calls, at); at += 4)
        ++polls;
    CHECK(polls >= 4 && calls.size() - at < 4,
          "idle polls in 1.3 s: %u reads of register 5, then \"%s\" (%u calls in all)",
          unsigned(polls), Describe(calls, at, 6).c_str(), unsigned(calls.size()));
}

// The configuration string's text came back through the framed I2C read controls.
bool EepromSerialRead() {
    std::vector<UnitCall> calls = UnitCalls();
    const LONG length = LONG(sizeof kEepromSerial - 1);
    for (size_t i = 1; i < calls.size(); ++i)
        if (calls[i].operation == kUnitGet && calls[i].selector == 4 && calls[i].length == length &&
            std::memcmp(calls[i].bytes, kEepromSerial, length) == 0)
            return Describe(calls[i - 1]) == "set 4 [A0 08 01]";
    return false;
}

void PressUnitButtonTwice(WPARAM command, long mode, const char* keys) {
    PressButtonTwice(&gUnit->buttonDown, command, mode, keys);
}

// After Exit: every unit opened was closed right before its last Release, none is left, none was
// used closed, the server's own operations were never called, and the node instances are gone.
void CheckUnitsClosed() {
    std::vector<UnitCall> calls = UnitCalls();
    CHECK(gUnit->calls <= kUnitCallRecords, "%ld calls, more than recorded", long(gUnit->calls));
    for (LONG object = 1; object <= gUnit->objectsMade; ++object) {
        std::vector<UnitCall> own;
        for (const UnitCall& c : calls)
            if (c.object == object)
                own.push_back(c);
        bool opened = std::any_of(own.begin(), own.end(),
                                  [](const UnitCall& c) { return c.operation == kUnitOpen; });
        size_t n = own.size();
        CHECK(!opened || (n >= 2 && own[n - 2].operation == kUnitClose &&
                          own[n - 1].operation == kUnitRelease),
              "unit %ld ends \"%s\", expected \"close, release\"", long(object),
              Describe(own, n < 3 ? 0 : n - 3, 3).c_str());
    }
    CHECK(gUnit->objectsMade > 0 && gUnit->liveObjects == 0 && gUnit->releasedOpen == 0,
          "%ld units made, %ld left after Exit, %ld released open", long(gUnit->objectsMade),
          long(gUnit->liveObjects), long(gUnit->releasedOpen));
    CHECK(gUnit->callsAfterClose == 0 && gUnit->otherCalls == 0,
          "%ld controls asked of a closed unit, %ld calls of positions 3 to 9",
          long(gUnit->callsAfterClose), long(gUnit->otherCalls));
    CHECK(gFilter->liveNodes == 0, "%ld node instances left", long(gFilter->liveNodes));
    std::string broken = FramingBreak(calls);
    CHECK(broken.empty(), "%s", broken.c_str());
}

// The server registered (by regsvr32, as its installer left it) and its record current: the
// program opens the extension unit on the camera filter's topology, reads the configuration
// string through it, polls it, and lets go of every unit at Exit.
void ExtensionUnitWithCurrentRecord() {
    ForgetServer();
    DWORD code = Regsvr32(false, "emxunit.dll");
    std::string recorded;
    CHECK(code == 0 && RecordedVersion(&recorded) == kCurrentServerVersion,
          "regsvr32 emxunit.dll exited with %lu, record version %lu", code,
          RecordedVersion(&recorded));
    LONG registrations = gUnit->registrations;
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [registrations] {
            CHECK(WaitFor(EepromSerialRead, 8000),
                  "no framed I2C read of the configuration string; %ld unit calls, first: \"%s\"",
                  long(gUnit->calls), Describe(UnitCalls(), 0, 8).c_str());
            CheckIdlePolls();
            PressUnitButtonTwice(kEnter, 3, "Enter+ Enter-");
            CHECK(gUnit->registrations == registrations && gUnit->installerRuns == 0,
                  "with a current record the server was registered %ld more times, the "
                  "installer run %ld times",
                  long(gUnit->registrations - registrations), long(gUnit->installerRuns));
        },
        [](Process* p) { return StartRunning(p, Install("plain", false)); }, CheckUnitsClosed);
    ForgetServer();
}

// The flash reads of one configuration value: the read command with its 24-bit address in a
// framed write, then the framed read of `length` bytes.
void ExpectFlashRead(std::vector<std::string>* out, uint32_t address, int length) {
    char text[96];
    std::snprintf(text, sizeof text, "set 9 [00 04 00 03 %02X %02X %02X]", (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    out->push_back(text);
    std::snprintf(text, sizeof text, "set 8 [00 %02X 01]", length);
    out->push_back(text);
}

// A camera that keeps its configuration in the serial flash: the string is read with exactly the
// flash reads its block's layout needs, and the register source is attached.
void FlashConfigurationThroughTheUnit() {
    ForgetServer();
    Regsvr32(false, "emxunit.dll");
    gUnit->flashConfiguration = 1;
    const int textLength = int(sizeof kFlashSerial - 1);
    std::vector<std::string> expected;
    ExpectFlashRead(&expected, 0, 4);                                // header
    ExpectFlashRead(&expected, kFlashBlock + 18, 1);                 // selector byte
    ExpectFlashRead(&expected, kFlashBlock + 12, 1);                 // string 1's offset
    ExpectFlashRead(&expected, kFlashBlock + kFlashSerialOffset, 1); // its length
    ExpectFlashRead(&expected, kFlashBlock + kFlashSerialOffset + 2, textLength);
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [&] {
            auto flashCalls = [] {
                std::vector<UnitCall> calls;
                for (const UnitCall& c : UnitCalls())
                    if ((c.operation == kUnitSet || c.operation == kUnitGet) &&
                        (c.selector == 8 || c.selector == 9 || c.selector == 4 || c.selector == 5))
                        calls.push_back(c);
                return calls;
            };
            WaitFor([&] { return flashCalls().size() >= 15; }, 8000);
            std::vector<UnitCall> calls = flashCalls();
            std::vector<std::string> sets;
            std::string lastGet;
            for (const UnitCall& c : calls) {
                if (c.operation == kUnitSet)
                    sets.push_back(Describe(c));
                else
                    lastGet = Describe(c);
            }
            std::string want, got;
            for (const std::string& e : expected)
                want += (want.empty() ? "" : ", ") + e;
            for (const std::string& e : sets)
                got += (got.empty() ? "" : ", ") + e;
            CHECK(sets == expected, "configuration requests \"%s\", expected \"%s\"", got.c_str(),
                  want.c_str());
            CHECK(calls.size() == 15 &&
                      lastGet == "get 8 (" + std::to_string(textLength) + ") " +
                                     Hex(reinterpret_cast<const BYTE*>(kFlashSerial), textLength),
                  "%u configuration transfers, the last get \"%s\"", unsigned(calls.size()),
                  lastGet.c_str());
            // Attached: the source polls register 5 through the unit. Its configuration strap
            // stays set beside a latched press, and a value other than the latch alone is not
            // a press.
            CheckIdlePolls();
            TakeFocus();
            std::string keys = HoldAndRelease(&gUnit->buttonDown);
            CHECK(keys.empty(), "a press with the strap set sent \"%s\"", keys.c_str());
        },
        [](Process* p) { return StartRunning(p, Install("plain", false)); }, CheckUnitsClosed);
    ForgetServer();
}

bool SameFile(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Answers the token facts of `process` as "type/elevated".
std::string TokenFacts(HANDLE process) {
    HANDLE token = nullptr;
    DWORD type = 0, elevated = 0, size = 0;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return "unreadable";
    GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size);
    GetTokenInformation(token, TokenElevation, &elevated, sizeof elevated, &size);
    CloseHandle(token);
    return std::to_string(type) + "/" + std::to_string(elevated);
}

// Units opened so far.
LONG UnitsOpened() {
    std::vector<UnitCall> calls = UnitCalls();
    return LONG(std::count_if(calls.begin(), calls.end(), [](const UnitCall& c) {
        return c.operation == kUnitOpen && c.result == S_OK;
    }));
}

// No record, an old one, or one naming a missing file, in an elevated process: at each
// attachment the program loads the emxunit.dll beside it and calls its DllRegisterServer instead
// of running the installer, and then opens the extension unit, which was not registered before.
void ElevatedProgramRegistersTheServer() {
    // Wine gives its processes the full token of an elevated administrator.
    std::string facts = TokenFacts(GetCurrentProcess());
    CHECK(facts == "2/1", "the suite's token is type/elevated %s, expected 2/1", facts.c_str());
    struct Record {
        const char* what;
        DWORD version; // 0: no record
        const char* file;
    } records[] = {{"no record", 0, nullptr},
                   {"version 4095", kCurrentServerVersion - 1, "emxunit.dll"},
                   {"a record naming no file", kCurrentServerVersion, "gone.dll"}};
    ForgetServer();
    std::string exe, dir = InstallWithServer("unit_register", &exe);
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [&] {
            // Counted from before the start: the first attachment may be done before this runs.
            LONG registrations = 0, opened = 0;
            for (const Record& record : records) {
                if (&record != records) {
                    registrations = gUnit->registrations;
                    opened = UnitsOpened();
                    // The server unregistered again, this record left, and the camera attached
                    // anew.
                    RegDeleteTreeA(HKEY_CLASSES_ROOT,
                                   (std::string("CLSID\\") + kExtensionUnitClsid).c_str());
                    RegDeleteTreeA(HKEY_CURRENT_USER, kServerRecordKey);
                    WriteServerRecord(record.version, gSuiteDir + "\\" + record.file);
                    PostDevicesChanged();
                }
                CHECK(WaitFor([&] { return gUnit->registrations > registrations; }, 8000),
                      "%s: DllRegisterServer was not called", record.what);
                CHECK(SameFile(gUnit->registeredFrom, dir + "\\emxunit.dll"),
                      "%s: registered \"%s\", expected the program's own folder's", record.what,
                      gUnit->registeredFrom);
                CHECK(WaitFor([&] { return UnitsOpened() > opened; }, 8000),
                      "%s: no unit opened after the registration", record.what);
            }
            CHECK(EepromSerialRead(), "no configuration read through the unit");
            PressUnitButtonTwice(kEnter, 3, "Enter+ Enter-");
            // The presses initialised the library again, with the record current by then.
            CHECK(gUnit->registrations == 3 && gUnit->installerRuns == 0,
                  "%ld registrations, %ld installer runs, expected 3 and 0",
                  long(gUnit->registrations), long(gUnit->installerRuns));
        },
        [&](Process* p) { return StartRunning(p, exe); }, CheckUnitsClosed);
    ForgetServer();
}

// Where the program looks for the server, and how long a record's file name may be: with no
// record, an emxunit.dll in the current directory alone is not loaded; with the library beside the
// program, a current record naming a file by a 259-character path is taken as current.
void ServerLookedForOnlyWhereItBelongs() {
    ForgetServer();
    const std::string inCurrentDirectory = "C:\\emxunit.dll";
    CHECK(CopyFileA((gSuiteDir + "\\emxunit.dll").c_str(), inCurrentDirectory.c_str(), FALSE),
          "copying emxunit.dll to C:\\ failed with %lu", GetLastError());
    std::string exe = Install("unit_paths", false);
    std::string dir = exe.substr(0, exe.find_last_of('\\'));
    DeleteFileA((dir + "\\emxunit.dll").c_str());
    // 259 characters with the file name, one short of MAX_PATH with its terminator.
    std::string longDir = "C:\\vexor_e2e\\" + std::string(234, 'x');
    std::string longPath = longDir + "\\emxunit.dll";
    CreateDirectoryA(longDir.c_str(), nullptr);
    CHECK(longPath.size() == 259 &&
              CopyFileA((gSuiteDir + "\\emxunit.dll").c_str(), longPath.c_str(), FALSE),
          "copying emxunit.dll to a %u-character path failed with %lu", unsigned(longPath.size()),
          GetLastError());
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [&] {
            CHECK(WaitFor([] { return gFilter->topologyQueries > 0; }, 8000),
                  "the extension-unit route was not tried");
            Pump(500);
            CHECK(gUnit->registrations == 0, "registered \"%s\" from the current directory",
                  gUnit->registeredFrom);

            CHECK(CopyFileA((gSuiteDir + "\\emxunit.dll").c_str(), (dir + "\\emxunit.dll").c_str(),
                            FALSE),
                  "copying emxunit.dll beside the program failed with %lu", GetLastError());
            WriteServerRecord(kCurrentServerVersion, longPath);
            LONG queries = gFilter->topologyQueries, registrations = gUnit->registrations;
            PostDevicesChanged();
            CHECK(WaitFor([queries] { return gFilter->topologyQueries > queries; }, 8000),
                  "the device change did not reach the extension-unit route");
            Pump(500);
            CHECK(gUnit->registrations == registrations && gUnit->installerRuns == 0,
                  "with a current record naming a 259-character path: %ld registrations (the "
                  "last of \"%s\"), %ld installer runs",
                  long(gUnit->registrations - registrations), gUnit->registeredFrom,
                  long(gUnit->installerRuns));
        },
        [&](Process* p) { return StartRunning(p, exe); });
    DeleteFileA(inCurrentDirectory.c_str());
    DeleteFileA(longPath.c_str());
    RemoveDirectoryA(longDir.c_str());
    ForgetServer();
}

// The limited token Windows gives a standard user's programs: under Wine, the linked token of the
// suite's own full one.
HANDLE LimitedToken() {
    HANDLE token = nullptr, primary = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    BOOL got = GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size);
    CloseHandle(token);
    if (!got)
        return nullptr;
    DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                     TokenPrimary, &primary);
    CloseHandle(linked.LinkedToken);
    return primary;
}

// Starts `exe` as a standard user would, in C:\ like the autostart.
bool StartLimited(Process* p, const std::string& exe) {
    HANDLE token = LimitedToken();
    if (!token) {
        Problem("no limited token: GetTokenInformation(TokenLinkedToken) failed with %lu",
                GetLastError());
        return false;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + exe + "\"";
    BOOL started = CreateProcessAsUserA(token, exe.c_str(), &commandLine[0], nullptr, nullptr,
                                        FALSE, 0, nullptr, "C:\\", &si, &pi);
    CloseHandle(token);
    if (!started) {
        Problem("CreateProcessAsUser failed with %lu", GetLastError());
        return false;
    }
    CloseHandle(pi.hThread);
    p->handle = pi.hProcess;
    std::string facts = TokenFacts(p->handle);
    CHECK(facts == "3/0", "the program's token is type/elevated %s, expected 3/0", facts.c_str());
    if (!WaitFor([] { return MainWindow() != nullptr; }, 10000)) {
        Problem("no main window of class \"Vexor\" after 10 s");
        return false;
    }
    return true;
}

// Without elevation the program does not register the server itself: it starts the installer
// from its own folder, once however many initialisations follow, and the unit opens after it.
void LimitedProgramRunsTheInstaller() {
    ForgetServer();
    gUnit->installerRegisters = 1;
    std::string exe, dir = InstallWithServer("unit_install", &exe);
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [&] {
            CHECK(WaitFor([] { return gUnit->installerRuns > 0; }, 8000),
                  "the installer did not run");
            CHECK(SameFile(gUnit->installerPath, dir + "\\Install_UvcCtrl.exe"),
                  "the installer run was \"%s\", expected the program's own folder's",
                  gUnit->installerPath);
            CHECK(WaitFor(EepromSerialRead, 8000), "no configuration read through the unit");
            // Wine 8 starts a "runas" program with its caller's limited token instead of
            // asking to elevate; the facts are recorded, not checked.
            PressUnitButtonTwice(kEnter, 3, "Enter+ Enter-");
            // More initialisations: two presses re-initialised the library, a device change
            // attaches again.
            PostMessageA(MainWindow(), WM_DEVICECHANGE, 0x0007, 0);
            Pump(1500);
            CHECK(gUnit->installerRuns == 1 && gUnit->registrations == 1,
                  "%ld installer runs, %ld registrations, expected 1 each",
                  long(gUnit->installerRuns), long(gUnit->registrations));
        },
        [&](Process* p) { return StartLimited(p, exe); }, CheckUnitsClosed);
    if (gUnit->installerRuns)
        std::printf("        (the installer ran as %s, token type %ld, elevated %ld)\n",
                    gUnit->installerCommandLine, long(gUnit->installerElevationType),
                    long(gUnit->installerIsElevated));
    ForgetServer();
}

// An installer that does not register the server leaves the record missing: every later
// initialisation finds it missing again, and still the installer is started only once.
void InstallerStartedOncePerRun() {
    ForgetServer();
    gUnit->installerRegisters = 0;
    std::string exe, dir = InstallWithServer("unit_install", &exe);
    WithFilter(
        kOfferTopology, kListAsVideoInput,
        [&] {
            CHECK(WaitFor([] { return gUnit->installerRuns > 0; }, 8000),
                  "the installer did not run");
            for (int i = 0; i < 3; ++i) {
                LONG queries = gFilter->topologyQueries;
                PostMessageA(MainWindow(), WM_DEVICECHANGE, 0x0007, 0);
                CHECK(WaitFor([queries] { return gFilter->topologyQueries > queries; }, 5000),
                      "device change %d did not reach the extension-unit route", i + 1);
            }
            Pump(500);
            CHECK(gUnit->installerRuns == 1 && gUnit->objectsMade == 0,
                  "%ld installer runs, %ld units made, expected 1 and none",
                  long(gUnit->installerRuns), long(gUnit->objectsMade));
        },
        [&](Process* p) { return StartLimited(p, exe); });
    ForgetServer();
}

// ---- the capture-device source's names ----

void SetTwainNames(const char* realName, const char* name) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTwainKey);
    if (!realName && !name)
        return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTwainKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return Problem("HKLM\\%s could not be created", kTwainKey);
    for (auto value : {std::make_pair("RealDSName", realName), std::make_pair("DSName", name)})
        if (value.second)
            RegSetValueExA(key, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second),
                           DWORD(std::strlen(value.second) + 1));
    RegCloseKey(key);
}

void SetFriendlyName(const char* name) {
    std::string path =
        std::string("CLSID\\") + kVideoInputCategory + "\\Instance\\" + kCameraFilterClsid;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return Problem("the camera filter's entry is missing");
    RegSetValueExA(key, "FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   DWORD(std::strlen(name) + 1));
    RegCloseKey(key);
}

// The only camera, under each name in turn, announced by a device change: the capture-device
// source takes it exactly when the TWAIN source's name, the default or a known name begins it.
void CaptureDeviceFoundByEachName() {
    struct Case {
        const char* realName; // RealDSName, DSName: none when null
        const char* name;
        const char* friendly;
        bool found;
    };
    std::vector<Case> cases = {
        {"Vexor Intraoral A", "USB 2830 Video", "Vexor Intraoral A (2)", true},
        {"Vexor Intraoral A", "USB 2830 Video", "USB 2830 Video", false},
        {nullptr, "Vexor Intraoral B", "Vexor Intraoral B", true},
        {nullptr, nullptr, "USB 2820 Video", true},
        {nullptr, nullptr, "USB 2830 Video", false},
        {nullptr, nullptr, "usb 2800 video", false},
    };
    for (const char* known :
         {"USB 2800 Video", "USB 2801 Video", "USB 2700 Camera", "USB 2701 Camera",
          "USB 2840 Video", "USB 2841 Video", "USB 2820 Video", "USB 2821 Video", "USB 2710 Camera",
          "USB 2711 Camera", "USB 2860 Video", "USB 2861 Video", "USB 2880 Video", "USB 2881 Video",
          "USB 2750 Camera", "USB 2751 Camera"})
        cases.push_back({nullptr, nullptr, known, true});
    WithFilter(kOfferCaptureProperty, kListAsVideoInput, [&] {
        for (const Case& c : cases) {
            SetTwainNames(c.realName, c.name);
            SetFriendlyName(c.friendly);
            // The attachment under the new name begins once the old source is let go and a
            // transport looks the filter up; the capture-device source alone calls it then.
            LONG made = gFilter->objectsMade;
            PostDevicesChanged();
            CHECK(WaitFor([made] { return gFilter->objectsMade > made; }, 5000),
                  "\"%s\": the device change did not attach again", c.friendly);
            LONG calls = gFilter->captureCalls;
            bool found =
                WaitFor([calls] { return gFilter->captureCalls > calls; }, c.found ? 5000 : 800);
            CHECK(found == c.found, "\"%s\" (RealDSName \"%s\", DSName \"%s\") was %s", c.friendly,
                  c.realName ? c.realName : "-", c.name ? c.name : "-",
                  found ? "used" : "not used");
        }
        PressFilterButtonTwice(kEnter, 3, "Enter+ Enter-");
    });
    SetTwainNames(nullptr, nullptr);
}

// Two cameras listed, the first not answering the probe: the register source opens the second.
void SecondCameraWhenTheFirstFailsItsProbe() {
    ForgetEverything();
    *gFilter = CameraFilterControl{};
    gFilter->offers = kOfferKsControl;
    gFilter->listedAs = kListAsVideoInput | kListSecondCamera;
    gFilter->refuseKsOf = 1;
    if (Reregister()) {
        Process p;
        if (StartRunning(&p, Install("plain", false))) {
            CHECK(WaitFor([] { return gFilter->busCommands > 0; }, 5000),
                  "no configuration read through either camera");
            CHECK(gFilter->firstAsked == 1 && gFilter->camerasKsCalls[0] > 0,
                  "camera %ld was asked first (%ld calls to the first camera), expected the first",
                  long(gFilter->firstAsked), long(gFilter->camerasKsCalls[0]));
            PressFilterButtonTwice(kKodak, 5, "F5+ F5-");
            CHECK(gFilter->camerasKsCalls[1] > 10, "%ld calls to the second camera",
                  long(gFilter->camerasKsCalls[1]));
            ExitAndCheck(&p);
            CHECK(gFilter->liveObjects == 0, "%ld filter objects left after Exit",
                  long(gFilter->liveObjects));
        }
    }
    UnregisterFilter();
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
    {"with the extension-unit server registered, presses arrive through the register source on "
     "transport 1",
     ExtensionUnitWithCurrentRecord},
    {"a camera with its configuration in serial flash is attached through its flash reads",
     FlashConfigurationThroughTheUnit},
    {"an elevated program registers the server beside it when the record is missing, old or "
     "wrong",
     ElevatedProgramRegistersTheServer},
    {"a limited program starts the installer from its own folder, then uses the server",
     LimitedProgramRunsTheInstaller},
    {"the installer is started once per run", InstallerStartedOncePerRun},
    {"the server is loaded only from the program's folder, and a 259-character record is current",
     ServerLookedForOnlyWhereItBelongs},
    {"the capture-device source is found by each of its names", CaptureDeviceFoundByEachName},
    {"of two cameras the second is used when the first fails its probe",
     SecondCameraWhenTheFirstFailsItsProbe},
};

} // namespace

int main() {
    InitHarness();
    HANDLE filterMapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                           sizeof(CameraFilterControl), kCameraFilterControlName);
    gFilter = static_cast<CameraFilterControl*>(
        MapViewOfFile(filterMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(CameraFilterControl)));
    HANDLE unitMapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                           sizeof(ExtensionUnitControl), kExtensionUnitControlName);
    gUnit = static_cast<ExtensionUnitControl*>(
        MapViewOfFile(unitMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ExtensionUnitControl)));

    // E2E_ONLY=text runs only the scenarios whose name contains it.
    const char* only = std::getenv("E2E_ONLY");
    int passed = 0, failed = 0;
    for (const Scenario& s : kScenarios) {
        if (only && *only && !std::strstr(s.name, only))
            continue;
        gProblems.clear();
        DWORD start = GetTickCount();
        s.run();
        double seconds = (GetTickCount() - start) / 1000.0;
        if (gProblems.empty()) {
            ++passed;
            std::printf("ok      %s (%.1f s)\n", s.name, seconds);
        } else {
            ++failed;
            std::printf("FAILED  %s (%.1f s)\n", s.name, seconds);
            for (const std::string& p : gProblems)
                std::printf("        %s\n", p.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("e2e: %d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
