// The demo behind the README's first command: Vexor2.exe runs under Wine with a virtual camera
// behind the stand-in UExProc.dll, and a window standing for the imaging program shows the keys
// that arrive. Interactive from the terminal, or a fixed tour with --auto.
#include <windows.h>

#include "e2e/eva_control.h"
#include "support/key_label.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const UINT kTrayCallback = WM_APP + 100;
const UINT kInput = WM_APP + 1; // a line typed in the terminal, as its first character
EvaControl* gEva = nullptr;
HWND gViewer = nullptr, gShown = nullptr;
std::string gKeys;
std::string gPending; // terminal input that arrived while something else was pumping

struct Mode {
    char key;
    WPARAM command;
    const char* name;
} const kModes[] = {
    {'2', 32772, "Space"},
    {'3', 32773, "Enter"},
    {'4', 32774, "Schick(Alt+F, Alt+T)"},
    {'5', 32775, "Kodak(F5)"},
    {'6', 32776, "SIDEXIS"},
    {'7', 32788, "Alt+F, Alt+S"},
    {'8', 32780, "CDX View"},
    {'0', 32778, "Custom Settings"},
};

LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        gKeys += (gKeys.empty() ? "" : " ") + KeyLabel(unsigned(wParam)) + " down";
        SetWindowTextA(gShown, ("Received: " + gKeys).c_str());
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        gKeys += (gKeys.empty() ? "" : " ") + KeyLabel(unsigned(wParam)) + " up";
        SetWindowTextA(gShown, ("Received: " + gKeys).c_str());
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Pump(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == kInput) {
                gPending += char(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

void Focus() {
    SetForegroundWindow(gViewer);
    SetFocus(gViewer);
    Pump(100);
}

void PressButton() {
    gKeys.clear();
    Focus();
    gEva->buttonDown = 1;
    Pump(400);
    gEva->buttonDown = 0;
    Pump(600);
    std::printf("  camera button -> %s\n", gKeys.empty() ? "(nothing)" : gKeys.c_str());
    std::fflush(stdout);
}

void ChooseMode(const Mode& m) {
    PostMessageA(FindWindowA("Vexor", nullptr), WM_COMMAND, m.command, 0);
    Pump(300);
    std::printf("mode: %s\n", m.name);
    std::fflush(stdout);
}

DWORD WINAPI ReadTerminal(LPVOID mainThread) {
    char line[64];
    while (std::fgets(line, sizeof line, stdin))
        PostThreadMessageA(DWORD(reinterpret_cast<uintptr_t>(mainThread)), kInput,
                           WPARAM(line[0] == '\n' ? 'p' : line[0]), 0);
    PostThreadMessageA(DWORD(reinterpret_cast<uintptr_t>(mainThread)), kInput, 'q', 0);
    return 0;
}

bool Install(std::string* exe) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.find_last_of('\\'));
    CreateDirectoryA("C:\\vexor_demo", nullptr);
    *exe = "C:\\vexor_demo\\Vexor2.exe";
    return CopyFileA((dir + "\\..\\Vexor2.exe").c_str(), exe->c_str(), FALSE) &&
           CopyFileA((dir + "\\UExProc.dll").c_str(), "C:\\vexor_demo\\UExProc.dll", FALSE);
}

} // namespace

int main(int argc, char** argv) {
    bool automatic = argc > 1 && std::strcmp(argv[1], "--auto") == 0;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(EvaControl), kEvaControlName);
    gEva = static_cast<EvaControl*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(EvaControl)));
    gEva->connected = 1;

    std::string exe;
    if (!Install(&exe)) {
        std::printf("could not install Vexor2.exe and UExProc.dll into C:\\vexor_demo\n");
        return 1;
    }
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "Vexor2DemoViewer";
    RegisterClassExA(&wc);
    gViewer = CreateWindowExA(0, wc.lpszClassName, "Imaging program (keys from Vexor2)",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 200, 150, 560, 140, nullptr,
                              nullptr, wc.hInstance, nullptr);
    gShown = CreateWindowExA(0, "STATIC", "Received: (nothing yet)", WS_CHILD | WS_VISIBLE, 10, 10,
                             530, 80, gViewer, nullptr, wc.hInstance, nullptr);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        "C:\\vexor_demo", &si, &pi)) {
        std::printf("could not start %s\n", exe.c_str());
        return 1;
    }
    for (int i = 0; i < 100 && !FindWindowA("Vexor", nullptr); ++i)
        Pump(100);
    std::printf("Vexor2 is running in the notification area, with a virtual camera.\n");

    if (automatic) {
        for (const Mode& m : kModes) {
            ChooseMode(m);
            PressButton();
            if (m.command == 32774 || m.command == 32776)
                PressButton(); // the alternating modes' second combination
        }
    } else {
        std::printf("Enter: press the camera button   2-8: pick a mode   0: Custom Settings   "
                    "m: open the tray menu   q: quit\n");
        CreateThread(nullptr, 0, ReadTerminal,
                     reinterpret_cast<LPVOID>(uintptr_t(GetCurrentThreadId())), 0, nullptr);
        for (bool running = true; running;) {
            char c;
            if (!gPending.empty()) {
                c = gPending[0];
                gPending.erase(0, 1);
            } else {
                MSG msg;
                if (GetMessageA(&msg, nullptr, 0, 0) <= 0)
                    break;
                if (msg.message != kInput) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                    continue;
                }
                c = char(msg.wParam);
            }
            if (c == 'q')
                running = false;
            else if (c == 'p')
                PressButton();
            else if (c == 'm')
                PostMessageA(FindWindowA("Vexor", nullptr), kTrayCallback, 0, WM_RBUTTONDOWN);
            for (const Mode& m : kModes)
                if (m.key == c)
                    ChooseMode(m);
        }
    }
    PostMessageA(FindWindowA("Vexor", nullptr), WM_COMMAND, 32777, 0); // "Exit"
    DWORD code = 1;
    if (WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    std::printf("Vexor2 exited with code %lu\n", code);
    return int(code);
}
