// The hidden main window: owns the tray icon and the poll timer, and polls the attached button
// source on every tick.
#include "app/shell.h"

#include "app/tray.h"
#include "customui/custom_window.h"
#include "keyout/key_action.h"
#include "resources/resource_ids.h"
#include "sources/button_source.h"

Shell gShell;

void RegisterWindowClasses(HINSTANCE instance) {
    WNDCLASSEXA custom = {};
    custom.cbSize = sizeof custom;
    custom.style = CS_HREDRAW | CS_VREDRAW;
    custom.lpfnWndProc = CustomWindowProc;
    custom.hInstance = instance;
    custom.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    custom.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    custom.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    custom.lpszClassName = "Custom";
    custom.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    if (!RegisterClassExA(&custom))
        MessageBoxA(nullptr, "Reg Error", nullptr, MB_OK);

    WNDCLASSEXA main = {};
    main.cbSize = sizeof main;
    main.style = CS_HREDRAW | CS_VREDRAW;
    main.lpfnWndProc = MainWindowProc;
    main.hInstance = instance;
    main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VEXOR2));
    main.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    main.lpszClassName = gShell.className;
    main.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
    // A failure here shows up as the main window's failed creation.
    RegisterClassExA(&main);
}

// Exactly one source per tick, in order of precedence; at most one key action.
void PollOnce() {
    if (gButtonSource.registerSource) {
        if (PollRegisterButton())
            RunKeyAction();
    } else if (gButtonSource.evaSource) {
        if (PollEvaButton() > 0)
            RunKeyAction();
    } else if (gButtonSource.captureDevice) {
        if (gButtonSource.captureDevice->Poll())
            RunKeyAction();
    }
}

namespace {

void OnDestroy(HWND window) {
    RemoveTrayIcon(window);
    PostQuitMessage(0);
    KillTimer(window, kPollTimerId);
}

void OnPaint(HWND window) {
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Explorer restarted and lost every icon: without ours the user could neither change the
    // mode nor end the program.
    if (IsTaskbarCreated(message)) {
        AddTrayIcon(window);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        AddTrayIcon(window);
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_TIMER:
        if (wParam == kPollTimerId) {
            RetryTrayIcon(window);
            PollOnce();
        }
        return 0;
    case WM_DEVICECHANGE:
        AttachButtonSource();
        return 0;
    case kTrayCallbackMessage:
        return OnTrayCallback(window, message, wParam, lParam);
    case WM_COMMAND:
        return OnMenuCommand(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
