// Virtual joystick output: button 1 of the PPJoy virtual joystick, for the "JOYSTICK" mode.
#pragma once

#include "win32api.h"

const DWORD kJoystickStateBytes = 54;
const DWORD kJoystickSetState = 0x00220000; // PPJoy's set-state control code

struct VirtualJoystick {
    HANDLE device = nullptr; // never opened: 0; a failed open keeps INVALID_HANDLE_VALUE
    BYTE state[kJoystickStateBytes] = {};
};
extern VirtualJoystick gJoystick;

// Opens the device, resets the state, then re-initialises the register library; returns the
// library's initialisation result.
int OpenVirtualJoystick();
void PressJoystickButton();
void ReleaseJoystickButton();
void CloseVirtualJoystick();
