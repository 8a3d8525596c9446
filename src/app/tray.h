// Tray icon, its mode menu and the About box: the program's only visible presence.
#pragma once

#include "win32api.h"

const UINT kTrayCallbackMessage = WM_APP + 100; // 32868

struct Tray {
    UINT taskbarCreated = 0; // Explorer's "TaskbarCreated", registered with the first icon
};
extern Tray gTray;

void AddTrayIcon(HWND mainWindow);
void RemoveTrayIcon(HWND mainWindow);
// True for the message Explorer sends when it has recreated the notification area.
bool IsTaskbarCreated(UINT message);
LRESULT OnTrayCallback(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT OnMenuCommand(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
