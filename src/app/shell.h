// Application shell: start-up, the hidden main window with its poll timer, the message loop.
#pragma once

#include "win32api.h"

const UINT_PTR kPollTimerId = 0;
const UINT kPollPeriodMs = 200;

struct Shell {
    HINSTANCE instance = nullptr;
    char className[100] = {};
    HWND mainWindow = nullptr;
    HWND customWindow = nullptr;    // 0 when its creation failed
    HANDLE instanceMutex = nullptr; // held until the process ends
};
extern Shell gShell;

void RegisterWindowClasses(HINSTANCE instance);
void RegisterAutostart();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PollOnce();
int RunMessageLoop();
