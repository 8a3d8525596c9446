// The floor the program is measured against: a Windows program that does nothing but own a tray
// icon and a 200 ms timer, built with the same compiler and link options as Vexor2.exe.
#include <windows.h>

#include <cstring>

namespace {

const UINT kTimerId = 1, kPeriodMs = 200;

LRESULT CALLBACK BaselineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    NOTIFYICONDATAA nid;
    std::memset(&nid, 0, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    switch (message) {
    case WM_CREATE:
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = WM_APP + 100;
        nid.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        std::strcpy(nid.szTip, "Baseline");
        Shell_NotifyIconA(NIM_ADD, &nid);
        SetTimer(window, kTimerId, kPeriodMs, nullptr);
        return 0;
    case WM_TIMER:
        return 0;
    case WM_DESTROY:
        KillTimer(window, kTimerId);
        Shell_NotifyIconA(NIM_DELETE, &nid);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = instance;
    wc.lpszClassName = "VexorBaselineTray";
    RegisterClassExA(&wc);
    if (!CreateWindowExA(0, wc.lpszClassName, "Baseline", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                         nullptr, nullptr, instance, nullptr))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
