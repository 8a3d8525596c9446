#include "support/program_test.h"

#include "support/key_label.h"
#include "support/program_state.h"

#include "app/shell.h"
#include "resources/resource_ids.h"
#include "winsim/devices.h"

#include <cstdio>

void ProgramTest::SetUp() {
    ResetProgramState();
}

void ProgramTest::TearDown() {
    EXPECT_EQ(winsim::OpenKeyCount(), 0) << "registry keys left open";
    EXPECT_EQ(winsim::OpenHandleCount(), HandlesKeptByDesign()) << "kernel handles left open";
    EXPECT_EQ(winsim::StaleComCalls(), 0u) << "COM objects used after their apartment ended";
}

void ProgramTest::ExitFromTray() {
    PostMessageA(gShell.mainWindow, WM_COMMAND, IDM_EXIT, 0);
}

void ProgramTest::ChooseFromTrayAt(uint64_t time, const std::string& item, UINT button,
                                   uint64_t openFor) {
    winsim::At(time, [=] {
        winsim::ScriptMenuChoice(item, openFor);
        ASSERT_TRUE(winsim::ClickTrayIcon(gShell.mainWindow, 0, button));
    });
}

void ProgramTest::ExitAt(uint64_t time) {
    winsim::At(time, ExitFromTray);
}

std::string ProgramTest::Keys() {
    std::string out;
    for (const winsim::KeyEvent& e : winsim::KeyEvents()) {
        if (!out.empty())
            out += ' ';
        out += KeyLabel(e.vk) + ((e.flags & KEYEVENTF_KEYUP) ? "-" : "+");
    }
    winsim::ClearKeyEvents();
    return out;
}

int ProgramTest::SendKeyLines() {
    int n = 0;
    const auto& out = winsim::DebugOutput();
    for (size_t i = 0; i + 1 < out.size(); ++i)
        if (out[i] == "SendKey" && out[i + 1] == "\n")
            ++n;
    return n;
}
