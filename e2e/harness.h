// What the end-to-end programs share: starting and stopping the real Vexor2.exe under Wine,
// driving its hidden main window, the focused window that stands for the imaging program, the
// stand-in UExProc.dll's switches, and the registry values the program keeps.
#pragma once

#include <windows.h>

#include "e2e/eva_control.h"

#include <initializer_list>
#include <string>
#include <vector>

const char kSettings[] = "Software\\Quillbay";
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const UINT kTrayCallback = WM_APP + 100;
const WPARAM kExit = 32777, kKodak = 32775, kJoystick = 32781, kCustom = 32778, kEnter = 32773;

extern std::string gExe;      // the build's Vexor2.exe
extern std::string gSuiteDir; // where these programs and the stand-in UExProc.dll are
extern std::vector<std::string> gProblems;
extern EvaControl* gEva;
extern HWND gViewer;
extern std::string gKeys; // what the viewer window received: "Alt+ F+ F- Alt-"
// The viewer's key-downs so far, and the message time (GetTickCount's clock) of the last one.
extern long gKeyDowns;
extern DWORD gLastKeyDownTime;

// Finds the program beside this one, maps the stand-in library's switches and opens the viewer.
void InitHarness();

void Problem(const char* format, ...);
#define CHECK(cond, ...)                                                                           \
    do {                                                                                           \
        if (!(cond))                                                                               \
            Problem(__VA_ARGS__);                                                                  \
    } while (0)

// Keeps this process's own windows alive while waiting.
void Pump(DWORD ms);

// Waits up to `ms` for `condition`, looking every `stepMs` (1 where a time is measured).
template <class Condition> bool WaitFor(Condition condition, DWORD ms, DWORD stepMs = 20) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Pump(stepMs);
    }
    return true;
}

HWND MainWindow();
HWND CustomWindow();
bool ReadValue(const char* path, const char* name, DWORD* type, std::vector<BYTE>* data);
long StoredDword(const char* name);
void ForgetEverything();

struct Process {
    HANDLE handle = nullptr;
    DWORD Wait(DWORD ms) {
        if (!handle || WaitForSingleObject(handle, ms) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(handle, &code);
        return code;
    }
    ~Process() {
        if (handle && Wait(0) == STILL_ACTIVE)
            TerminateProcess(handle, 99);
        if (handle)
            CloseHandle(handle);
    }
};

bool Start(Process* p, const std::string& exe = gExe);
// Starts the program and waits for its hidden main window.
bool StartRunning(Process* p, const std::string& exe = gExe);
void Command(WPARAM id);
void ExitAndCheck(Process* p);

std::vector<HWND> Children(HWND parent);
std::string Text(HWND window);
void Click(HWND window);
void Keys(std::initializer_list<BYTE> held, BYTE key);

void CreateViewer();
void TakeFocus();
// The dentist presses the camera's button and lets go; the program polls every 200 ms.
std::string HoldAndRelease(volatile LONG* button);
std::string PressCameraButton();
// A copy of the program in a folder of its own, with or without the vendor library beside it.
std::string Install(const char* folder, bool withEva);
void SetDword(const char* name, DWORD value);
void SetByte(const char* name, BYTE value);
void ChooseMode(WPARAM command, long mode);
