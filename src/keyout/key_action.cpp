// Key action engine: injects the key events of the current mode as synthetic keyboard input,
// so they reach whatever window has the focus.
#include "keyout/key_action.h"

#include "app/settings.h"
#include "diag/debug_stream.h"
#include "keyout/joystick.h"

KeyActionState gKeyAction;

namespace {

const BYTE kVkF = 'F', kVkS = 'S', kVkT = 'T', kVkV = 'V';

void Down(BYTE vk) {
    keybd_event(vk, 0, 0, 0);
}
void Up(BYTE vk) {
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
}

void Tap(BYTE vk) {
    Down(vk);
    Up(vk);
}

// modifier + key, then the toggle flips after the key's release and before the modifier's.
void ModifiedTap(BYTE modifier, BYTE vk, bool flip) {
    Down(modifier);
    Tap(vk);
    if (flip)
        gKeyAction.keyToggle = !gKeyAction.keyToggle;
    Up(modifier);
}

// Modifiers go up in the order they went down (Alt, Ctrl, Shift): the imaging programs
// were tuned against this order.
void SendKeyStroke(const KeyStroke& k) {
    BYTE vk = BYTE(k.keyCode & 0xFF);
    if (k.alt)
        Down(VK_MENU);
    if (k.control)
        Down(VK_CONTROL);
    if (k.shift)
        Down(VK_SHIFT);
    Tap(vk);
    if (k.alt)
        Up(VK_MENU);
    if (k.control)
        Up(VK_CONTROL);
    if (k.shift)
        Up(VK_SHIFT);
}

bool IsEmpty(const KeyStroke& k) {
    return k.keyCode == 0;
}

void SendSequentialKey(const CustomKeySettings& s) {
    DWORD now = timeGetTime();
    int i = gKeyAction.sequenceIndex;
    // The elapsed time modulo 2^32 is exact across the tick's wrap and for any pause up to
    // 49.7 days; read as signed, a pause of more than 24.8 days would look negative and carry
    // the sequence on. A negative time (a hand-edited registry) restarts every press.
    DWORD elapsed = now - gKeyAction.lastSendTime;
    if (i != 0 && (i >= 3 || s.time < 0 || elapsed > DWORD(s.time))) {
        i = 0;
        gKeyAction.sequenceIndex = 0;
    }
    if (IsEmpty(s.keys[i])) {
        gKeyAction.sequenceIndex = 0;
        if (IsEmpty(s.keys[0]))
            return;
        i = 0;
    }
    SendKeyStroke(s.keys[i]);
    gKeyAction.lastSendTime = now;
    gKeyAction.sequenceIndex = i + 1 == 3 ? 0 : i + 1;
}

void SendAllKeys(const CustomKeySettings& s) {
    for (int i = 0; i < 3; ++i) {
        if (IsEmpty(s.keys[i]))
            return;
        SendKeyStroke(s.keys[i]);
        if (i == 2 || IsEmpty(s.keys[i + 1]))
            return;
        // A negative time can only come from a hand-edited registry; it means no wait rather
        // than a wait of some 49 days.
        if (s.time > 0)
            Sleep(DWORD(s.time));
    }
}

void RunCustomAction() {
    const CustomKeySettings& s = gSettings.customKeys;
    if (s.sendMode == SendSequential)
        SendSequentialKey(s);
    else if (s.sendMode == SendAll)
        SendAllKeys(s);
}

} // namespace

void RunKeyAction() {
    dbgout << "SendKey" << std::endl;
    bool toggle = gKeyAction.keyToggle;
    switch (gSettings.modeId) {
    case ModeSpace:
        Tap(VK_SPACE);
        break;
    case ModeEnter:
        Tap(VK_RETURN);
        break;
    case ModeSchick:
        ModifiedTap(VK_MENU, toggle ? kVkT : kVkF, true);
        break;
    case ModeKodak:
        Tap(VK_F5);
        break;
    case ModeSidexis:
        if (!toggle) {
            ModifiedTap(VK_SHIFT, VK_F12, true);
        } else {
            Down(VK_SHIFT);
            Down(VK_CONTROL);
            Tap(kVkV);
            gKeyAction.keyToggle = false;
            Up(VK_CONTROL);
            Up(VK_SHIFT);
        }
        break;
    case ModeAltFAltS:
        ModifiedTap(VK_MENU, toggle ? kVkS : kVkF, true);
        break;
    case ModeCdxView:
        ModifiedTap(VK_MENU, kVkS, false);
        gKeyAction.keyToggle = false;
        break;
    case ModeJoystick:
        PressJoystickButton();
        Sleep(100);
        ReleaseJoystickButton();
        break;
    case ModeCustom:
        RunCustomAction();
        break;
    default:
        break;
    }
}
