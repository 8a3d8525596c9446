// Custom Settings window: fifteen controls built in code, no private copy of the settings:
// radio buttons, Clear and captured keys change the live record at once, Save writes it.
#include "customui/custom_window.h"

#include "app/settings.h"
#include "customui/key_names.h"

#include <cstdio>
#include <iterator>

CustomWindow gCustomWindow;

namespace {

const char kInitialTimeLabel[] = "initial time(ms)";
const char kIntervalTimeLabel[] = "interval time(ms)";
const int kTextSize = 100;

struct ControlSpec {
    const char* className;
    const char* text;
    int id;
    int x, y, width, height;
    DWORD style;
    HWND CustomWindow::*handle; // where the window keeps it, if anywhere
};

const DWORD kKeyFieldStyle = WS_BORDER | ES_READONLY | ES_AUTOHSCROLL;

const ControlSpec kControls[] = {
    {"button", "Sequential", IdSequential, 5, 10, 90, 20, BS_AUTORADIOBUTTON, nullptr},
    {"button", "Send All", IdSendAll, 150, 10, 90, 20, BS_AUTORADIOBUTTON, nullptr},
    {"static", "", -1, 5, 35, 120, 20, SS_LEFT, &CustomWindow::timeLabel},
    {"edit", "1000", 0, 150, 35, 120, 20, WS_BORDER | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL,
     &CustomWindow::timeField},
    {"static", "Key1", -1, 5, 68, 35, 20, SS_LEFT, nullptr},
    {"edit", "", 0, 50, 65, 165, 20, kKeyFieldStyle, &CustomWindow::KeyField1},
    {"button", "Clear", IdClear1, 225, 65, 60, 20, BS_PUSHBUTTON, nullptr},
    {"static", "Key2", -1, 5, 107, 35, 20, SS_LEFT, nullptr},
    {"edit", "", 0, 50, 105, 165, 20, kKeyFieldStyle, &CustomWindow::KeyField2},
    {"button", "Clear", IdClear2, 225, 105, 60, 20, BS_PUSHBUTTON, nullptr},
    {"static", "Key3", -1, 5, 149, 35, 20, SS_LEFT, nullptr},
    {"edit", "", 0, 50, 145, 165, 20, kKeyFieldStyle, &CustomWindow::KeyField3},
    {"button", "Clear", IdClear3, 225, 148, 60, 20, BS_PUSHBUTTON, nullptr},
    {"button", "Save", IdSave, 25, 180, 80, 30, BS_PUSHBUTTON, nullptr},
    {"button", "Cancel", IdCancel, 185, 180, 80, 30, BS_PUSHBUTTON, nullptr},
};

void OnCreate(HWND window) {
    CustomWindow& w = gCustomWindow;
    w.window = window;
    w.font = CreateFontA(12, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, HANGUL_CHARSET,
                         OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS, DRAFT_QUALITY,
                         VARIABLE_PITCH | FF_ROMAN, "GULIM");
    HWND controls[std::size(kControls)];
    for (size_t i = 0; i < std::size(kControls); ++i) {
        const ControlSpec& c = kControls[i];
        controls[i] = CreateWindowExA(0, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, c.x,
                                      c.y, c.width, c.height, window,
                                      reinterpret_cast<HMENU>(intptr_t(c.id)), nullptr, nullptr);
        if (c.handle)
            w.*c.handle = controls[i];
    }
    // Without the font the controls keep the system font rather than get a null one.
    if (w.font)
        for (HWND control : controls)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), 0);
}

HWND KeyFieldOf(int slot) {
    const HWND fields[] = {gCustomWindow.KeyField1, gCustomWindow.KeyField2,
                           gCustomWindow.KeyField3};
    return fields[slot];
}

void Clear(int slot) {
    SetWindowTextA(KeyFieldOf(slot), "");
    gSettings.customKeys.keys[slot] = KeyStroke{};
}

void Save(HWND window) {
    char text[kTextSize] = {};
    GetWindowTextA(gCustomWindow.timeField, text, kTextSize - 1);
    gSettings.customKeys.time = ParseTime(text);
    SaveCustomSettings();
    ShowWindow(window, SW_HIDE);
}

void ChooseSendMode(const char* label, uint32_t sendMode) {
    SetWindowTextA(gCustomWindow.timeLabel, label);
    gSettings.customKeys.sendMode = sendMode;
}

LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IdClear1:
    case IdClear2:
    case IdClear3:
        Clear(LOWORD(wParam) - IdClear1);
        return 0;
    case IdSave:
        Save(window);
        return 0;
    case IdCancel:
        ShowWindow(window, SW_HIDE);
        return 0;
    case IdSequential:
        ChooseSendMode(kInitialTimeLabel, SendSequential);
        return 0;
    case IdSendAll:
        ChooseSendMode(kIntervalTimeLabel, SendAll);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int32_t ParseTime(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    int64_t value = 0;
    // Saturate: digits past the 32-bit range must not wrap into another time.
    for (; *p >= '0' && *p <= '9'; ++p)
        if (value <= INT32_MAX)
            value = value * 10 + (*p - '0');
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return int32_t(value);
}

void LoadCustomWindow() {
    LoadCustomSettings();
    const CustomKeySettings& s = gSettings.customKeys;
    HWND window = gCustomWindow.window;
    if (s.sendMode == SendSequential) {
        CheckRadioButton(window, IdSequential, IdSendAll, IdSequential);
        SetWindowTextA(gCustomWindow.timeLabel, kInitialTimeLabel);
    } else if (s.sendMode == SendAll) {
        CheckRadioButton(window, IdSequential, IdSendAll, IdSendAll);
        SetWindowTextA(gCustomWindow.timeLabel, kIntervalTimeLabel);
    }
    char text[kTextSize];
    std::snprintf(text, sizeof text, "%d", int(s.time));
    SetWindowTextA(gCustomWindow.timeField, text);
    for (int slot = 0; slot < 3; ++slot) {
        char name[kTextSize] = {};
        FormatKeyStroke(s.keys[slot], name, sizeof name);
        SetWindowTextA(KeyFieldOf(slot), name);
    }
}

LRESULT CALLBACK CustomWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_CLOSE:
    case WM_DESTROY:
        // The window lives as long as the process; closing only hides it.
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
