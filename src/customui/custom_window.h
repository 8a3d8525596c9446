// Custom Settings window: edits the live custom key settings in place and saves them.
#pragma once

#include "win32api.h"

#include <cstdint>

// Control ids; the labels and edit fields send nothing the window acts on.
enum : int {
    IdClear1 = 1001,
    IdClear2 = 1002,
    IdClear3 = 1003,
    IdSave = 1004,
    IdCancel = 1005,
    IdSequential = 1006,
    IdSendAll = 1007,
};

struct CustomWindow {
    HWND window = nullptr;
    HFONT font = nullptr; // created once with the window, kept for the process's life
    HWND timeLabel = nullptr;
    HWND timeField = nullptr;
    HWND KeyField1 = nullptr;
    HWND KeyField2 = nullptr;
    HWND KeyField3 = nullptr;
};
extern CustomWindow gCustomWindow;

// Reloads the custom key settings from the registry and shows them in the window.
void LoadCustomWindow();
LRESULT CALLBACK CustomWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// atoi's rules (white space, sign, digits), saturating at the 32-bit range.
int32_t ParseTime(const char* text);
