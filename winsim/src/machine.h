// winsim internals: the one simulated machine that every Win32 area works on.
#pragma once

#include "winsim/control.h"

#include <deque>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace winsim::detail {

struct Fault {
    std::string function; // empty: any function
    uint64_t atCall;      // fails when that function's (or the global) counter reaches this
    bool always;
    DWORD error;
};

struct MutexObject {
    std::string name;
    int handles = 0;
    bool otherUser = false;
    int programOwns = 0;     // recursive ownership by this process
    bool otherOwns = false;  // another process holds it
    bool otherWaits = false; // another process waits for this process to release it
    bool abandoned = false;  // its owner ended without releasing it
};

struct DeviceHandle; // devices_state.h
struct DeviceState;  // devices_state.h: HID, SetupAPI, COM and heap

struct KernelObject {
    enum Kind { Mutex, Device, Token } kind;
    std::shared_ptr<MutexObject> mutex;
    std::shared_ptr<DeviceHandle> device = nullptr;
};

struct RegKeyNode {
    std::string name;                                           // as first created
    bool isVolatile = false;                                    // gone at the next reboot
    std::map<std::string, RegValue> values;                     // by lower-case name
    std::map<std::string, std::string> valueNames;              // lower-case -> as written
    std::map<std::string, std::unique_ptr<RegKeyNode>> subkeys; // by lower-case name
};

struct OpenKey {
    RegKeyNode* node;
    std::string path;
    HKEY root;
    REGSAM access;
};

struct WindowClass {
    WNDCLASSEXA cls;
    std::string name;
    std::string menuName;
    bool system = false;
};

struct Window {
    HWND hwnd;
    std::string className;
    WNDPROC proc;
    std::string text;
    DWORD style, exStyle;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    bool visible;
    HFONT font = nullptr;
    int fontSets = 0;
    bool checked = false;
    bool destroying = false;
    uint64_t order;
};

struct QueuedMessage {
    MSG msg;
    bool isKey = false;
    BYTE keyState[256];
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    uint64_t due;
    TIMERPROC proc;
};

struct Event {
    uint64_t time;
    uint64_t seq;
    std::function<void()> action;
};

struct Resources {
    bool loaded = false;
    std::map<UINT, std::string> strings;
    std::map<UINT, std::string> icons;   // id -> file
    std::map<UINT, std::string> bitmaps; // id -> file
    std::map<UINT, std::vector<MenuTemplate>> menus;
    std::map<UINT, DialogTemplate> dialogs;
};

struct MenuItem {
    std::string text;
    UINT id = 0;
    bool separator = false;
    UINT state = 0; // MF_CHECKED
    UINT type = 0;  // MFT_RADIOCHECK
    HMENU submenu = nullptr;
};

struct Menu {
    std::vector<MenuItem> items;
};

struct Dialog {
    DLGPROC proc;
    bool ended = false;
    INT_PTR result = 0;
};

struct MenuChoice {
    std::string text;
    uint64_t openFor;
};

struct Machine {
    uint64_t now = 0;
    DWORD clockBase = 0;
    uint64_t timeLimit = 10 * 60 * 1000;
    uint64_t eventSeq = 0;
    std::vector<Event> events;

    DWORD lastError = 0;
    uint64_t calls = 0;
    // Looked up by the caller's literal without building a string: counting allocates nothing.
    std::map<std::string, uint64_t, std::less<>> callsByName;
    std::vector<Fault> faults;
    std::vector<std::string> callLog;
    bool recordCallLog = true;

    std::string moduleFileName = "C:\\Program Files\\Vexor2\\Vexor2.exe";
    std::map<int, int> metrics;

    uintptr_t nextHandle = 0x100;
    std::map<uintptr_t, KernelObject> handles;
    std::map<std::string, std::shared_ptr<MutexObject>> mutexes; // by name (case-sensitive)
    std::vector<std::shared_ptr<MutexObject>> otherProcessMutexes;

    RegKeyNode hkcu, hklm, hkcr;
    std::map<uintptr_t, OpenKey> keys;
    std::vector<RegWrite> regWrites;
    std::vector<RegCreation> regCreations;

    std::vector<std::string> debugOutput;
    std::vector<KeyEvent> keyEvents;
    BYTE asyncKeys[256] = {};
    BYTE syncKeys[256] = {};
    bool keySinceAlt = false;

    std::vector<WindowClass> classes;
    std::map<uintptr_t, Window> windows;
    uint64_t windowOrder = 0;
    HWND focus = nullptr;
    std::deque<QueuedMessage> posted; // PostMessageA, TranslateMessage's characters
    std::deque<QueuedMessage> input;  // keyboard input, retrieved after posted messages
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<Timer> timers;

    std::vector<TrayCall> trayCalls;
    std::vector<TrayIcon> trayIcons;
    bool notificationAreaBusy = false;               // Shell_NotifyIconA times out
    std::set<std::pair<HWND, UINT>> messagesAllowed; // ChangeWindowMessageFilterEx, MSGFLT_ALLOW
    std::map<std::string, UINT> windowMessages;      // registered, by lower-case name
    POINT cursor = {600, 1050};
    std::map<uintptr_t, Menu> menus;
    std::vector<TrackedMenu> trackedMenus;
    std::deque<MenuChoice> menuChoices;
    std::map<uintptr_t, Dialog> dialogs; // by dialog window
    std::map<uintptr_t, FontInfo> fonts;

    std::vector<MessageBoxCall> messageBoxes;
    int boxAnswer = IDOK;
    uint64_t boxOpenFor = UINT64_MAX; // open until closed, unless a test scripts it

    Resources resources;

    std::shared_ptr<DeviceState> devices; // created on first use
};

Machine& M();

// Counts the call and answers whether a scripted fault makes it fail; on a fault the last
// error is already set to the fault's error.
bool Fails(const char* function);
uintptr_t NewHandleValue();
// Runs the scheduled events due at or before the current time.
void RunDueEvents();
// Moves virtual time to `time`, running the events due on the way (Sleep and waits).
void AdvanceTo(uint64_t time);
uint64_t NextEventTime(); // UINT64_MAX when none
Window* FindWindow(HWND hwnd);
// The next message in Windows' retrieval order; see user.cpp.
bool NextMessage(MSG* out, bool wait, bool remove, const bool* stop = nullptr);
// A system modal loop (message box, menu, dialog): dispatches everything, timers included,
// until *done; a WM_QUIT ends it and is posted again for the loop outside.
void RunModalLoop(const bool* done);
LRESULT DialogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// The system's control classes.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
const Resources& LoadResources();
std::string Lower(const std::string& s);

} // namespace winsim::detail
