// The end-to-end suite: runs the real Vexor2.exe under a real Win32 (Wine, in CI) and drives it
// the way the shell and a user do: starting it, posting tray callbacks and menu commands to its
// hidden main window, clicking and typing into its Custom Settings window, and reading what it
// leaves in the registry. One line per scenario, then "N passed, M failed".
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSettings[] = "Software\\Quillbay";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const UINT kTrayCallback = WM_APP + 100;
const WPARAM kExit = 32777, kKodak = 32775, kJoystick = 32781, kCustom = 32778, kEnter = 32773;

std::string gExe;
std::vector<std::string> gProblems;

void Problem(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    gProblems.push_back(text);
}

#define CHECK(cond, ...)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            Problem(__VA_ARGS__);                                                                  \
    } while (0)

// Keeps this process's own windows alive while waiting.
void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

template <class Condition> bool WaitFor(Condition condition, DWORD ms) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Pump(20);
    }
    return true;
}

HWND MainWindow() {
    return FindWindowA("Vexor", nullptr);
}
HWND CustomWindow() {
    return FindWindowA("Custom", "Custom Settings");
}

bool ReadValue(const char* path, const char* name, DWORD* type, std::vector<BYTE>* data) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[1024];
    DWORD size = sizeof buffer;
    LONG r = RegQueryValueExA(key, name, nullptr, type, buffer, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    data->assign(buffer, buffer + size);
    return true;
}

long StoredDword(const char* name) {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(kSettings, name, &type, &data) || type != REG_DWORD || data.size() != 4)
        return -1000;
    long v;
    std::memcpy(&v, data.data(), 4);
    return v;
}

void ForgetEverything() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettings);
    HKEY run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRun, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, "Vexor_APP");
        RegCloseKey(run);
    }
}

struct Process {
    HANDLE handle = nullptr;
    DWORD Wait(DWORD ms) {
        if (!handle || WaitForSingleObject(handle, ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle, &code);
        return code;
    }
    ~Process() {
        if (handle && Wait(0) == STILL_ACTIVE)
            TerminateProcess(handle, 99);
        if (handle)
            CloseHandle(handle);
    }
};

bool Start(Process* p) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + gExe + "\"";
    if (!CreateProcessA(gExe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    p->handle = pi.hProcess;
    return true;
}

// Starts the program and waits for its hidden main window.
bool StartRunning(Process* p) {
    if (!Start(p)) {
        Problem("CreateProcess failed with %lu", GetLastError());
        return false;
    }
    if (!WaitFor([] { return MainWindow() != nullptr; }, 10000)) {
        Problem("no main window of class \"Vexor\" after 10 s");
        return false;
    }
    return true;
}

void Command(WPARAM id) {
    PostMessageA(MainWindow(), WM_COMMAND, id, 0);
}

void ExitAndCheck(Process* p) {
    Command(kExit);
    DWORD code = p->Wait(10000);
    CHECK(code == 0, "\"Exit\" left exit code %lu (259: still running)", code);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

std::string Text(HWND window) {
    char text[256] = {};
    // WM_GETTEXT is marshalled across processes; GetWindowTextA is not, for controls.
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

void Click(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Pump(200);
}

void Keys(std::initializer_list<BYTE> held, BYTE key) {
    for (BYTE h : held)
        keybd_event(h, 0, 0, 0);
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
    for (BYTE h : held)
        keybd_event(h, 0, KEYEVENTF_KEYUP, 0);
    Pump(200);
}

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
};

} // namespace

int main() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.find_last_of('\\'));
    char full[MAX_PATH];
    GetFullPathNameA((dir + "\\..\\Vexor2.exe").c_str(), MAX_PATH, full, nullptr);
    gExe = full;

    int passed = 0, failed = 0;
    for (const Scenario& s : kScenarios) {
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
