// winsim: shell32's notification area (Shell_NotifyIconA), registered window messages, the
// cursor position, and an Explorer restart.
#include "devices_state.h"

#include <cstring>

using namespace winsim::detail;

namespace {

bool SameIcon(const winsim::TrayIcon& a, HWND hwnd, UINT id) {
    return a.hwnd == hwnd && a.id == id;
}

} // namespace

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    if (Fails("RegisterWindowMessageA"))
        return 0;
    auto& table = M().windowMessages;
    std::string key = Lower(name ? name : "");
    auto it = table.find(key);
    if (it != table.end())
        return it->second;
    UINT id = UINT(0xC000 + table.size());
    table[key] = id;
    return id;
}

BOOL WINAPI GetCursorPos(POINT* point) {
    if (Fails("GetCursorPos") || !point)
        return FALSE;
    *point = M().cursor;
    return TRUE;
}

BOOL WINAPI Shell_NotifyIconA(DWORD message, PNOTIFYICONDATAA data) {
    if (Fails("Shell_NotifyIconA"))
        return FALSE;
    Machine& m = M();
    if (m.notificationAreaBusy) {
        m.lastError = ERROR_TIMEOUT;
        m.trayCalls.push_back(winsim::TrayCall{message, data->cbSize, winsim::TrayIcon{}, false});
        return FALSE;
    }
    winsim::TrayIcon icon{data->hWnd,  data->uID, data->uFlags, data->uCallbackMessage,
                          data->hIcon, ""};
    if (data->uFlags & NIF_TIP)
        icon.tip.assign(data->szTip, strnlen(data->szTip, sizeof data->szTip));
    auto& icons = m.trayIcons;
    auto it = icons.begin();
    while (it != icons.end() && !SameIcon(*it, data->hWnd, data->uID))
        ++it;
    bool ok = data->cbSize == sizeof(NOTIFYICONDATAA) && FindWindow(data->hWnd);
    if (ok) {
        switch (message) {
        case NIM_ADD:
            ok = it == icons.end();
            if (ok)
                icons.push_back(icon);
            break;
        case NIM_MODIFY:
            ok = it != icons.end();
            if (ok)
                *it = icon;
            break;
        case NIM_DELETE:
            ok = it != icons.end();
            if (ok)
                icons.erase(it);
            break;
        default:
            ok = false;
        }
    }
    m.trayCalls.push_back(winsim::TrayCall{message, data->cbSize, icon, ok});
    return ok;
}

BOOL WINAPI ChangeWindowMessageFilterEx(HWND hwnd, UINT message, DWORD action,
                                        PCHANGEFILTERSTRUCT changeFilter) {
    if (Fails("ChangeWindowMessageFilterEx"))
        return FALSE;
    Machine& m = M();
    if (!FindWindow(hwnd) || (changeFilter && changeFilter->cbSize != sizeof *changeFilter)) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    switch (action) {
    case MSGFLT_ALLOW:
        m.messagesAllowed.insert({hwnd, message});
        return TRUE;
    case MSGFLT_DISALLOW:
    case MSGFLT_RESET:
        m.messagesAllowed.erase({hwnd, message});
        return TRUE;
    default:
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
}

namespace winsim {

const std::vector<TrayCall>& TrayCalls() {
    return M().trayCalls;
}
std::vector<TrayIcon> TrayIcons() {
    return M().trayIcons;
}

bool ClickTrayIcon(HWND hwnd, UINT id, UINT mouseMessage) {
    for (const TrayIcon& icon : M().trayIcons)
        if (SameIcon(icon, hwnd, id)) {
            PostMessageA(hwnd, icon.callbackMessage, WPARAM(id), LPARAM(mouseMessage));
            return true;
        }
    return false;
}

void RestartShell() {
    M().trayIcons.clear();
    UINT created = RegisterWindowMessageA("TaskbarCreated");
    const DeviceState& d = Devices();
    bool aboveExplorer = d.elevated || d.elevationType == TokenElevationTypeFull;
    for (const WindowInfo& w : Windows())
        if (!(w.style & WS_CHILD) && (!aboveExplorer || MessageAllowed(w.hwnd, created)))
            PostMessageA(w.hwnd, created, 0, 0);
}

void SetNotificationAreaBusy(bool busy) {
    M().notificationAreaBusy = busy;
}

bool MessageAllowed(HWND hwnd, UINT message) {
    return M().messagesAllowed.count({hwnd, message}) != 0;
}

void SetCursorPosition(int x, int y) {
    M().cursor = POINT{x, y};
}

} // namespace winsim
