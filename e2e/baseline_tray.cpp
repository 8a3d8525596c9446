// The floor the program is measured against: a Windows program that does nothing but own a tray
// icon and a 200 ms timer, built with the same compiler and, like Vexor2.exe, linked statically.
// Built with BASELINE_CAMERA_SEARCH (BaselineSearch.exe) it also does, once at start, the system
// work of a camera search that finds nothing (COM left initialised, the HID interfaces listed
// with SetupAPI, the video input devices with DirectShow's device enumerator, the timer at 1 ms):
// what the program's working set holds of system libraries rather than of its own.
#include <windows.h>

#include <cstring>

#ifdef BASELINE_CAMERA_SEARCH
#define NO_DSHOW_STRSAFE // keep the C library's strcpy usable
#include <dshow.h>
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>
#endif

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
#ifdef BASELINE_CAMERA_SEARCH
        timeGetTime();
#endif
        return 0;
    case WM_DESTROY:
        KillTimer(window, kTimerId);
        Shell_NotifyIconA(NIM_DELETE, &nid);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

#ifdef BASELINE_CAMERA_SEARCH
void SearchForACamera() {
    CoInitialize(nullptr);
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA item = {};
        item.cbSize = sizeof item;
        for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid, i, &item); ++i) {
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    ICreateDevEnum* devices = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, reinterpret_cast<void**>(&devices)))) {
        IEnumMoniker* monikers = nullptr;
        if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
            IMoniker* moniker = nullptr;
            while (monikers->Next(1, &moniker, nullptr) == S_OK) {
                IPropertyBag* bag = nullptr;
                if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                     reinterpret_cast<void**>(&bag)))) {
                    VARIANT name;
                    VariantInit(&name);
                    bag->Read(L"FriendlyName", &name, nullptr);
                    VariantClear(&name);
                    bag->Release();
                }
                moniker->Release();
            }
            monikers->Release();
        }
        devices->Release();
    }
    timeBeginPeriod(1);
}
#endif

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = instance;
#ifdef BASELINE_CAMERA_SEARCH
    SearchForACamera();
    wc.lpszClassName = "VexorBaselineSearch";
#else
    wc.lpszClassName = "VexorBaselineTray";
#endif
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
