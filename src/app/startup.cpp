// Start-up: single instance, settings, the two hidden windows, autostart, the message loop.
#include "app/shell.h"

#include "app/settings.h"
#include "customui/custom_window.h"
#include "customui/key_capture.h"
#include "resources/resource_ids.h"
#include "sources/button_source.h"

#include <cstring>

namespace {

const char kInstanceMutexName[] = "Vexor2";
const char kRunKeyPath[] = "Software\\MicroSoft\\Windows\\CurrentVersion\\Run\\";
const int kCustomWidth = 300, kCustomHeight = 250;

bool IsKeyField(HWND window) {
    // A key field that was never created is 0 and must not match "no focus".
    return window && (window == gCustomWindow.KeyField1 || window == gCustomWindow.KeyField2 ||
                      window == gCustomWindow.KeyField3);
}

// Another copy already runs, in this session or (access denied) under another security
// context such as an elevated one: either way a second copy would send every key twice.
bool AnotherCopyRuns() {
    gShell.instanceMutex = CreateMutexA(nullptr, FALSE, kInstanceMutexName);
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || (!gShell.instanceMutex && error == ERROR_ACCESS_DENIED)) {
        if (gShell.instanceMutex)
            CloseHandle(gShell.instanceMutex);
        gShell.instanceMutex = nullptr;
        return true;
    }
    return false;
}

void CreateCustomWindow() {
    int x = (GetSystemMetrics(SM_CXMAXIMIZED) - kCustomWidth) / 2;
    int y = (GetSystemMetrics(SM_CYMAXIMIZED) - kCustomHeight) / 2;
    gShell.customWindow =
        CreateWindowExA(0, "Custom", "Custom Settings", WS_CAPTION, x, y, kCustomWidth,
                        kCustomHeight, nullptr, nullptr, gShell.instance, nullptr);
    if (!gShell.customWindow)
        MessageBoxA(nullptr, "Create Error", nullptr, MB_OK);
}

} // namespace

void RegisterAutostart() {
    // The value is a command line: quoted, so that a path with spaces ("Program Files") cannot
    // start C:\Program.exe in our place.
    char command[1 + MAX_PATH + 1] = "\"";
    char* path = command + 1;
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), path, MAX_PATH);
    // A cut path would start the wrong program at logon: write nothing then.
    if (length == 0 || length >= MAX_PATH)
        return;
    path[length] = '"';
    path[length + 1] = '\0';
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Vexor_APP", 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                   DWORD(std::strlen(command) + 1));
    RegCloseKey(key);
}

int RunMessageLoop() {
    MSG msg = {};
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            return int(msg.wParam);
        if (got == -1) {
            // The message was not filled in: dispatch nothing and shut down as on WM_QUIT,
            // taking the tray icon and the timer down with the window.
            if (gShell.mainWindow && IsWindow(gShell.mainWindow))
                DestroyWindow(gShell.mainWindow);
            return 0;
        }
        // Only key-downs can be diverted; the focus is asked for those alone, not for every
        // timer message.
        HWND focus =
            msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN ? GetFocus() : nullptr;
        if (IsKeyField(focus)) {
            CaptureKeyStroke(focus, msg.wParam);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Libraries load from the program's folder and the system only, never from whatever
    // directory the program was started in.
    SetDllDirectoryA("");
    LoadStringA(instance, IDS_APP_TITLE, gShell.className, sizeof gShell.className);
    RegisterWindowClasses(instance);
    if (AnotherCopyRuns())
        return 0;
    LoadStartupSettings();
    gShell.instance = instance; // the main window's WM_CREATE loads the tray icon with it
    gShell.mainWindow =
        CreateWindowExA(0, gShell.className, nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!gShell.mainWindow)
        return 0;
    SetTimer(gShell.mainWindow, kPollTimerId, kPollPeriodMs, nullptr);
    CreateCustomWindow();
    RegisterAutostart();
    AttachButtonSource();
    int exitCode = RunMessageLoop();
    DetachButtonSource();
    return exitCode;
}
