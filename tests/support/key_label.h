// A short readable label for a virtual-key code ("Alt", "F5", "C", "0x7C"), shared by the native
// tests and the Windows programs of the end-to-end suite.
#pragma once

#include "win32api.h"

#include <cstdio>
#include <string>

inline std::string KeyLabel(unsigned vk) {
    switch (vk) {
    case VK_MENU:
        return "Alt";
    case VK_CONTROL:
        return "Ctrl";
    case VK_SHIFT:
        return "Shift";
    case VK_SPACE:
        return "Space";
    case VK_RETURN:
        return "Enter";
    }
    if (vk >= 0x70 && vk <= 0x7B) // F1 to F12
        return "F" + std::to_string(vk - 0x70 + 1);
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return std::string(1, char(vk));
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", vk & 0xFF);
    return hex;
}
