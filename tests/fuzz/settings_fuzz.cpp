// Fuzz target: the settings from a registry holding anything (values of any type and size) through
// the real start-up, the Custom Settings window's loading from the tray, the key names and the
// key actions, which must send only keys that a setting names.
#include "app/settings.h"
#include "app/shell.h"
#include "customui/key_names.h"
#include "fuzz/fuzz_support.h"
#include "keyout/key_action.h"
#include "support/program_state.h"
#include "winsim/control.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kNames[] = {"key",          "mode",       "time",   "key1_alt",
                              "key1_control", "key1_shift", "key1_k", "key2_alt",
                              "key2_control", "key2_shift", "key2_k", "key3_alt",
                              "key3_control", "key3_shift", "key3_k"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    ResetProgramState();
    int values = in.Byte() % 20;
    for (int i = 0; i < values; ++i) {
        const char* name = kNames[in.Byte() % 15];
        DWORD type = in.Byte() % 12;
        std::vector<BYTE> bytes(in.Byte() % 9);
        for (BYTE& b : bytes)
            b = in.Byte();
        winsim::RegPut(HKEY_CURRENT_USER, "Software\\Quillbay", name, type, bytes);
    }
    bool openCustom = in.Byte() & 1;
    winsim::SetTimeLimit(uint64_t(1) << 40); // Send All may wait up to 2^31 ms, in virtual time
    winsim::ScriptMessageBoxes(IDOK, 0);
    winsim::At(300, [openCustom] {
        // The tray's "Custom Settings": reloads every custom value into the window.
        if (openCustom)
            PostMessageA(gShell.mainWindow, WM_COMMAND, 32778, 0);
    });
    winsim::At(500, [] {
        for (int i = 0; i < 4; ++i)
            RunKeyAction();
        char text[kKeyNameSize];
        for (const KeyStroke& k : gSettings.customKeys.keys)
            FormatKeyStroke(k, text, sizeof text);
    });
    winsim::At(600, [] { PostMessageA(gShell.mainWindow, WM_COMMAND, 32777, 0); });
    if (winsim::RunProgram() != 0)
        std::abort();
    // Only the keys of the fixed modes, the modifiers and the custom keys' low bytes.
    for (const winsim::KeyEvent& e : winsim::KeyEvents()) {
        bool named = e.vk == VK_SPACE || e.vk == VK_RETURN || e.vk == VK_F5 || e.vk == VK_F12 ||
                     e.vk == VK_MENU || e.vk == VK_CONTROL || e.vk == VK_SHIFT || e.vk == 'F' ||
                     e.vk == 'T' || e.vk == 'S' || e.vk == 'V';
        for (const KeyStroke& k : gSettings.customKeys.keys)
            named = named || e.vk == BYTE(k.keyCode);
        if (!named || e.scan != 0 || e.extra != 0 || (e.flags & ~DWORD(KEYEVENTF_KEYUP))) {
            std::fprintf(stderr, "settings: unexpected key event %#x\n", e.vk);
            std::abort();
        }
    }
    CheckNothingLeft("settings");
    return 0;
}
