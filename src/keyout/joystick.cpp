// Virtual joystick output. The device side arrives with the joystick driver support; until then
// the "JOYSTICK" mode reaches no device.
#include "keyout/joystick.h"

HRESULT OpenVirtualJoystick() {
    return 0;
}
void PressJoystickButton() {}
void ReleaseJoystickButton() {}
