// Tray icon and its mode menu.
#pragma once

#include "win32api.h"

const UINT kTrayCallbackMessage = 32868;

void AddTrayIcon(HWND mainWindow);
void RemoveTrayIcon(HWND mainWindow);
LRESULT OnTrayCallback(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT OnMenuCommand(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam);
