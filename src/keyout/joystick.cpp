// Virtual joystick output: the whole joystick state goes to PPJoy with one control request.
#include "keyout/joystick.h"

#include "chiplib/etlib2.h"

VirtualJoystick gJoystick;

namespace {

const char kDevice[] = "\\\\.\\PPJoyIOCTL1";
// PPJoy's state record, little-endian and without gaps.
const DWORD kSignature = 0x53544143; // "CATS"
const BYTE kAxes = 8, kButtons = 16;
const DWORD kAxisCentre = 0x4000;
const size_t kAxisOffset = 5, kButtonCountOffset = 37, kButton1Offset = 38;

void PutLittleEndian(BYTE* at, DWORD value) {
    for (int i = 0; i < 4; ++i)
        at[i] = BYTE(value >> (8 * i));
}

void ResetState() {
    BYTE* s = gJoystick.state;
    PutLittleEndian(s, kSignature);
    s[4] = kAxes;
    for (size_t i = 0; i < kAxes; ++i)
        PutLittleEndian(s + kAxisOffset + 4 * i, kAxisCentre);
    s[kButtonCountOffset] = kButtons;
    for (size_t i = 0; i < kButtons; ++i)
        s[kButton1Offset + i] = 0;
}

void SendState() {
    DWORD returned = 0;
    DeviceIoControl(gJoystick.device, kJoystickSetState, gJoystick.state, kJoystickStateBytes,
                    nullptr, 0, &returned, nullptr);
}

bool IsOpen(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

} // namespace

int OpenVirtualJoystick() {
    // Choosing "JOYSTICK" again must not leak the handle of the previous opening.
    CloseVirtualJoystick();
    gJoystick.device =
        CreateFileA(kDevice, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ResetState();
    return etLib2_Init();
}

void PressJoystickButton() {
    gJoystick.state[kButton1Offset] = 1;
    SendState();
}

void ReleaseJoystickButton() {
    gJoystick.state[kButton1Offset] = 0;
    SendState();
}

void CloseVirtualJoystick() {
    if (IsOpen(gJoystick.device))
        CloseHandle(gJoystick.device);
    gJoystick.device = nullptr;
}
