// winsim: menus loaded from the program's resource script, radio marks, and popup menus whose
// modal loop runs until the test's scripted choice.
#include "machine.h"

#include <cstring>
#include <stdexcept>

using namespace winsim::detail;

namespace {

Menu* FindMenu(HMENU menu) {
    auto it = M().menus.find(reinterpret_cast<uintptr_t>(menu));
    return it == M().menus.end() ? nullptr : &it->second;
}

HMENU Build(const std::vector<winsim::MenuTemplate>& items) {
    uintptr_t h = NewHandleValue() | 0x20000;
    Menu menu;
    for (const winsim::MenuTemplate& t : items) {
        MenuItem item;
        item.text = t.text;
        item.id = t.id;
        item.separator = t.separator;
        if (t.popup)
            item.submenu = Build(t.items);
        menu.items.push_back(item);
    }
    M().menus[h] = menu;
    return reinterpret_cast<HMENU>(h);
}

void Destroy(HMENU menu) {
    Menu* m = FindMenu(menu);
    if (!m)
        return;
    for (const MenuItem& item : m->items)
        if (item.submenu)
            Destroy(item.submenu);
    M().menus.erase(reinterpret_cast<uintptr_t>(menu));
}

// The item an id or position names, as MF_BYPOSITION says.
MenuItem* Item(HMENU menu, UINT item, UINT flags) {
    Menu* m = FindMenu(menu);
    if (!m)
        return nullptr;
    if (flags & MF_BYPOSITION)
        return item < m->items.size() ? &m->items[item] : nullptr;
    for (MenuItem& i : m->items)
        if (!i.separator && !i.submenu && i.id == item)
            return &i;
    return nullptr;
}

} // namespace

HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (Fails("LoadMenuA"))
        return nullptr;
    std::vector<winsim::MenuTemplate> items;
    if (instance != winsim::ProgramInstance() || !IS_INTRESOURCE(name) ||
        !winsim::MenuResource(UINT(reinterpret_cast<uintptr_t>(name)), &items)) {
        M().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    return Build(items);
}

HMENU WINAPI GetSubMenu(HMENU menu, int position) {
    Fails("GetSubMenu");
    MenuItem* item = Item(menu, UINT(position), MF_BYPOSITION);
    return item ? item->submenu : nullptr;
}

BOOL WINAPI DestroyMenu(HMENU menu) {
    if (Fails("DestroyMenu"))
        return FALSE;
    if (!FindMenu(menu)) {
        M().lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    Destroy(menu);
    return TRUE;
}

BOOL WINAPI CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
    if (Fails("CheckMenuRadioItem"))
        return FALSE;
    bool done = false;
    for (UINT i = first; i <= last; ++i) {
        MenuItem* item = Item(menu, i, flags);
        if (!item || item->separator)
            continue;
        if (i == check) {
            item->type |= MFT_RADIOCHECK;
            item->state |= MF_CHECKED;
            done = true;
        } else {
            item->state &= ~UINT(MF_CHECKED);
        }
    }
    return done;
}

int WINAPI GetMenuItemCount(HMENU menu) {
    Fails("GetMenuItemCount");
    Menu* m = FindMenu(menu);
    return m ? int(m->items.size()) : -1;
}

UINT WINAPI GetMenuItemID(HMENU menu, int position) {
    Fails("GetMenuItemID");
    MenuItem* item = Item(menu, UINT(position), MF_BYPOSITION);
    if (!item)
        return UINT(-1);
    return item->submenu ? UINT(-1) : item->separator ? 0 : item->id;
}

UINT WINAPI GetMenuState(HMENU menu, UINT id, UINT flags) {
    Fails("GetMenuState");
    MenuItem* item = Item(menu, id, flags);
    if (!item)
        return UINT(-1);
    return item->state | item->type | (item->separator ? UINT(MF_SEPARATOR) : 0u);
}

int WINAPI GetMenuStringA(HMENU menu, UINT id, LPSTR text, int maxCount, UINT flags) {
    Fails("GetMenuStringA");
    MenuItem* item = Item(menu, id, flags);
    if (!item)
        return 0;
    if (!text || maxCount <= 0)
        return int(item->text.size());
    int n = std::min(int(item->text.size()), maxCount - 1);
    std::memcpy(text, item->text.data(), size_t(n));
    text[n] = '\0';
    return n;
}

BOOL WINAPI TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    if (Fails("TrackPopupMenu"))
        return FALSE;
    Machine& m = M();
    Menu* popup = FindMenu(menu);
    if (!popup || !FindWindow(owner)) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    winsim::TrackedMenu tracked{{}, flags, x, y, owner, m.now};
    for (const MenuItem& i : popup->items)
        tracked.items.push_back(winsim::MenuItemState{i.text, i.id, i.separator,
                                                      (i.state & MF_CHECKED) != 0,
                                                      (i.type & MFT_RADIOCHECK) != 0});
    m.trackedMenus.push_back(tracked);
    if (m.menuChoices.empty())
        return FALSE; // dismissed: the user clicked elsewhere
    MenuChoice choice = m.menuChoices.front();
    m.menuChoices.pop_front();
    UINT id = 0;
    if (!choice.text.empty()) {
        const MenuItem* chosen = nullptr;
        for (const MenuItem& i : popup->items)
            if (!i.separator && !i.submenu && i.text == choice.text)
                chosen = &i;
        if (!chosen)
            throw std::logic_error("winsim: the menu has no item \"" + choice.text + "\"");
        id = chosen->id;
    }
    // The menu's own modal loop: the owner's messages, timers included, go on meanwhile.
    bool closed = false;
    winsim::After(choice.openFor, [&closed] { closed = true; });
    RunModalLoop(&closed);
    if (id == 0)
        return FALSE;
    if (flags & TPM_RETURNCMD)
        return BOOL(id);
    PostMessageA(owner, WM_COMMAND, WPARAM(id), 0);
    return TRUE;
}

namespace winsim {

const std::vector<TrackedMenu>& TrackedMenus() {
    return M().trackedMenus;
}

void ScriptMenuChoice(const std::string& itemText, uint64_t openFor) {
    M().menuChoices.push_back(MenuChoice{itemText, openFor});
}

int LiveMenuCount() {
    return int(M().menus.size());
}

} // namespace winsim
