// Custom Settings window: edits the custom key settings in place.
#pragma once

#include "win32api.h"

struct CustomWindow {
    HWND KeyField1 = nullptr;
    HWND KeyField2 = nullptr;
    HWND KeyField3 = nullptr;
};
extern CustomWindow gCustomWindow;

// Reloads the custom key settings from the registry and shows them in the window.
void LoadCustomWindow();
LRESULT CALLBACK CustomWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
