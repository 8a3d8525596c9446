// Tray icon, mode menu and About box. The menu is loaded fresh at each opening, so its radio
// mark always shows the mode of that moment; commands are recognised by id.
#include "app/tray.h"

#include "app/settings.h"
#include "app/shell.h"
#include "customui/custom_window.h"
#include "keyout/joystick.h"
#include "resources/resource_ids.h"

#include <cstring>

Tray gTray;

// The shell reads the whole ANSI record; its 32-bit layout is 508 bytes.
static_assert(sizeof(void*) != 4 || sizeof(NOTIFYICONDATAA) == 508, "NOTIFYICONDATAA layout");

namespace {

const char kTip[] = "Vexor2";
const UINT kFirstModePosition = 2, kLastModePosition = 10;

NOTIFYICONDATAA IconRecord(HWND mainWindow) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = mainWindow;
    nid.uID = 0;
    return nid;
}

void ShowModeMenu(HWND mainWindow) {
    HMENU menu = LoadMenuA(gShell.instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(mainWindow);
    // A mode's position is its id; a ModeId outside 2..10 marks nothing.
    CheckMenuRadioItem(popup, kFirstModePosition, kLastModePosition, UINT(gSettings.modeId),
                       MF_BYPOSITION);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0,
                   mainWindow, nullptr);
    SetForegroundWindow(mainWindow);
    DestroyMenu(menu);
}

// An elevated copy runs above Explorer's integrity level, and the system drops Explorer's
// "TaskbarCreated" on its way to us unless the window lets it through. user32 has the filter
// since Windows 7; older systems have none to pass.
void AllowTaskbarCreated(HWND mainWindow) {
    typedef BOOL(WINAPI * FilterFunction)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
    HMODULE user = GetModuleHandleA("user32.dll");
    if (!user)
        return;
    // Through the one function type that converts to any other without a warning.
    auto allow = reinterpret_cast<FilterFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(user, "ChangeWindowMessageFilterEx")));
    if (allow)
        allow(mainWindow, gTray.taskbarCreated, MSGFLT_ALLOW, nullptr);
}

} // namespace

void AddTrayIcon(HWND mainWindow) {
    if (!gTray.taskbarCreated) {
        gTray.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
        if (gTray.taskbarCreated)
            AllowTaskbarCreated(mainWindow);
    }
    NOTIFYICONDATAA nid = IconRecord(mainWindow);
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayCallbackMessage;
    nid.hIcon = LoadIconA(gShell.instance, MAKEINTRESOURCEA(IDI_TRAY));
    std::memcpy(nid.szTip, kTip, sizeof kTip);
    gTray.lastTry = timeGetTime();
    // At logon the shell may not take icons yet; a refused add is tried again from the poll
    // timer. An add refused because the shell already shows our icon is no failure.
    gTray.iconShown = Shell_NotifyIconA(NIM_ADD, &nid) || Shell_NotifyIconA(NIM_MODIFY, &nid);
}

void RetryTrayIcon(HWND mainWindow) {
    if (gTray.iconShown || timeGetTime() - gTray.lastTry < kTrayRetryMs)
        return;
    AddTrayIcon(mainWindow);
}

void RemoveTrayIcon(HWND mainWindow) {
    NOTIFYICONDATAA nid = IconRecord(mainWindow);
    Shell_NotifyIconA(NIM_DELETE, &nid);
    gTray.iconShown = false;
}

bool IsTaskbarCreated(UINT message) {
    return gTray.taskbarCreated != 0 && message == gTray.taskbarCreated;
}

LRESULT OnTrayCallback(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam) {
    if (lParam == WM_LBUTTONDOWN || lParam == WM_RBUTTONDOWN)
        ShowModeMenu(mainWindow);
    return DefWindowProcA(mainWindow, message, wParam, lParam);
}

LRESULT OnMenuCommand(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        DialogBoxParamA(gShell.instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), mainWindow, AboutProc, 0);
        break;
    case IDM_SPACE:
        gSettings.modeId = ModeSpace;
        break;
    case IDM_ENTER:
        gSettings.modeId = ModeEnter;
        break;
    case IDM_SCHICK:
        gSettings.modeId = ModeSchick;
        break;
    case IDM_KODAK:
        gSettings.modeId = ModeKodak;
        break;
    case IDM_SIDEXIS:
        gSettings.modeId = ModeSidexis;
        break;
    case IDM_ALTF_ALTS:
        gSettings.modeId = ModeAltFAltS;
        break;
    case IDM_CDXVIEW:
        gSettings.modeId = ModeCdxView;
        break;
    case IDM_JOYSTICK:
        gSettings.modeId = ModeJoystick;
        OpenVirtualJoystick();
        break;
    case IDM_CUSTOM:
        LoadCustomWindow();
        ShowWindow(gShell.customWindow, SW_SHOW);
        gSettings.modeId = ModeCustom;
        break;
    case IDM_EXIT:
        DestroyWindow(mainWindow);
        break;
    default:
        return DefWindowProcA(mainWindow, message, wParam, lParam);
    }
    SaveModeId();
    return 0;
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
