// Virtual joystick output: button 1 of the PPJoy virtual joystick, for the "JOYSTICK" mode.
#pragma once

#include "win32api.h"

HRESULT OpenVirtualJoystick();
void PressJoystickButton();
void ReleaseJoystickButton();
