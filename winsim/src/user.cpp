// winsim: user32 for one GUI thread: window classes and windows, the thread's message queue
// with virtual-time waits, timers, focus, keyboard injection and state, message boxes,
// and resource loading.
#include "machine.h"

#include <algorithm>
#include <cstring>

using namespace winsim::detail;

namespace winsim::detail {

Window* FindWindow(HWND hwnd) {
    auto it = M().windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == M().windows.end() ? nullptr : &it->second;
}

} // namespace winsim::detail

namespace {
void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool isKey);
}

namespace winsim::detail {
static bool Take(std::deque<QueuedMessage>& queue, MSG* out, bool remove) {
    if (queue.empty())
        return false;
    QueuedMessage q = queue.front();
    if (remove) {
        queue.pop_front();
        // GetKeyState answers as of the key message last retrieved.
        if (q.isKey)
            std::memcpy(M().syncKeys, q.keyState, sizeof M().syncKeys);
    }
    *out = q.msg;
    return true;
}

// The next message for GetMessageA/PeekMessageA and the modal loops, in Windows' order: posted
// messages, WM_QUIT, input, due timers. With `wait`, an empty queue moves virtual time on to the
// next timer or scheduled event; with nothing left to wait for, the test has stalled. A modal
// loop passes `stop`, which an event may set while it waits.
bool NextMessage(MSG* out, bool wait, bool remove, const bool* stop) {
    for (;;) {
        RunDueEvents();
        Machine& m = M();
        if (stop && *stop)
            return false;
        if (Take(m.posted, out, remove))
            return true;
        if (m.quitPosted) {
            if (remove)
                m.quitPosted = false;
            *out = MSG{};
            out->message = WM_QUIT;
            out->wParam = WPARAM(m.quitCode);
            return true;
        }
        if (Take(m.input, out, remove))
            return true;
        uint64_t nextTimer = UINT64_MAX;
        for (Timer& t : m.timers) {
            if (t.due <= m.now) {
                if (remove)
                    while (t.due <= m.now) // missed periods fold into one WM_TIMER
                        t.due += t.period;
                *out = MSG{};
                out->hwnd = t.hwnd;
                out->message = WM_TIMER;
                out->wParam = t.id;
                out->lParam = reinterpret_cast<LPARAM>(t.proc);
                out->time = DWORD(m.clockBase + m.now);
                return true;
            }
            nextTimer = std::min(nextTimer, t.due);
        }
        if (!wait)
            return false;
        uint64_t wake = std::min(nextTimer, NextEventTime());
        if (wake == UINT64_MAX)
            throw winsim::Stall("a message loop waits with no timer, message or event to come");
        AdvanceTo(wake);
    }
}

void RunModalLoop(const bool* done) {
    while (!*done) {
        MSG msg;
        if (!NextMessage(&msg, true, true, done))
            break;
        if (msg.message == WM_QUIT) {
            // A modal loop that meets WM_QUIT ends and leaves it for the loop outside.
            PostQuitMessage(int(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
} // namespace winsim::detail

namespace {

// Pseudo-handles for icons, cursors and brushes: what a test needs is which one was loaded.
constexpr uintptr_t kIconBase = 0x10000000, kSystemIconBase = 0x20000000;
constexpr uintptr_t kCursorBase = 0x30000000;

LRESULT CALLBACK MessageBoxProc(HWND, UINT, WPARAM, LPARAM);

struct SystemClass {
    const char* name;
    WNDPROC proc;
};

void RegisterSystemClasses() {
    Machine& m = M();
    if (!m.classes.empty())
        return;
    const SystemClass builtins[] = {{"#32770", MessageBoxProc},
                                    {"Button", ButtonProc},
                                    {"Edit", EditProc},
                                    {"Static", StaticProc}};
    for (const SystemClass& b : builtins) {
        WindowClass wc{};
        wc.cls.cbSize = sizeof(WNDCLASSEXA);
        wc.cls.lpfnWndProc = b.proc;
        wc.name = b.name;
        wc.system = true;
        m.classes.push_back(wc);
    }
}

WindowClass* FindClass(const char* name) {
    RegisterSystemClasses();
    if (!name)
        return nullptr;
    for (WindowClass& c : M().classes)
        if (Lower(c.name) == Lower(name))
            return &c;
    return nullptr;
}

bool IsKeyMessage(UINT msg) {
    return msg >= WM_KEYDOWN && msg <= WM_SYSCHAR + 2;
}

void PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool isKey) {
    QueuedMessage q{};
    q.msg.hwnd = hwnd;
    q.msg.message = message;
    q.msg.wParam = wParam;
    q.msg.lParam = lParam;
    q.msg.time = DWORD(M().clockBase + M().now);
    q.isKey = isKey;
    std::memcpy(q.keyState, M().asyncKeys, sizeof q.keyState);
    (isKey ? M().input : M().posted).push_back(q);
}

struct MessageBoxState {
    bool done = false;
    int answer = IDOK;
};
MessageBoxState* gOpenBox = nullptr;

LRESULT CALLBACK MessageBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (M().dialogs.count(reinterpret_cast<uintptr_t>(hwnd)))
        return DialogWindowProc(hwnd, msg, wParam, lParam);
    if (msg == WM_COMMAND && gOpenBox && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        gOpenBox->done = true;
        gOpenBox->answer = int(LOWORD(wParam));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (Fails("RegisterClassExA"))
        return 0;
    Machine& m = M();
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpszClassName ||
        !windowClass->lpfnWndProc) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    WindowClass* existing = FindClass(windowClass->lpszClassName);
    if (existing && !existing->system) {
        m.lastError = ERROR_CLASS_ALREADY_EXISTS;
        return 0;
    }
    WindowClass wc{};
    wc.cls = *windowClass;
    wc.name = windowClass->lpszClassName;
    if (windowClass->lpszMenuName && !IS_INTRESOURCE(windowClass->lpszMenuName))
        wc.menuName = windowClass->lpszMenuName;
    m.classes.push_back(wc);
    return ATOM(0xC000 + m.classes.size());
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (Fails("UnregisterClassA"))
        return FALSE;
    auto& classes = M().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it)
        if (!it->system && Lower(it->name) == Lower(className ? className : "")) {
            classes.erase(it);
            return TRUE;
        }
    M().lastError = ERROR_CLASS_DOES_NOT_EXIST;
    return FALSE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    if (Fails("CreateWindowExA"))
        return nullptr;
    Machine& m = M();
    WindowClass* wc = FindClass(className);
    if (!wc) {
        m.lastError = ERROR_CLASS_DOES_NOT_EXIST;
        return nullptr;
    }
    if ((style & WS_CHILD) && !FindWindow(parent)) {
        m.lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    // Overlapped windows with CW_USEDEFAULT get the system's cascade position and size.
    if (x == CW_USEDEFAULT) {
        x = 26;
        y = 26;
    }
    if (width == CW_USEDEFAULT) {
        width = 1024;
        height = 768;
    }
    uintptr_t h = NewHandleValue() | 0x10000;
    Window w{};
    w.hwnd = reinterpret_cast<HWND>(h);
    w.className = wc->name;
    w.proc = wc->cls.lpfnWndProc;
    // The text arrives with DefWindowProcA's handling of WM_NCCREATE, as in Windows.
    w.style = style;
    w.exStyle = exStyle;
    w.x = x;
    w.y = y;
    w.width = width;
    w.height = height;
    w.parent = parent;
    w.menu = menu;
    w.visible = (style & WS_VISIBLE) != 0;
    w.order = m.windowOrder++;
    m.windows[h] = w;
    CREATESTRUCTA cs{param, instance, menu,        parent,     height,    width,
                     y,     x,        LONG(style), windowName, className, exStyle};
    // WM_NCCREATE comes first; a procedure that answers it FALSE (a swallowed message) ends the
    // creation there.
    if (!w.proc(w.hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        w.proc(w.hwnd, WM_NCDESTROY, 0, 0);
        M().windows.erase(h);
        return nullptr;
    }
    LRESULT r = w.proc(w.hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs));
    if (r == -1) {
        DestroyWindow(reinterpret_cast<HWND>(h));
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    return reinterpret_cast<HWND>(h);
}

BOOL WINAPI DestroyWindow(HWND window) {
    if (Fails("DestroyWindow"))
        return FALSE;
    Window* w = FindWindow(window);
    if (!w || w->destroying) {
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    w->destroying = true;
    WNDPROC proc = w->proc;
    if (M().focus == window)
        M().focus = nullptr;
    // The window hears WM_DESTROY before its children do.
    proc(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    for (auto& [h, c] : M().windows)
        if (c.parent == window && (c.style & WS_CHILD))
            children.push_back(c.hwnd);
    for (HWND c : children)
        DestroyWindow(c);
    proc(window, WM_NCDESTROY, 0, 0);
    auto& timers = M().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == window; }),
                 timers.end());
    M().windows.erase(reinterpret_cast<uintptr_t>(window));
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) {
    return FindWindow(window) != nullptr;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    Fails("ShowWindow");
    Window* w = FindWindow(window);
    if (!w)
        return FALSE;
    bool was = w->visible;
    w->visible = command != SW_HIDE;
    // Hiding the focus window or one that contains it hands the focus to its parent; a hidden
    // top-level window leaves this thread without focus.
    if (command == SW_HIDE) {
        for (HWND f = M().focus; f;) {
            if (f == window) {
                SetFocus((w->style & WS_CHILD) ? w->parent : nullptr);
                break;
            }
            Window* fw = FindWindow(f);
            f = fw && (fw->style & WS_CHILD) ? fw->parent : nullptr;
        }
    }
    return was;
}

BOOL WINAPI IsWindowVisible(HWND window) {
    Window* w = FindWindow(window);
    return w && w->visible;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Fails("DefWindowProcA");
    Window* w = FindWindow(window);
    switch (message) {
    case WM_NCCREATE: {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (w && cs && cs->lpszName)
            w->text = cs->lpszName;
        return TRUE;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SETTEXT:
        if (w)
            w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    case WM_GETTEXT: {
        if (!w || wParam == 0)
            return 0;
        size_t n = std::min(w->text.size(), size_t(wParam - 1));
        std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return LRESULT(n);
    }
    case WM_SYSKEYDOWN:
        // The system's own Alt handling: Alt+F4 asks the top-level window to close.
        if (wParam == VK_F4 && (lParam & (1 << 29))) {
            HWND top = window;
            for (Window* t = w; t && (t->style & WS_CHILD) && FindWindow(t->parent);)
                t = FindWindow(top = t->parent);
            PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND, UINT, UINT) {
    if (Fails("GetMessageA"))
        return -1;
    NextMessage(msg, true, true);
    return msg->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    if (Fails("PeekMessageA"))
        return FALSE;
    return NextMessage(msg, false, (remove & PM_REMOVE) != 0);
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    Fails("TranslateMessage");
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)
        return IsKeyMessage(msg->message);
    WPARAM vk = msg->wParam;
    char ch = 0;
    bool shift = (M().syncKeys[VK_SHIFT] & 0x80) != 0;
    if (vk >= 'A' && vk <= 'Z')
        ch = char(shift ? vk : vk - 'A' + 'a');
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE)
        ch = char(vk);
    else if (vk == VK_RETURN || vk == VK_TAB || vk == VK_BACK || vk == VK_ESCAPE)
        ch = char(vk);
    if (ch && !(M().syncKeys[VK_CONTROL] & 0x80))
        PostToQueue(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, WPARAM(ch),
                    msg->lParam, false);
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    Fails("DispatchMessageA");
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    Window* w = FindWindow(msg->hwnd);
    if (!w)
        return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Fails("PostMessageA"))
        return FALSE;
    if (window && !FindWindow(window)) {
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    PostToQueue(window, message, wParam, lParam, false);
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Fails("SendMessageA");
    Window* w = FindWindow(window);
    if (!w) {
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    return w->proc(window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    Fails("PostQuitMessage");
    M().quitPosted = true;
    M().quitCode = exitCode;
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (Fails("SetTimer"))
        return 0;
    Machine& m = M();
    if (window && !FindWindow(window)) {
        m.lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    if (!window)
        id = 0x7FFF + m.timers.size();
    elapse = std::max<UINT>(elapse, 10); // USER_TIMER_MINIMUM
    for (Timer& t : m.timers)
        if (t.hwnd == window && t.id == id) {
            t.period = elapse;
            t.due = m.now + elapse;
            t.proc = proc;
            return window ? 1 : id;
        }
    m.timers.push_back(Timer{window, id, elapse, m.now + elapse, proc});
    return window ? 1 : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    if (Fails("KillTimer"))
        return FALSE;
    auto& timers = M().timers;
    for (auto it = timers.begin(); it != timers.end(); ++it)
        if (it->hwnd == window && it->id == id) {
            timers.erase(it);
            return TRUE;
        }
    M().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
}

HWND WINAPI GetFocus() {
    Fails("GetFocus");
    return M().focus;
}

HWND WINAPI SetFocus(HWND window) {
    if (Fails("SetFocus"))
        return nullptr;
    HWND old = M().focus;
    if (window && !FindWindow(window)) {
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    if (old == window)
        return old;
    M().focus = window;
    if (old && FindWindow(old))
        SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (window)
        SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

BOOL WINAPI SetForegroundWindow(HWND window) {
    Fails("SetForegroundWindow");
    return FindWindow(window) != nullptr;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (Fails("MessageBoxA"))
        return 0;
    Machine& m = M();
    m.messageBoxes.push_back(winsim::MessageBoxCall{owner, text ? text : "", caption != nullptr,
                                                    caption ? caption : "", type, m.now});
    // Shared with the scheduled answer, which may fire after the box was closed otherwise.
    auto state = std::make_shared<MessageBoxState>();
    MessageBoxState* outer = gOpenBox;
    gOpenBox = state.get();
    HWND box = CreateWindowExA(0, "#32770", caption ? caption : "Error", WS_POPUP | WS_CAPTION, 0,
                               0, 200, 100, owner, nullptr, nullptr, nullptr);
    int scripted = m.boxAnswer;
    if (m.boxOpenFor != UINT64_MAX)
        winsim::After(m.boxOpenFor, [state, scripted] {
            if (!state->done) {
                state->done = true;
                state->answer = scripted;
            }
        });
    // The box's modal loop dispatches everything else meanwhile, timers included.
    RunModalLoop(&state->done);
    DestroyWindow(box);
    gOpenBox = outer;
    return state->answer;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    Fails("FindWindowA");
    for (auto& [h, w] : M().windows) {
        if (className && Lower(w.className) != Lower(className))
            continue;
        if (windowName && w.text != windowName)
            continue;
        if (w.style & WS_CHILD)
            continue;
        return w.hwnd;
    }
    return nullptr;
}

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    if (Fails("LoadStringA"))
        return 0;
    const Resources& r = LoadResources();
    auto it = r.strings.find(id);
    if (instance != winsim::ProgramInstance() || it == r.strings.end() || !buffer ||
        bufferMax <= 0) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        if (buffer && bufferMax > 0)
            buffer[0] = '\0';
        return 0;
    }
    int n = std::min(int(it->second.size()), bufferMax - 1);
    std::memcpy(buffer, it->second.data(), size_t(n));
    buffer[n] = '\0';
    return n;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (Fails("LoadIconA"))
        return nullptr;
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (!IS_INTRESOURCE(name)) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    if (!instance)
        return reinterpret_cast<HICON>(kSystemIconBase + id);
    if (instance != winsim::ProgramInstance() || !LoadResources().icons.count(UINT(id))) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<HICON>(kIconBase + id);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (Fails("LoadCursorA"))
        return nullptr;
    if (instance || !IS_INTRESOURCE(name)) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(kCursorBase + reinterpret_cast<uintptr_t>(name));
}

int WINAPI GetSystemMetrics(int index) {
    Fails("GetSystemMetrics");
    auto it = M().metrics.find(index);
    if (it != M().metrics.end())
        return it->second;
    switch (index) {
    case SM_CXSCREEN:
        return 1920;
    case SM_CYSCREEN:
        return 1080;
    case SM_CXMAXIMIZED:
        return 1936;
    case SM_CYMAXIMIZED:
        return 1056;
    default:
        return 0;
    }
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
    Fails("BeginPaint");
    if (!FindWindow(window) || !paint)
        return nullptr;
    *paint = PAINTSTRUCT{};
    paint->hdc = reinterpret_cast<HDC>(uintptr_t(0x5000));
    return paint->hdc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) {
    Fails("EndPaint");
    return TRUE;
}

SHORT WINAPI GetKeyState(int virtualKey) {
    Fails("GetKeyState");
    BYTE s = M().syncKeys[virtualKey & 0xFF];
    return SHORT(((s & 0x80) ? 0xFF80 : 0) | (s & 1));
}

void WINAPI keybd_event(BYTE vk, BYTE scan, DWORD flags, ULONG_PTR extra) {
    Fails("keybd_event");
    Machine& m = M();
    m.keyEvents.push_back(winsim::KeyEvent{vk, scan, flags, extra, m.now});
    bool up = (flags & KEYEVENTF_KEYUP) != 0;
    bool altBefore = (m.asyncKeys[VK_MENU] & 0x80) != 0;
    bool wasDown = (m.asyncKeys[vk] & 0x80) != 0;
    if (up) {
        m.asyncKeys[vk] &= BYTE(~0x80);
    } else {
        if (!wasDown)
            m.asyncKeys[vk] ^= 1; // toggle state flips on each press
        m.asyncKeys[vk] |= 0x80;
    }
    bool altNow = (m.asyncKeys[VK_MENU] & 0x80) != 0;
    // Alt makes a system key only without Ctrl (Ctrl+Alt is AltGr's chord); F10 always does.
    bool control = (m.asyncKeys[VK_CONTROL] & 0x80) != 0;
    bool system = vk == VK_F10 || ((up ? altBefore : altNow) && !control);
    UINT message;
    if (!up) {
        message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
        if (vk != VK_MENU && altNow)
            m.keySinceAlt = true;
        if (vk == VK_MENU)
            m.keySinceAlt = false;
    } else if (vk == VK_MENU) {
        // Alt released alone is the system's menu key; after another key it is a plain key-up.
        message = m.keySinceAlt || control ? WM_KEYUP : WM_SYSKEYUP;
    } else {
        message = system ? WM_SYSKEYUP : WM_KEYUP;
    }
    if (!m.focus)
        return;
    LPARAM lParam = 1 | (LPARAM(scan) << 16);
    if (altNow && message != WM_KEYUP && message != WM_KEYDOWN)
        lParam |= LPARAM(1) << 29;
    if (wasDown)
        lParam |= LPARAM(1) << 30;
    if (up)
        lParam |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    PostToQueue(m.focus, message, vk, lParam, true);
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    Fails("GetWindowTextA");
    if (!FindWindow(window) || maxCount <= 0)
        return 0;
    return int(SendMessageA(window, WM_GETTEXT, WPARAM(maxCount), reinterpret_cast<LPARAM>(text)));
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    if (Fails("SetWindowTextA"))
        return FALSE;
    if (!FindWindow(window))
        return FALSE;
    return BOOL(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

namespace winsim {

const std::vector<KeyEvent>& KeyEvents() {
    return M().keyEvents;
}
void ClearKeyEvents() {
    M().keyEvents.clear();
}

static WindowInfo Info(const Window& w) {
    return WindowInfo{w.hwnd, w.className, w.text,  w.style,    w.exStyle,
                      w.x,    w.y,         w.width, w.height,   w.parent,
                      w.menu, w.visible,   w.font,  w.fontSets, w.checked};
}

std::vector<WindowInfo> Windows() {
    std::vector<const Window*> all;
    for (auto& [h, w] : M().windows)
        all.push_back(&w);
    std::sort(all.begin(), all.end(),
              [](const Window* a, const Window* b) { return a->order < b->order; });
    std::vector<WindowInfo> out;
    for (const Window* w : all)
        out.push_back(Info(*w));
    return out;
}

bool FindWindowInfo(HWND hwnd, WindowInfo* info) {
    Window* w = FindWindow(hwnd);
    if (w && info)
        *info = Info(*w);
    return w != nullptr;
}

bool RegisteredClass(const std::string& name, WNDCLASSEXA* cls) {
    for (WindowClass& c : M().classes)
        if (!c.system && Lower(c.name) == Lower(name)) {
            if (cls) {
                *cls = c.cls;
                cls->lpszClassName = c.name.c_str();
            }
            return true;
        }
    return false;
}

std::vector<std::string> RegisteredClassNames() {
    std::vector<std::string> names;
    for (WindowClass& c : M().classes)
        if (!c.system)
            names.push_back(c.name);
    return names;
}

std::vector<TimerInfo> Timers() {
    std::vector<TimerInfo> out;
    for (Timer& t : M().timers)
        out.push_back(TimerInfo{t.hwnd, t.id, t.period});
    return out;
}

std::string IconName(HICON icon) {
    uintptr_t v = reinterpret_cast<uintptr_t>(icon);
    if (!v)
        return "none";
    if (v >= kSystemIconBase && v < kCursorBase)
        return "system:" + std::to_string(v - kSystemIconBase);
    if (v >= kIconBase && v < kSystemIconBase)
        return "resource:" + std::to_string(v - kIconBase);
    return "unknown";
}

std::string CursorName(HCURSOR cursor) {
    uintptr_t v = reinterpret_cast<uintptr_t>(cursor);
    if (v >= kCursorBase)
        return "system:" + std::to_string(v - kCursorBase);
    return v ? "unknown" : "none";
}

std::string BrushName(HBRUSH brush) {
    uintptr_t v = reinterpret_cast<uintptr_t>(brush);
    if (v && v <= 31)
        return "color:" + std::to_string(v - 1);
    return v ? "unknown" : "none";
}

const std::vector<MessageBoxCall>& MessageBoxes() {
    return M().messageBoxes;
}

void ScriptMessageBoxes(int answer, uint64_t openFor) {
    M().boxAnswer = answer;
    M().boxOpenFor = openFor;
}

} // namespace winsim
