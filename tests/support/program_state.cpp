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
#include "winsim/devices.h"
#include "winsim/dshow.h"

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

std::string WhatIsLeftOpen() {
    struct Count {
        const char* what;
        int left;
    } counts[] = {
        {"handles", winsim::OpenHandleCount() - HandlesKeptByDesign()},
        {"registry keys", winsim::OpenKeyCount()},
        {"COM objects", winsim::LiveComObjects()},
        {"heap blocks", winsim::HeapBlockCount()},
        {"preparsed data", winsim::PreparsedDataCount()},
        {"SetupAPI sets", winsim::DeviceInfoListCount()},
        {"strings", winsim::LiveBstrCount()},
        // Not left open but used too late: calls on COM objects after their apartment ended.
        {"COM calls after CoUninitialize", int(winsim::StaleComCalls())},
    };
    std::string left;
    for (const Count& c : counts)
        if (c.left != 0)
            left += (left.empty() ? "" : ", ") + std::to_string(c.left) + " " + c.what;
    return left.empty() ? left : left + " left open";
}
