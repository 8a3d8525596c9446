// Key action engine: what one press of the camera button sends in the current mode.
#pragma once

#include "win32api.h"

struct KeyActionState {
    bool keyToggle = false; // which key the alternating modes send next
    int sequenceIndex = 0;  // next custom key in Sequential
    DWORD lastSendTime = 0; // tick of the last Sequential send
};
extern KeyActionState gKeyAction;

void RunKeyAction();
