// The end-to-end programs' shared harness.
#include "e2e/harness.h"

#include "support/key_label.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

std::string gExe;
std::string gSuiteDir;
std::vector<std::string> gProblems;
EvaControl* gEva = nullptr;
HWND gViewer = nullptr;
std::string gKeys;
long gKeyDowns = 0;
DWORD gLastKeyDownTime = 0;

void InitHarness() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.find_last_of('\\'));
    gSuiteDir = dir;
    char full[MAX_PATH];
    GetFullPathNameA((dir + "\\..\\Vexor2.exe").c_str(), MAX_PATH, full, nullptr);
    gExe = full;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(EvaControl), kEvaControlName);
    gEva = static_cast<EvaControl*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(EvaControl)));
    CreateViewer();
}

void Problem(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    gProblems.push_back(text);
}

// Keeps this process's own windows alive while waiting, answering each message as it comes.
void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
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

bool Start(Process* p, const std::string& exe) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + exe + "\"";
    // Started in C:\\ as the shell's autostart would: the suite's own folder (which holds the
    // stand-in library) must not be where the program finds it.
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, "C:\\",
                        &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    p->handle = pi.hProcess;
    return true;
}

// Starts the program and waits for its hidden main window.
bool StartRunning(Process* p, const std::string& exe) {
    if (!Start(p, exe)) {
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

namespace {

// The window that stands for the imaging program: it has the focus and records every key.
LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (!gKeys.empty())
            gKeys += ' ';
        gKeys +=
            KeyLabel(unsigned(wParam)) + (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN ? "+" : "-");
        if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) {
            ++gKeyDowns;
            gLastKeyDownTime = DWORD(GetMessageTime());
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

void CreateViewer() {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Vexor2KeyViewer";
    RegisterClassExA(&wc);
    gViewer =
        CreateWindowExA(0, wc.lpszClassName, "Imaging program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        400, 100, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
}

void TakeFocus() {
    SetForegroundWindow(gViewer);
    SetFocus(gViewer);
    Pump(200);
    gKeys.clear();
}

// The dentist presses the camera's button and lets go; the program polls every 200 ms.
std::string HoldAndRelease(volatile LONG* button) {
    gKeys.clear();
    *button = 1;
    Pump(500);
    *button = 0;
    Pump(500);
    return gKeys;
}

std::string PressCameraButton() {
    return HoldAndRelease(&gEva->buttonDown);
}

// A copy of the program in a folder of its own, with or without the vendor library beside it.
std::string Install(const char* folder, bool withEva) {
    std::string dir = std::string("C:\\vexor_e2e\\") + folder;
    CreateDirectoryA("C:\\vexor_e2e", nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string exe = dir + "\\Vexor2.exe";
    CHECK(CopyFileA(gExe.c_str(), exe.c_str(), FALSE), "copying Vexor2.exe failed");
    std::string dll = dir + "\\UExProc.dll";
    if (withEva)
        CHECK(CopyFileA((gSuiteDir + "\\UExProc.dll").c_str(), dll.c_str(), FALSE),
              "copying UExProc.dll failed");
    else
        DeleteFileA(dll.c_str());
    return exe;
}

void SetDword(const char* name, DWORD value) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

void SetByte(const char* name, BYTE value) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, name, 0, REG_BINARY, &value, 1);
    RegCloseKey(key);
}

void ChooseMode(WPARAM command, long mode) {
    Command(command);
    CHECK(WaitFor([mode] { return StoredDword("key") == mode; }, 3000),
          "command %u did not store mode %ld", unsigned(command), mode);
}
