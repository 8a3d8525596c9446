// The base fixture of the native tests: a fresh simulated machine and fresh program state for
// every test, and at its end no registry key or kernel handle left that the program did not
// mean to keep.
#pragma once

#include "support/program_state.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The user chooses "Exit" in the tray menu.
    static void ExitFromTray();
    static void ExitAt(uint64_t time);
    // At `time` the user clicks the tray icon and chooses `item` (empty: dismisses the menu).
    static void ChooseFromTrayAt(uint64_t time, const std::string& item,
                                 UINT button = WM_RBUTTONDOWN, uint64_t openFor = 0);

    // The key events since the last call, as "Alt+ F+ F- Alt-" (+ down, - up).
    static std::string Keys();
    static int SendKeyLines(); // "SendKey" lines on the debugger output
};
