// Resetting the program's process-wide state between tests and fuzz inputs.
#include "support/program_state.h"

#include "app/settings.h"
#include "app/shell.h"
#include "app/tray.h"
#include "chiplib/etlib2_state.h"
#include "chiplib/extension_unit_installer.h"
#include "customui/custom_window.h"
#include "diag/serial_log.h"
#include "keyout/joystick.h"
#include "keyout/key_action.h"
#include "winsim/control.h"

void ResetProgramState() {
    winsim::Reset();
    gSettings = Settings{};
    gKeyAction = KeyActionState{};
    gShell = Shell{};
    gCustomWindow = CustomWindow{};
    gSerialLog = SerialLog{};
    gJoystick = VirtualJoystick{};
    gTray = Tray{};
    gEtLib2 = EtLib2State{};
    gExtensionUnitInstaller = ExtensionUnitInstaller{};
    ResetSourcesForTest();
}

int HandlesKeptByDesign() {
    auto held = [](HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE ? 1 : 0; };
    return held(gShell.instanceMutex) + held(gSerialLog.tracePort) + held(gJoystick.device);
}
