// winsim's control API: how tests set up the simulated machine, act as the user, another
// process or the outside world, and inspect what the program did. Never used by the program.
#pragma once

#include "winsim/win32.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace winsim {

// A fresh machine: time 0, empty registry, no windows, no handles, no scripted faults.
void Reset();

// Thrown when a message loop (or a wait) would block forever or run past the time limit:
// the test fails instead of hanging.
struct Stall : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- virtual time ----
// Milliseconds since Reset; timeGetTime() and GetTickCount() return ClockBase() + Now() mod 2^32.
uint64_t Now();
void SetClockBase(DWORD base);
// Runs `action` when virtual time reaches `time` (absolute, ms since Reset): while a loop waits
// for messages, or inside Sleep. Events at the same time run in the order they were added.
void At(uint64_t time, std::function<void()> action);
void After(uint64_t delay, std::function<void()> action);
// A loop still running at this virtual time is a stall (default: 10 minutes after Reset).
void SetTimeLimit(uint64_t time);

// ---- the program ----
HINSTANCE ProgramInstance();
// Runs the program's real entry point on this thread and returns its exit code.
int RunProgram();
void SetModuleFileName(const std::string& path);
void SetSystemMetric(int index, int value);

// ---- registry ----
struct RegValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
void RegPut(HKEY root, const std::string& path, const std::string& name, DWORD type,
            const std::vector<BYTE>& data);
void RegPutDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void RegPutBinary(HKEY root, const std::string& path, const std::string& name,
                  const std::vector<BYTE>& data);
void RegPutKey(HKEY root, const std::string& path);
bool RegKeyExists(HKEY root, const std::string& path);
bool RegGet(HKEY root, const std::string& path, const std::string& name, RegValue* value);
// Every successful RegSetValueExA of the program, in order.
struct RegWrite {
    std::string path; // full path below the root, as the key was opened (case kept)
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};
const std::vector<RegWrite>& RegWrites();
// Every successful RegCreateKeyExA of the program, in order, with the options and access asked.
struct RegCreation {
    HKEY root;
    std::string path; // as RegWrite's
    DWORD options;
    REGSAM access;
    bool created; // a new key, made with these options; an existing key keeps its own
};
const std::vector<RegCreation>& RegCreations();
// The machine restarts: every process ends (so no key stays open) and volatile keys are gone.
void Reboot();
int OpenKeyCount();

// ---- kernel objects ----
int OpenHandleCount();
// Another process creates (and keeps a handle to) a named mutex. With `otherUser` the object's
// security keeps this process out: CreateMutexA on it fails with ERROR_ACCESS_DENIED.
void OtherProcessCreatesMutex(const std::string& name, bool otherUser = false);
bool MutexExists(const std::string& name);

// ---- debugger output ----
const std::vector<std::string>& DebugOutput();

// ---- keyboard ----
struct KeyEvent {
    BYTE vk;
    BYTE scan;
    DWORD flags;
    ULONG_PTR extra;
    uint64_t time;
};
const std::vector<KeyEvent>& KeyEvents();
void ClearKeyEvents();

// ---- windows ----
struct WindowInfo {
    HWND hwnd;
    std::string className;
    std::string text;
    DWORD style;
    DWORD exStyle;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    bool visible;
    HFONT font;   // from WM_SETFONT, for the built-in controls
    int fontSets; // how many WM_SETFONT it received
    bool checked; // buttons: BM_SETCHECK state
};
std::vector<WindowInfo> Windows(); // live windows, in creation order
bool FindWindowInfo(HWND hwnd, WindowInfo* info);
// The class as registered, with the names copied (lpszClassName/lpszMenuName stay valid).
bool RegisteredClass(const std::string& name, WNDCLASSEXA* cls);
std::vector<std::string> RegisteredClassNames(); // in registration order
struct TimerInfo {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
};
std::vector<TimerInfo> Timers();
// Identifies what LoadIconA/LoadCursorA returned: "resource:107", "system:32512", ...
std::string IconName(HICON icon);
std::string CursorName(HCURSOR cursor);
std::string BrushName(HBRUSH brush); // "color:5" for (HBRUSH)(COLOR_WINDOW + 1)

// ---- the program's resources, as the resource script defines them ----
struct MenuTemplate {
    bool separator = false;
    bool popup = false;
    UINT id = 0;
    std::string text;
    std::vector<MenuTemplate> items; // of a popup
};
struct DialogControlTemplate {
    std::string className; // "Static", "Button", ...
    std::string text;      // or "#135" for a resource ordinal
    int id;
    DWORD style;
    int x, y, cx, cy; // dialog units
};
struct DialogTemplate {
    int x, y, cx, cy; // dialog units
    DWORD style;
    std::string caption;
    int fontSize;
    std::string fontName;
    std::vector<DialogControlTemplate> controls;
};
// The menu resource's top-level items; false when the script has no such resource.
bool MenuResource(UINT id, std::vector<MenuTemplate>* items);
bool DialogResource(UINT id, DialogTemplate* dialog);
// The file a BITMAP or ICON resource names, relative to the script; empty when missing.
std::string BitmapResourceFile(UINT id);
std::string IconResourceFile(UINT id);

// ---- tray, menus, dialogs ----
struct TrayIcon {
    HWND hwnd;
    UINT id;
    UINT flags;
    UINT callbackMessage;
    HICON icon;
    std::string tip;
};
struct TrayCall {
    DWORD message; // NIM_ADD, NIM_DELETE, ...
    DWORD cbSize;
    TrayIcon icon;
    bool result;
};
const std::vector<TrayCall>& TrayCalls();
std::vector<TrayIcon> TrayIcons(); // what the notification area shows now
// The user presses a mouse button over an icon: its callback message is posted with the icon id
// in wParam and the mouse message in lParam. False when no such icon is shown.
bool ClickTrayIcon(HWND hwnd, UINT id, UINT mouseMessage);
// Explorer restarts: the notification area is empty and "TaskbarCreated" goes to every top-level
// window. An elevated process (winsim::SetProcessElevation) runs above Explorer's integrity
// level: the message reaches only the windows that allowed it with ChangeWindowMessageFilterEx.
void RestartShell();
// While busy (as at logon, before Explorer is ready), Shell_NotifyIconA fails with
// ERROR_TIMEOUT and changes nothing.
void SetNotificationAreaBusy(bool busy);
// The messages a window let through from lower integrity levels.
bool MessageAllowed(HWND hwnd, UINT message);
void SetCursorPosition(int x, int y);

struct MenuItemState {
    std::string text;
    UINT id;
    bool separator;
    bool checked;
    bool radio;
};
struct TrackedMenu {
    std::vector<MenuItemState> items; // as they were when the menu opened
    UINT flags;
    int x, y;
    HWND owner;
    uint64_t time;
};
const std::vector<TrackedMenu>& TrackedMenus();
// The next popup menu stays open `openFor` ms (its modal loop dispatching meanwhile), then the
// user chooses the item with this text; an empty text dismisses the menu. Unscripted menus are
// dismissed at once.
void ScriptMenuChoice(const std::string& itemText, uint64_t openFor = 0);
int LiveMenuCount();

// ---- fonts ----
struct FontInfo {
    int height, width, escapement, orientation, weight;
    DWORD italic, underline, strikeOut, charSet, outPrecision, clipPrecision, quality,
        pitchAndFamily;
    std::string faceName;
};
bool FindFont(HFONT font, FontInfo* info);
int LiveFontCount();

// ---- message boxes ----
struct MessageBoxCall {
    HWND owner;
    std::string text;
    bool hasCaption;
    std::string caption;
    UINT type;
    uint64_t time;
};
const std::vector<MessageBoxCall>& MessageBoxes();
// Every following message box stays open `openFor` ms of virtual time (its modal loop
// dispatching meanwhile), then returns `answer`.
void ScriptMessageBoxes(int answer, uint64_t openFor);

// ---- faults ----
// The `occurrence`-th call (counted from now, 1 = the next) of the named simulated function fails
// with `error`, the way that function reports failure.
void FailCall(const std::string& function, int occurrence = 1, DWORD error = ERROR_ACCESS_DENIED);
// Every call of the named function fails from now on.
void FailAlways(const std::string& function, DWORD error = ERROR_ACCESS_DENIED);
// The named function's scripted failures that have not happened yet are dropped.
void StopFailing(const std::string& function);
// The n-th call of any simulated function, counted from now, fails.
void FailNthCall(uint64_t n, DWORD error = ERROR_ACCESS_DENIED);
uint64_t CallCount(); // all simulated calls since Reset
uint64_t CallCount(const std::string& function);
// The names of the simulated calls made since Reset, in order, with the notes tests add
// (a stand-in module noting its own calls), so that orders across modules can be asserted.
const std::vector<std::string>& CallLog();
// Long runs (soak tests) and allocation counts turn the log and the records of mutex waits and
// device opens off; the counts go on.
void RecordCallLog(bool record);
void Note(const std::string& text);

} // namespace winsim
