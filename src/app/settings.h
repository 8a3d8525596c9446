// Settings store: the selected mode and the custom key settings, live in memory and kept in
// HKEY_CURRENT_USER\Software\Quillbay across runs.
#pragma once

#include "win32api.h"

#include <cstdint>

// One key combination as the registry and the key action engine see it: seven bytes, no gaps.
#pragma pack(push, 1)
struct KeyStroke {
    uint8_t alt;
    uint8_t control;
    uint8_t shift;
    uint32_t keyCode; // 0: empty slot; only the low 8 bits are ever sent
};
#pragma pack(pop)
static_assert(sizeof(KeyStroke) == 7, "KeyStroke is seven bytes without gaps");

struct CustomKeySettings {
    uint32_t sendMode; // 0 Sequential, 1 Send All
    int32_t time;      // milliseconds
    KeyStroke keys[3];
};

// Mode ids are the positions of the modes in the tray menu.
enum : int32_t {
    ModeSpace = 2,
    ModeEnter = 3,
    ModeSchick = 4,
    ModeKodak = 5,
    ModeSidexis = 6,
    ModeAltFAltS = 7,
    ModeCdxView = 8,
    ModeJoystick = 9,
    ModeCustom = 10,
};

enum : uint32_t { SendSequential = 0, SendAll = 1 };

struct Settings {
    int32_t modeId = ModeSpace;
    CustomKeySettings customKeys = {};
};
extern Settings gSettings;

extern const char kSettingsKeyPath[]; // "Software\Quillbay"

void LoadStartupSettings();
void LoadCustomSettings();
void SaveCustomSettings();
void SaveModeId();
