// winsim: modal dialog boxes built from the program's resource script. Control positions stay
// in dialog units (no font metrics here), which is what the templates state.
#include "machine.h"

using namespace winsim::detail;

namespace winsim::detail {

// The dialog manager's window procedure: the dialog procedure first, then the defaults.
LRESULT DialogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = M().dialogs.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == M().dialogs.end())
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (it->second.proc(hwnd, msg, wParam, lParam))
        return TRUE;
    if (msg == WM_CLOSE) {
        // The caption's close button and Escape arrive as IDCANCEL.
        SendMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    return msg == WM_INITDIALOG ? 0 : DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace winsim::detail

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent,
                               DLGPROC dialogProc, LPARAM initParam) {
    if (Fails("DialogBoxParamA"))
        return -1;
    winsim::DialogTemplate t;
    if (instance != winsim::ProgramInstance() || !IS_INTRESOURCE(templateName) ||
        !winsim::DialogResource(UINT(reinterpret_cast<uintptr_t>(templateName)), &t) ||
        !dialogProc) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return -1;
    }
    HWND dialog = CreateWindowExA(0, "#32770", t.caption.c_str(), t.style, t.x, t.y, t.cx, t.cy,
                                  parent, nullptr, instance, nullptr);
    if (!dialog)
        return -1;
    uintptr_t key = reinterpret_cast<uintptr_t>(dialog);
    for (const winsim::DialogControlTemplate& c : t.controls)
        CreateWindowExA(0, c.className.c_str(), c.text.c_str(), c.style, c.x, c.y, c.cx, c.cy,
                        dialog, reinterpret_cast<HMENU>(intptr_t(c.id)), instance, nullptr);
    M().dialogs[key] = Dialog{dialogProc};
    ShowWindow(dialog, SW_SHOW);
    DialogWindowProc(dialog, WM_INITDIALOG, 0, initParam);
    RunModalLoop(&M().dialogs[key].ended);
    INT_PTR result = M().dialogs[key].result;
    DestroyWindow(dialog);
    M().dialogs.erase(key);
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    if (Fails("EndDialog"))
        return FALSE;
    auto it = M().dialogs.find(reinterpret_cast<uintptr_t>(dialog));
    if (it == M().dialogs.end()) {
        M().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    it->second.ended = true;
    it->second.result = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Fails("GetDlgItem");
    for (const winsim::WindowInfo& w : winsim::Windows())
        if (w.parent == dialog && (w.style & WS_CHILD) &&
            reinterpret_cast<intptr_t>(w.menu) == intptr_t(id))
            return w.hwnd;
    return nullptr;
}
