// Settings store: moves ModeId and CustomKeySettings between memory and the registry.
#include "app/settings.h"

#include "keyout/joystick.h"

#include <cstddef>
#include <cstring>

Settings gSettings;

const char kSettingsKeyPath[] = "Software\\Quillbay";

namespace {

// Reads a value of at most `size` bytes into `field`, whatever its stored type. The read goes
// through a temporary: after a failed read (ERROR_MORE_DATA) the buffer's content is undefined
// and must not reach the live field. A shorter value overwrites only the field's first bytes.
bool ReadValue(HKEY key, const char* name, void* field, DWORD size) {
    BYTE temp[sizeof(uint32_t)];
    DWORD got = size;
    if (size > sizeof temp ||
        RegQueryValueExA(key, name, nullptr, nullptr, temp, &got) != ERROR_SUCCESS)
        return false;
    std::memcpy(field, temp, got < size ? got : size);
    return true;
}

void WriteDword(HKEY key, const char* name, uint32_t value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void WriteByte(HKEY key, const char* name, uint8_t value) {
    RegSetValueExA(key, name, 0, REG_BINARY, &value, sizeof value);
}

HKEY CreateSettingsKey() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

const char* const kKeyValueNames[3][4] = {
    {"key1_alt", "key1_control", "key1_shift", "key1_k"},
    {"key2_alt", "key2_control", "key2_shift", "key2_k"},
    {"key3_alt", "key3_control", "key3_shift", "key3_k"},
};

} // namespace

void LoadStartupSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return;
    if (!ReadValue(key, "key", &gSettings.modeId, sizeof gSettings.modeId))
        gSettings.modeId = ModeSpace;
    else if (gSettings.modeId == ModeCustom)
        LoadCustomSettings();
    else if (gSettings.modeId == ModeJoystick)
        OpenVirtualJoystick();
    RegCloseKey(key);
}

void LoadCustomSettings() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return;
    CustomKeySettings& s = gSettings.customKeys;
    ReadValue(key, "mode", &s.sendMode, sizeof s.sendMode);
    ReadValue(key, "time", &s.time, sizeof s.time);
    for (int i = 0; i < 3; ++i) {
        KeyStroke& k = s.keys[i];
        ReadValue(key, kKeyValueNames[i][0], &k.alt, sizeof k.alt);
        ReadValue(key, kKeyValueNames[i][1], &k.control, sizeof k.control);
        ReadValue(key, kKeyValueNames[i][2], &k.shift, sizeof k.shift);
        // keyCode is packed and unaligned: address its bytes, not the member.
        ReadValue(key, kKeyValueNames[i][3],
                  reinterpret_cast<BYTE*>(&k) + offsetof(KeyStroke, keyCode), sizeof(uint32_t));
    }
    RegCloseKey(key);
}

void SaveCustomSettings() {
    if (HKEY key = CreateSettingsKey()) {
        const CustomKeySettings& s = gSettings.customKeys;
        WriteDword(key, "mode", s.sendMode);
        WriteDword(key, "time", uint32_t(s.time));
        for (int i = 0; i < 3; ++i) {
            const KeyStroke& k = s.keys[i];
            WriteByte(key, kKeyValueNames[i][0], k.alt);
            WriteByte(key, kKeyValueNames[i][1], k.control);
            WriteByte(key, kKeyValueNames[i][2], k.shift);
            WriteDword(key, kKeyValueNames[i][3], k.keyCode);
        }
        RegCloseKey(key);
    }
    gSettings.modeId = ModeCustom;
}

void SaveModeId() {
    if (HKEY key = CreateSettingsKey()) {
        WriteDword(key, "key", uint32_t(gSettings.modeId));
        RegCloseKey(key);
    }
}
