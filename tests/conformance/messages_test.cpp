// Message-loop behaviour the program relies on: timer id 0 ticking as WM_TIMER through
// GetMessageA, also inside a message box's modal loop, and injected keys arriving at the
// focused window with GetKeyState following them.
#include "ok.h"

#include "win32api.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    bool shift, control, alt;
};

int gTicks = 0;
WPARAM gTimerId = 99;
std::vector<Seen> gKeys;
const char kBoxCaption[] = "Vexor2 conformance";

LRESULT CALLBACK TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        gTimerId = wParam;
        if (++gTicks == 3) {
            // Close the message box, if one is open, from inside its own modal loop.
            if (HWND box = FindWindowA("#32770", kBoxCaption))
                PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        gKeys.push_back(Seen{msg, wParam, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0,
                             GetKeyState(VK_MENU) < 0});
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A top-level window of the class `className`, registered with `proc` on first use.
HWND CreateWindowOfClass(const char* className, WNDPROC proc, const char* title, DWORD style) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassExA(&wc); // a second registration fails harmlessly
    return CreateWindowExA(0, className, title, style, 10, 10, 200, 100, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

HWND CreateTestWindow(bool visible) {
    return CreateWindowOfClass("Vexor2ConformanceWindow", TestProc, "conformance",
                               WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0));
}

// Injected input may arrive a little later: pump until `done` or 2 s passed.
template <typename Done> void PumpUntil(Done done) {
    DWORD start = GetTickCount();
    MSG msg;
    while (!done() && GetTickCount() - start < 2000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
}

void Inject(const BYTE (*keys)[2], size_t count) {
    for (size_t i = 0; i < count; ++i)
        keybd_event(keys[i][0], 0, keys[i][1] ? KEYEVENTF_KEYUP : 0, 0);
}

} // namespace

CONFORMANCE_TEST(timer_id_zero_through_get_message) {
    HWND hwnd = CreateTestWindow(false);
    ok(hwnd != nullptr, "CreateWindowExA failed with %lu", (unsigned long)GetLastError());
    gTicks = 0;
    ok(SetTimer(hwnd, 0, 50, nullptr) != 0, "SetTimer failed");
    DWORD start = GetTickCount();
    MSG msg;
    int timerMessages = 0;
    while (gTicks < 3 && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd) {
            ++timerMessages;
            ok(msg.wParam == 0, "WM_TIMER id %lu", (unsigned long)msg.wParam);
        }
        DispatchMessageA(&msg);
    }
    DWORD elapsed = GetTickCount() - start;
    ok(timerMessages == 3 && gTimerId == 0, "%d timer messages, last id %lu", timerMessages,
       (unsigned long)gTimerId);
    ok(elapsed >= 100, "three 50 ms ticks took only %lu ms", (unsigned long)elapsed);
    ok(KillTimer(hwnd, 0), "KillTimer failed");
    DestroyWindow(hwnd);
}

CONFORMANCE_TEST(timer_ticks_inside_message_box) {
    HWND hwnd = CreateTestWindow(false);
    gTicks = 0;
    SetTimer(hwnd, 0, 50, nullptr);
    int answer = MessageBoxA(nullptr, "Create Error", kBoxCaption, MB_OK);
    ok(gTicks >= 3, "only %d ticks were dispatched while the box was open", gTicks);
    ok(answer == IDOK, "MessageBoxA returned %d", answer);
    KillTimer(hwnd, 0);
    DestroyWindow(hwnd);
}

CONFORMANCE_TEST(injected_keys_reach_focus_window) {
    HWND hwnd = CreateTestWindow(true);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    ok(GetFocus() == hwnd, "focus is %p, not the window", (void*)GetFocus());
    gKeys.clear();
    const BYTE sequence[][2] = {{VK_SHIFT, 0}, {'A', 0}, {'A', 1}, {VK_SHIFT, 1},
                                {VK_MENU, 0},  {'F', 0}, {'F', 1}, {VK_MENU, 1}};
    Inject(sequence, std::size(sequence));
    PumpUntil([] { return gKeys.size() >= 8; });
    ok(gKeys.size() == 8, "%u key messages arrived", (unsigned)gKeys.size());
    if (gKeys.size() == 8) {
        ok(gKeys[0].message == WM_KEYDOWN && gKeys[0].wParam == VK_SHIFT && gKeys[0].shift,
           "Shift down: msg %#x vk %#lx shift %d", gKeys[0].message, (unsigned long)gKeys[0].wParam,
           gKeys[0].shift);
        ok(gKeys[1].message == WM_KEYDOWN && gKeys[1].wParam == 'A' && gKeys[1].shift,
           "A down with Shift held: msg %#x vk %#lx shift %d", gKeys[1].message,
           (unsigned long)gKeys[1].wParam, gKeys[1].shift);
        ok(gKeys[2].message == WM_KEYUP && gKeys[2].shift, "A up: msg %#x shift %d",
           gKeys[2].message, gKeys[2].shift);
        ok(gKeys[3].message == WM_KEYUP && !gKeys[3].shift, "Shift up: msg %#x shift %d",
           gKeys[3].message, gKeys[3].shift);
        ok(gKeys[4].message == WM_SYSKEYDOWN && gKeys[4].wParam == VK_MENU && gKeys[4].alt,
           "Alt down: msg %#x alt %d", gKeys[4].message, gKeys[4].alt);
        ok(gKeys[5].message == WM_SYSKEYDOWN && gKeys[5].wParam == 'F' && gKeys[5].alt,
           "F down with Alt held: msg %#x alt %d", gKeys[5].message, gKeys[5].alt);
        ok((gKeys[6].message == WM_SYSKEYUP || gKeys[6].message == WM_KEYUP) && gKeys[6].alt,
           "F up: msg %#x alt %d", gKeys[6].message, gKeys[6].alt);
        ok((gKeys[7].message == WM_SYSKEYUP || gKeys[7].message == WM_KEYUP) && !gKeys[7].alt,
           "Alt up: msg %#x alt %d", gKeys[7].message, gKeys[7].alt);
    }
    DestroyWindow(hwnd);
}

namespace {

std::vector<UINT> gCreation;
LRESULT gDefaultNcCreate = -2;

// Swallows WM_NCCREATE when told to, as a procedure without a default branch would.
bool gSwallow = false;
LRESULT CALLBACK CreationProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE || msg == WM_CREATE)
        gCreation.push_back(msg);
    if (msg == WM_NCCREATE) {
        if (gSwallow)
            return 0;
        gDefaultNcCreate = DefWindowProcA(hwnd, msg, wParam, lParam);
        return gDefaultNcCreate;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND CreateCreationWindow() {
    gCreation.clear();
    return CreateWindowOfClass("Vexor2ConformanceCreation", CreationProc, "created",
                               WS_OVERLAPPEDWINDOW);
}

} // namespace

CONFORMANCE_TEST(window_creation_asks_nccreate_first) {
    gSwallow = false;
    HWND hwnd = CreateCreationWindow();
    ok(hwnd != nullptr, "CreateWindowExA failed with %lu", (unsigned long)GetLastError());
    ok(gCreation.size() == 2 && gCreation[0] == WM_NCCREATE && gCreation[1] == WM_CREATE,
       "%u creation messages, first %#x", (unsigned)gCreation.size(),
       gCreation.empty() ? 0u : gCreation[0]);
    ok(gDefaultNcCreate == TRUE, "DefWindowProcA answered WM_NCCREATE %ld", (long)gDefaultNcCreate);
    // The window's text is set by that default handling.
    char text[16] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    ok(!std::strcmp(text, "created"), "window text '%s'", text);
    DestroyWindow(hwnd);

    gSwallow = true;
    hwnd = CreateCreationWindow();
    ok(hwnd == nullptr, "a swallowed WM_NCCREATE still created %p", (void*)hwnd);
    ok(gCreation.size() == 1, "%u creation messages after a refused WM_NCCREATE",
       (unsigned)gCreation.size());
    if (hwnd)
        DestroyWindow(hwnd);
    gSwallow = false;
}

// F10 is a system key on its own; with Ctrl and Alt both down keys are plain ones.
CONFORMANCE_TEST(system_keys_f10_and_ctrl_alt) {
    HWND hwnd = CreateTestWindow(true);
    SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    gKeys.clear();
    const BYTE sequence[][2] = {{VK_F10, 0}, {VK_F10, 1}, {VK_CONTROL, 0}, {VK_MENU, 0},
                                {'K', 0},    {'K', 1},    {VK_MENU, 1},    {VK_CONTROL, 1}};
    Inject(sequence, std::size(sequence));
    PumpUntil([] { return gKeys.size() >= 8; });
    ok(gKeys.size() == 8, "%u key messages arrived", (unsigned)gKeys.size());
    if (gKeys.size() == 8) {
        ok(gKeys[0].message == WM_SYSKEYDOWN && gKeys[0].wParam == VK_F10, "F10 down: msg %#x",
           gKeys[0].message);
        ok(gKeys[1].message == WM_SYSKEYUP && gKeys[1].wParam == VK_F10, "F10 up: msg %#x",
           gKeys[1].message);
        ok(gKeys[4].message == WM_KEYDOWN && gKeys[4].wParam == 'K' && gKeys[4].control &&
               gKeys[4].alt,
           "K down with Ctrl and Alt: msg %#x ctrl %d alt %d", gKeys[4].message, gKeys[4].control,
           gKeys[4].alt);
        ok(gKeys[5].message == WM_KEYUP && gKeys[5].wParam == 'K', "K up: msg %#x",
           gKeys[5].message);
    }
    DestroyWindow(hwnd);
}

namespace {

std::vector<UINT> gTopSaw, gChildSaw;
HWND gCloseTop = nullptr;

// Records what a top-level window and its child hear of Alt+F4; neither closes for real.
LRESULT CALLBACK CloseProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::vector<UINT>& saw = hwnd == gCloseTop ? gTopSaw : gChildSaw;
    if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        saw.push_back(msg);
    if (msg == WM_CLOSE) {
        saw.push_back(msg);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

CONFORMANCE_TEST(alt_f4_asks_the_top_level_window) {
    const char closeClass[] = "Vexor2ConformanceClose";
    HWND top = CreateWindowOfClass(closeClass, CloseProc, "top", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    gCloseTop = top;
    HWND field = CreateWindowExA(0, closeClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(top);
    SetFocus(field);
    ok(GetFocus() == field, "focus is %p, not the child", (void*)GetFocus());
    gTopSaw.clear();
    gChildSaw.clear();
    const BYTE sequence[][2] = {{VK_MENU, 0}, {VK_F4, 0}, {VK_F4, 1}, {VK_MENU, 1}};
    Inject(sequence, std::size(sequence));
    PumpUntil([] { return gTopSaw.size() >= 2; });
    ok(gTopSaw.size() == 2 && gTopSaw[0] == WM_SYSCOMMAND && gTopSaw[1] == WM_CLOSE,
       "the top-level window heard %u messages, first %#x", (unsigned)gTopSaw.size(),
       gTopSaw.empty() ? 0u : gTopSaw[0]);
    ok(gChildSaw.empty(), "the focused child heard %u messages, first %#x",
       (unsigned)gChildSaw.size(), gChildSaw.empty() ? 0u : gChildSaw[0]);
    DestroyWindow(top);
}

// A click on a button takes the focus; hiding the field that has it hands it to the parent.
CONFORMANCE_TEST(focus_follows_clicks_and_hiding) {
    HWND top = CreateTestWindow(true);
    HWND field = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HWND button = CreateWindowExA(0, "Button", "Save", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 60, 0,
                                  50, 20, top, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(top);
    SetFocus(field);
    ok(GetFocus() == field, "focus is %p, not the field", (void*)GetFocus());
    SendMessageA(button, BM_CLICK, 0, 0);
    ok(GetFocus() == button, "after a click the focus is %p, not the button %p", (void*)GetFocus(),
       (void*)button);
    SetFocus(field);
    ShowWindow(field, SW_HIDE);
    ok(GetFocus() == top, "after hiding the field the focus is %p, not its parent %p",
       (void*)GetFocus(), (void*)top);
    DestroyWindow(top);
}
