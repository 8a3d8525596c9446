// Tray icon, its mode menu and the About box: the program's only visible presence.
#pragma once

#include "win32api.h"

const UINT kTrayCallbackMessage = WM_APP + 100; // 32868

struct Tray {
    UINT taskbarCreated = 0; // Explorer's "TaskbarCreated", registered with the first icon
    bool iconShown = false;  // the shell took the icon
    DWORD lastTry = 0;       // when the icon was last offered to the shell
};
extern Tray gTray;

// How often a program whose icon the shell refused (at logon it may not be ready yet) offers
// it again.
const DWORD kTrayRetryMs = 1000;

void AddTrayIcon(HWND mainWindow);
// On a poll tick: offers the icon again while the shell has not taken it, once a second.
void RetryTrayIcon(HWND mainWindow);
void RemoveTrayIcon(HWND mainWindow);
// True for the message Explorer sends when it has recreated the notification area.
bool IsTaskbarCreated(UINT message);
LRESULT OnTrayCallback(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT OnMenuCommand(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
