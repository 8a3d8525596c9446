// Menus and dialogs as the tray relies on them: the shipped menu's radio mark by position, and
// timer messages reaching a window while a modal dialog box runs.
#include "ok.h"

#include "resources/resource_ids.h"
#include "win32api.h"

CONFORMANCE_TEST(menu_radio_mark_by_position) {
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU));
    ok(menu != nullptr, "LoadMenuA failed with %lu", (unsigned long)GetLastError());
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    ok(popup != nullptr && GetMenuItemCount(popup) == 13, "popup %p with %d items", (void*)popup,
       GetMenuItemCount(popup));
    ok(GetMenuItemID(popup, 7) == IDM_ALTF_ALTS, "position 7 holds id %u", GetMenuItemID(popup, 7));
    ok(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR, "position 1 is not a separator");

    BOOL marked = CheckMenuRadioItem(popup, 2, 10, 5, MF_BYPOSITION);
    ok(marked, "CheckMenuRadioItem(5) failed");
    for (UINT pos = 2; pos <= 10; ++pos) {
        UINT state = GetMenuState(popup, pos, MF_BYPOSITION);
        ok(((state & MF_CHECKED) != 0) == (pos == 5), "position %u state %#x", pos, state);
    }
    ok(GetMenuState(popup, 5, MF_BYPOSITION) & MFT_RADIOCHECK, "no radio mark style");

    // An item outside the range: nothing marked, and the call says so.
    marked = CheckMenuRadioItem(popup, 2, 10, 11, MF_BYPOSITION);
    ok(!marked, "CheckMenuRadioItem(11) reported a mark");
    for (UINT pos = 2; pos <= 10; ++pos)
        ok(!(GetMenuState(popup, pos, MF_BYPOSITION) & MF_CHECKED), "position %u still checked",
           pos);
    ok(DestroyMenu(menu), "DestroyMenu failed");
}

namespace {

int gDialogTicks = 0;

INT_PTR CALLBACK TickingDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        SetTimer(dialog, 0, 30, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wParam == 0 && ++gDialogTicks == 3) {
            KillTimer(dialog, 0);
            // Closing by the caption button arrives as IDCANCEL.
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

CONFORMANCE_TEST(dialog_box_runs_timers_and_ends_on_close) {
    gDialogTicks = 0;
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX),
                                     nullptr, TickingDialogProc, 0);
    ok(gDialogTicks == 3, "%d ticks reached the dialog", gDialogTicks);
    ok(result == IDCANCEL, "DialogBoxParamA returned %ld", (long)result);
}
