// Key names: the table of virtual-key names shown in the Custom Settings window.
#include "customui/key_names.h"

#include <cstring>

namespace {

struct Table {
    char names[256][kKeyNameSize];
};

constexpr void Set(Table& t, int code, const char* name) {
    for (size_t i = 0; name[i] && i + 1 < kKeyNameSize; ++i)
        t.names[code][i] = name[i];
}

constexpr Table BuildTable() {
    Table t{};
    Set(t, 0x03, "NumLock");
    Set(t, 0x08, "BackSpace");
    Set(t, 0x09, "Tab");
    Set(t, 0x0D, "Enter");
    Set(t, 0x10, "SHIFT");
    Set(t, 0x11, "CTRL");
    Set(t, 0x12, "ALT");
    Set(t, 0x13, "Pause");
    Set(t, 0x14, "CapsLock");
    Set(t, 0x15, "\xC7\xD1/\xBF\xB5"); // the Hangul/English key's label in code page 949
    Set(t, 0x19, "CTRL");
    Set(t, 0x1B, "ESC");
    Set(t, 0x20, "Space");
    Set(t, 0x21, "PageUp");
    Set(t, 0x22, "PageDown");
    Set(t, 0x23, "End");
    Set(t, 0x24, "Home");
    Set(t, 0x25, "Left");
    Set(t, 0x26, "Up");
    Set(t, 0x27, "Right");
    Set(t, 0x28, "Down");
    Set(t, 0x2D, "Insert");
    Set(t, 0x2E, "Delete");
    const char digits[] = "0123456789";
    for (int i = 0; i < 10; ++i) {
        const char digit[2] = {digits[i], 0};
        Set(t, 0x30 + i, digit);
        Set(t, 0x60 + i, digit); // the keypad's digits read like the others
    }
    for (int i = 0; i < 26; ++i) {
        const char letter[2] = {char('A' + i), 0};
        Set(t, 0x41 + i, letter);
    }
    Set(t, 0x5B, "LWindow");
    Set(t, 0x5C, "RWindow");
    Set(t, 0x5D, "WMenu");
    Set(t, 0x6A, "*");
    Set(t, 0x6B, "+");
    Set(t, 0x6D, "-");
    Set(t, 0x6E, ".");
    Set(t, 0x6F, "/");
    const char* const functionKeys[] = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                        "F7", "F8", "F9", "F10", "F11", "F12"};
    for (int i = 0; i < 12; ++i)
        Set(t, 0x70 + i, functionKeys[i]);
    Set(t, 0x90, "NumLock");
    Set(t, 0x91, "ScrollLock");
    Set(t, 0xBA, ";");
    Set(t, 0xBB, "=");
    Set(t, 0xBC, ",");
    Set(t, 0xBD, "-");
    Set(t, 0xBE, ".");
    Set(t, 0xBF, "/");
    Set(t, 0xC0, "`");
    Set(t, 0xDB, "[");
    Set(t, 0xDC, "\\");
    Set(t, 0xDD, "]");
    Set(t, 0xDE, "'");
    return t;
}

constexpr Table kTable = BuildTable();

void Append(char* text, size_t size, const char* part) {
    size_t used = std::strlen(text);
    size_t n = std::strlen(part);
    if (used + n >= size)
        n = size - 1 - used;
    std::memcpy(text + used, part, n);
    text[used + n] = '\0';
}

} // namespace

const char (&KeyNameTable)[256][kKeyNameSize] = kTable.names;

bool IsModifierKey(uint32_t code) {
    return code == VK_SHIFT || code == VK_CONTROL || code == VK_MENU || code == 0x19;
}

const char* KeyName(uint32_t code) {
    code &= 0xFF;
    return kTable.names[IsModifierKey(code) ? 0 : code];
}

void FormatKeyStroke(const KeyStroke& key, char* text, size_t size) {
    if (size == 0)
        return;
    text[0] = '\0';
    if (key.alt)
        Append(text, size, "ALT + ");
    if (key.control)
        Append(text, size, "CTRL + ");
    if (key.shift)
        Append(text, size, "SHIFT + ");
    Append(text, size, KeyName(key.keyCode));
}
