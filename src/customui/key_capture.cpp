// Key capture: a key pressed while a key field has the focus becomes that slot's KeyStroke and
// the field's text. Only an empty field captures; Clear opens it again.
#include "customui/key_capture.h"

#include "app/settings.h"
#include "customui/custom_window.h"
#include "customui/key_names.h"

namespace {

const size_t kTextSize = 256;

// Down as of the key message being handled: any bit of the state's high byte.
bool IsDown(int virtualKey) {
    return (GetKeyState(virtualKey) & 0xFF00) != 0;
}

int SlotOf(HWND field) {
    if (field == gCustomWindow.KeyField1)
        return 0;
    if (field == gCustomWindow.KeyField2)
        return 1;
    if (field == gCustomWindow.KeyField3)
        return 2;
    return -1;
}

} // namespace

void CaptureKeyStroke(HWND keyField, WPARAM virtualKey) {
    int slot = SlotOf(keyField);
    // Any process can post a key-down with a code past the 256 keys; it names no key.
    if (slot < 0 || virtualKey > 0xFF)
        return;
    char current[kTextSize] = {};
    GetWindowTextA(keyField, current, int(kTextSize));
    if (current[0])
        return;
    KeyStroke key = {};
    key.alt = IsDown(VK_MENU);
    key.control = IsDown(VK_CONTROL);
    key.shift = IsDown(VK_SHIFT);
    // A modifier alone is never recorded: it shows as a prefix of the next key.
    if (IsModifierKey(uint32_t(virtualKey)))
        return;
    key.keyCode = uint32_t(virtualKey);
    char text[kTextSize];
    FormatKeyStroke(key, text, sizeof text);
    SetWindowTextA(keyField, text);
    gSettings.customKeys.keys[slot] = key;
}
