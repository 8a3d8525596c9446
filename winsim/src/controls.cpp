// winsim: the system's button, edit and static controls, as far as the program's windows use
// them (texts, fonts, check states, clicks, typed characters), and gdi32 fonts.
#include "machine.h"

using namespace winsim::detail;

namespace {

// Shared by every control: texts and fonts.
bool CommonControlMessage(Window* w, UINT msg, WPARAM wParam, LRESULT* result) {
    if (msg == WM_SETFONT) {
        w->font = reinterpret_cast<HFONT>(wParam);
        w->fontSets++;
        *result = 0;
        return true;
    }
    if (msg == WM_GETFONT) {
        *result = reinterpret_cast<LRESULT>(w->font);
        return true;
    }
    return false;
}

void Notify(Window* w, WORD code) {
    if (w->parent)
        SendMessageA(w->parent, WM_COMMAND,
                     MAKEWPARAM(LOWORD(reinterpret_cast<uintptr_t>(w->menu)), code),
                     reinterpret_cast<LPARAM>(w->hwnd));
}

bool IsAutoRadio(const Window& w) {
    return (w.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}

} // namespace

namespace winsim::detail {

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    LRESULT r;
    if (!w)
        return 0;
    if (CommonControlMessage(w, msg, wParam, &r))
        return r;
    switch (msg) {
    case BM_GETCHECK:
        return w->checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
        w->checked = wParam == BST_CHECKED;
        return 0;
    case BM_CLICK:
        // The click's button-down takes the focus, as a mouse click on the button does.
        SetFocus(hwnd);
        // An automatic radio button checks itself and unchecks the others of its group
        // (here: its radio siblings, none of which starts a new group).
        if (IsAutoRadio(*w)) {
            for (auto& [h, other] : M().windows)
                if (other.parent == w->parent && IsAutoRadio(other))
                    other.checked = false;
            w->checked = true;
        }
        Notify(w, BN_CLICKED);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    LRESULT r;
    if (!w)
        return 0;
    if (CommonControlMessage(w, msg, wParam, &r))
        return r;
    if (msg == WM_CHAR) {
        if (w->style & ES_READONLY)
            return 0;
        char c = char(wParam);
        if (c == VK_BACK) {
            if (!w->text.empty())
                w->text.pop_back();
        } else if (!(w->style & ES_NUMBER) || (c >= '0' && c <= '9')) {
            if (c >= ' ')
                w->text += c;
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    LRESULT r;
    if (w && CommonControlMessage(w, msg, wParam, &r))
        return r;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace winsim::detail

BOOL WINAPI CheckRadioButton(HWND dialog, int first, int last, int check) {
    if (Fails("CheckRadioButton"))
        return FALSE;
    for (int id = first; id <= last; ++id)
        if (HWND button = GetDlgItem(dialog, id))
            SendMessageA(button, BM_SETCHECK, id == check ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    Fails("IsDlgButtonChecked");
    HWND button = GetDlgItem(dialog, id);
    return button ? UINT(SendMessageA(button, BM_GETCHECK, 0, 0)) : 0;
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR faceName) {
    if (Fails("CreateFontA"))
        return nullptr;
    uintptr_t h = NewHandleValue() | 0x40000;
    M().fonts[h] = winsim::FontInfo{height,         width,
                                    escapement,     orientation,
                                    weight,         italic,
                                    underline,      strikeOut,
                                    charSet,        outPrecision,
                                    clipPrecision,  quality,
                                    pitchAndFamily, faceName ? faceName : ""};
    return reinterpret_cast<HFONT>(h);
}

BOOL WINAPI DeleteObject(void* object) {
    if (Fails("DeleteObject"))
        return FALSE;
    return M().fonts.erase(reinterpret_cast<uintptr_t>(object)) ? TRUE : FALSE;
}

namespace winsim {

bool FindFont(HFONT font, FontInfo* info) {
    auto it = M().fonts.find(reinterpret_cast<uintptr_t>(font));
    if (it == M().fonts.end())
        return false;
    if (info)
        *info = it->second;
    return true;
}

int LiveFontCount() {
    return int(M().fonts.size());
}

} // namespace winsim
