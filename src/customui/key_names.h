// Key names: the fixed name of every virtual-key code, and the display text of a KeyStroke.
#pragma once

#include "app/settings.h"

#include <cstddef>
#include <cstdint>

const size_t kKeyNameSize = 100;
extern const char (&KeyNameTable)[256][kKeyNameSize];

// Shift, Ctrl, Alt and 0x19 are never named on their own: they show as prefixes.
bool IsModifierKey(uint32_t code);
// The name of a code; codes above 255 (only a hand-edited registry holds them) are named by
// their low 8 bits, the key that is actually sent.
const char* KeyName(uint32_t code);
// "ALT + CTRL + SHIFT + name", with only the prefixes whose flag byte is non-zero.
void FormatKeyStroke(const KeyStroke& key, char* text, size_t size);
