// The tray: the icon's record, the mode menu through winsim's scripted choices, the About box,
// "Exit", and the icon's return after an Explorer restart.
#include "app/settings.h"
#include "app/shell.h"
#include "app/tray.h"
#include "resources/resource_ids.h"
#include "support/fake_sources.h"
#include "support/program_state.h"
#include "support/program_test.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

const char kPath[] = "Software\\Quillbay";

class TrayTest : public ProgramTest {
  protected:
    static HWND Main() { return gShell.mainWindow; }
    static int32_t StoredKey() {
        winsim::RegValue v;
        if (!winsim::RegGet(HKEY_CURRENT_USER, kPath, "key", &v) || v.data.size() != 4)
            return -1000;
        int32_t key;
        std::memcpy(&key, v.data.data(), 4);
        return key;
    }
    static int KeyWrites() {
        return int(std::count_if(winsim::RegWrites().begin(), winsim::RegWrites().end(),
                                 [](const winsim::RegWrite& w) { return w.name == "key"; }));
    }
    // Which item carried the radio mark when each menu opened (-1: none).
    static std::vector<int> Marks() {
        std::vector<int> marks;
        for (const winsim::TrackedMenu& m : winsim::TrackedMenus()) {
            int mark = -1;
            for (size_t i = 0; i < m.items.size(); ++i)
                if (m.items[i].checked && m.items[i].radio)
                    mark = int(i);
            marks.push_back(mark);
        }
        return marks;
    }
};

TEST_F(TrayTest, IconIsAddedWithItsRecordAndRemovedAtExit) {
    ExitAt(500);
    EXPECT_EQ(winsim::RunProgram(), 0);
    const auto& calls = winsim::TrayCalls();
    ASSERT_EQ(calls.size(), 2u);
    const winsim::TrayCall& add = calls[0];
    EXPECT_EQ(add.message, DWORD(NIM_ADD));
    EXPECT_EQ(add.cbSize, sizeof(NOTIFYICONDATAA));
    EXPECT_EQ(add.icon.id, 0u);
    EXPECT_EQ(add.icon.flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(add.icon.callbackMessage, 32868u);
    EXPECT_EQ(winsim::IconName(add.icon.icon), "resource:129");
    EXPECT_EQ(add.icon.tip, "Vexor2");
    EXPECT_TRUE(add.result);
    const winsim::TrayCall& remove = calls[1];
    EXPECT_EQ(remove.message, DWORD(NIM_DELETE));
    EXPECT_EQ(remove.cbSize, sizeof(NOTIFYICONDATAA));
    EXPECT_EQ(remove.icon.hwnd, add.icon.hwnd);
    EXPECT_EQ(remove.icon.id, 0u);
    EXPECT_TRUE(remove.result);
    EXPECT_TRUE(winsim::TrayIcons().empty());
}

TEST_F(TrayTest, ExitRemovesIconQuitsStopsTimerThenStoresTheMode) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 7);
    ChooseFromTrayAt(300, "Exit");
    EXPECT_EQ(winsim::RunProgram(), 0);
    std::vector<std::string> order;
    size_t start = 0;
    const auto& log = winsim::CallLog();
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i] == "TrackPopupMenu")
            start = i;
    for (size_t i = start; i < log.size(); ++i)
        if (log[i] == "Shell_NotifyIconA" || log[i] == "PostQuitMessage" || log[i] == "KillTimer" ||
            log[i] == "RegSetValueExA" || log[i] == "DetachButtonSource")
            order.push_back(log[i]);
    EXPECT_EQ(order, (std::vector<std::string>{"Shell_NotifyIconA", "PostQuitMessage", "KillTimer",
                                               "RegSetValueExA", "DetachButtonSource"}));
    EXPECT_EQ(StoredKey(), 7);
    EXPECT_LT(winsim::Now(), 400u); // no tick after the exit
}

TEST_F(TrayTest, MenuOpensOnButtonDownInItsStepOrderAndShowsTheShippedItems) {
    winsim::SetCursorPosition(1500, 1040);
    ChooseFromTrayAt(300, "", WM_LBUTTONDOWN);
    ExitAt(600);
    winsim::RunProgram();
    ASSERT_EQ(winsim::TrackedMenus().size(), 1u);
    const winsim::TrackedMenu& m = winsim::TrackedMenus()[0];
    EXPECT_EQ(m.flags, UINT(TPM_RIGHTBUTTON));
    EXPECT_EQ(m.x, 1500);
    EXPECT_EQ(m.y, 1040);
    EXPECT_EQ(m.owner, Main());
    struct Item {
        const char* text;
        UINT id;
    } expected[] = {{"About", 32771},
                    {"", 0},
                    {"Space", 32772},
                    {"Enter", 32773},
                    {"Schick(Alt+F, Alt+T)", 32774},
                    {"Kodak(F5)", 32775},
                    {"SIDEXIS", 32776},
                    {"Alt+F, Alt+S", 32788},
                    {"CDX View", 32780},
                    {"JOYSTICK", 32781},
                    {"Custom Settings", 32778},
                    {"", 0},
                    {"Exit", 32777}};
    ASSERT_EQ(m.items.size(), std::size(expected));
    for (size_t i = 0; i < m.items.size(); ++i) {
        EXPECT_EQ(m.items[i].text, expected[i].text) << i;
        EXPECT_EQ(m.items[i].id, expected[i].id) << i;
        EXPECT_EQ(m.items[i].separator, expected[i].id == 0) << i;
    }
    EXPECT_EQ(Marks(), std::vector<int>{2});

    std::vector<std::string> steps;
    const auto& log = winsim::CallLog();
    auto first = std::find(log.begin(), log.end(), "LoadMenuA");
    for (auto it = first; it != log.end() && steps.size() < 9; ++it)
        if (*it != "Fails" && it->find("Message") == std::string::npos &&
            *it != "TranslateMessage" && *it != "GetFocus")
            steps.push_back(*it);
    EXPECT_EQ(steps, (std::vector<std::string>{"LoadMenuA", "GetSubMenu", "GetCursorPos",
                                               "SetForegroundWindow", "CheckMenuRadioItem",
                                               "TrackPopupMenu", "SetForegroundWindow",
                                               "DestroyMenu", "DefWindowProcA"}));
    EXPECT_EQ(winsim::LiveMenuCount(), 0);
    EXPECT_EQ(KeyWrites(), 1); // only the exit's: a dismissed menu writes nothing
}

TEST_F(TrayTest, OtherMouseMessagesOpenNothing) {
    winsim::At(300, [] {
        for (UINT mouse : {0x0200u, 0x0202u, 0x0203u, 0x0205u, 0x0206u})
            winsim::ClickTrayIcon(Main(), 0, mouse);
    });
    ExitAt(600);
    winsim::RunProgram();
    EXPECT_TRUE(winsim::TrackedMenus().empty());
    EXPECT_EQ(KeyWrites(), 1);
}

TEST_F(TrayTest, EveryModeItemSetsAndStoresItsModeAtOnce) {
    struct Case {
        const char* item;
        int32_t mode;
    } cases[] = {{"Kodak(F5)", 5},       {"Space", 2},        {"Enter", 3},
                 {"SIDEXIS", 6},         {"Alt+F, Alt+S", 7}, {"CDX View", 8},
                 {"JOYSTICK", 9},        {"JOYSTICK", 9},     {"Schick(Alt+F, Alt+T)", 4},
                 {"Custom Settings", 10}};
    std::vector<std::pair<int32_t, int32_t>> seen; // (ModeId, stored "key") after each choice
    uint64_t t = 300;
    for (const Case& c : cases) {
        ChooseFromTrayAt(t, c.item, t % 200 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
        winsim::At(t + 50, [&seen] { seen.emplace_back(gSettings.modeId, StoredKey()); });
        t += 100;
    }
    ChooseFromTrayAt(t, ""); // one more look: the mark is on "Custom Settings"
    ExitAt(t + 100);
    winsim::RunProgram();
    ASSERT_EQ(seen.size(), std::size(cases));
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, cases[i].mode) << cases[i].item;
        EXPECT_EQ(seen[i].second, cases[i].mode) << cases[i].item;
    }
    // Each opening marked the mode of that moment.
    EXPECT_EQ(Marks(), (std::vector<int>{2, 5, 2, 3, 6, 7, 8, 9, 9, 4, 10}));
    // "Custom Settings" showed the window.
    winsim::WindowInfo custom;
    ASSERT_TRUE(winsim::FindWindowInfo(gShell.customWindow, &custom));
    EXPECT_TRUE(custom.visible);
}

TEST_F(TrayTest, CustomSettingsWithoutItsWindowStillSwitchesMode) {
    winsim::ScriptMessageBoxes(IDOK, 0);
    winsim::FailCall("CreateWindowExA", 2);
    ChooseFromTrayAt(300, "Custom Settings");
    ExitAt(500);
    winsim::RunProgram();
    EXPECT_EQ(gShell.customWindow, nullptr);
    EXPECT_EQ(gSettings.modeId, 10);
    EXPECT_EQ(StoredKey(), 10);
}

TEST_F(TrayTest, ModeOutsideTheMenuIsMarkedNowhereAndWrittenBackUnchanged) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 11);
    ChooseFromTrayAt(300, "");
    ExitAt(500);
    winsim::RunProgram();
    EXPECT_EQ(Marks(), std::vector<int>{-1});
    EXPECT_EQ(StoredKey(), 11);
}

TEST_F(TrayTest, UnknownCommandsGoToTheDefaultProcedureWithoutAWrite) {
    winsim::At(300, [] {
        PostMessageA(Main(), WM_COMMAND, 40000, 0);
        PostMessageA(Main(), WM_COMMAND, 32779, 0);
    });
    winsim::At(400, [] { EXPECT_EQ(KeyWrites(), 0); });
    ExitAt(500);
    winsim::RunProgram();
    EXPECT_EQ(gSettings.modeId, 2);
}

TEST_F(TrayTest, AboutBoxShowsItsTemplateAndEndsWithOkOrCancel) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key", 6);
    std::vector<winsim::WindowInfo> controls;
    winsim::WindowInfo box{};
    ChooseFromTrayAt(300, "About");
    winsim::At(400, [&] {
        HWND dialog = FindWindowA("#32770", "About Vexor2");
        ASSERT_NE(dialog, nullptr);
        winsim::FindWindowInfo(dialog, &box);
        for (const winsim::WindowInfo& w : winsim::Windows())
            if (w.parent == dialog)
                controls.push_back(w);
        PostMessageA(GetDlgItem(dialog, IDOK), WM_NULL, 0, 0);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    ChooseFromTrayAt(600, "About");
    winsim::At(700, [] { PostMessageA(FindWindowA("#32770", "About Vexor2"), WM_CLOSE, 0, 0); });
    ExitAt(900);
    winsim::RunProgram();
    EXPECT_EQ(box.parent, gShell.mainWindow);
    ASSERT_EQ(controls.size(), 4u);
    EXPECT_EQ(controls[0].text, "Vexor2.1");
    EXPECT_EQ(controls[1].text, "OK");
    EXPECT_EQ(reinterpret_cast<intptr_t>(controls[1].menu), IDOK);
    EXPECT_EQ(controls[3].text, "#135");
    // Both closings ended the box; "key" was written after each with the mode unchanged.
    EXPECT_EQ(KeyWrites(), 3);
    EXPECT_EQ(StoredKey(), 6);
    EXPECT_FALSE(FindWindowA("#32770", "About Vexor2"));
}

TEST_F(TrayTest, AboutProcedureAnswers) {
    EXPECT_EQ(AboutProc(nullptr, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(AboutProc(nullptr, WM_COMMAND, 3, 0), FALSE);
    EXPECT_EQ(AboutProc(nullptr, WM_TIMER, 0, 0), FALSE);
}

TEST_F(TrayTest, PollingGoesOnWhileTheMenuAndTheAboutBoxAreOpen) {
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    gFakeSources.registerPoll = [] { return gFakeSources.registerPolls == 3 ? 1 : 0; };
    ChooseFromTrayAt(300, "About", WM_RBUTTONDOWN, 1000); // menu open 300..1300
    winsim::At(2300, [] { PostMessageA(FindWindowA("#32770", "About Vexor2"), WM_COMMAND, 2, 0); });
    ExitAt(2500);
    winsim::RunProgram();
    EXPECT_EQ(gFakeSources.registerPolls, 12); // 200, 400, ..., 2400
    EXPECT_EQ(Keys(), "Space+ Space-");        // the press at 600, inside the menu
}

TEST_F(TrayTest, ExplorerRestartBringsTheIconBackWithTheSameRecord) {
    std::vector<winsim::TrayIcon> during, after;
    winsim::At(300, [&] {
        winsim::RestartShell();
        during = winsim::TrayIcons();
    });
    winsim::At(400, [&] { after = winsim::TrayIcons(); });
    ChooseFromTrayAt(500, "Enter");
    ExitAt(700);
    winsim::RunProgram();
    EXPECT_TRUE(during.empty());
    ASSERT_EQ(after.size(), 1u);
    const auto& calls = winsim::TrayCalls();
    ASSERT_GE(calls.size(), 2u);
    const winsim::TrayIcon& first = calls[0].icon;
    const winsim::TrayIcon& again = calls[1].icon;
    EXPECT_EQ(calls[1].message, DWORD(NIM_ADD));
    EXPECT_TRUE(again.hwnd == first.hwnd && again.id == first.id && again.flags == first.flags &&
                again.callbackMessage == first.callbackMessage && again.icon == first.icon &&
                again.tip == first.tip);
    EXPECT_EQ(gSettings.modeId, 3); // and the icon works
}

// At logon the shell may not take icons yet: the program offers its icon again once a second
// until it is shown, and then stops asking.
TEST_F(TrayTest, AnIconTheShellRefusedIsOfferedAgainOnceASecond) {
    winsim::SetNotificationAreaBusy(true);
    winsim::At(2500, [] { winsim::SetNotificationAreaBusy(false); });
    std::vector<winsim::TrayIcon> shown;
    winsim::At(2900, [&] { shown = winsim::TrayIcons(); });
    winsim::At(3100, [&] { shown = winsim::TrayIcons(); });
    ChooseFromTrayAt(3300, "Kodak(F5)");
    ExitAt(6000);
    EXPECT_EQ(winsim::RunProgram(), 0);
    std::vector<uint64_t> adds;
    for (const winsim::TrayCall& c : winsim::TrayCalls())
        if (c.message == NIM_ADD)
            adds.push_back(c.result ? 1 : 0);
    // Refused at creation, at 1000 and 2000 ms; taken at 3000 ms; no further add.
    EXPECT_EQ(adds, (std::vector<uint64_t>{0, 0, 0, 1}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].tip, "Vexor2");
    EXPECT_EQ(gSettings.modeId, 5); // the icon works
    EXPECT_TRUE(winsim::TrayIcons().empty());
}

// An elevated copy is above Explorer: the system drops "TaskbarCreated" unless the window let it
// through, and then the icon would be gone for good after Explorer restarts.
TEST_F(TrayTest, AnElevatedCopyLetsTaskbarCreatedThroughAndGetsItsIconBack) {
    winsim::SetProcessElevation(TokenElevationTypeFull, true);
    std::vector<winsim::TrayIcon> after;
    winsim::At(300, [] { winsim::RestartShell(); });
    winsim::At(400, [&] { after = winsim::TrayIcons(); });
    ExitAt(600);
    winsim::RunProgram();
    EXPECT_TRUE(winsim::MessageAllowed(gShell.mainWindow, gTray.taskbarCreated));
    EXPECT_EQ(after.size(), 1u);

    // A system without the filter (before Windows 7): nothing to call, and the program runs on.
    ResetProgramState();
    winsim::RemoveSystemExport("user32.dll", "ChangeWindowMessageFilterEx");
    ExitAt(300);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_EQ(winsim::CallCount("ChangeWindowMessageFilterEx"), 0u);
}

// The resource script ships what the tray and the About box need.
std::vector<BYTE> ReadResourceFile(const std::string& name) {
    std::ifstream in(std::string(VEXOR_RESOURCE_DIR) + "/" + name, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(TrayTest, ResourceScriptHoldsTheMenuDialogBitmapAndIcons) {
    std::vector<winsim::MenuTemplate> menu;
    ASSERT_TRUE(winsim::MenuResource(IDR_TRAYMENU, &menu));
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_TRUE(menu[0].popup);
    EXPECT_EQ(menu[0].text, "");
    EXPECT_EQ(menu[0].items.size(), 13u);

    winsim::DialogTemplate about;
    ASSERT_TRUE(winsim::DialogResource(IDD_ABOUTBOX, &about));
    EXPECT_EQ(about.caption, "About Vexor2");
    EXPECT_EQ(about.cx, 171);
    EXPECT_EQ(about.cy, 67);
    EXPECT_EQ(about.fontName, "MS Shell Dlg");
    EXPECT_EQ(about.fontSize, 9);
    EXPECT_EQ(about.style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU),
              DWORD(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));
    struct Control {
        const char* cls;
        int id, x, y, cx, cy;
        DWORD style;
    } expected[] = {
        {"Static", -1, 103, 12, 65, 8, SS_NOPREFIX},
        {"Button", IDOK, 117, 50, 50, 14, BS_DEFPUSHBUTTON},
        {"Static", -1, 103, 23, 61, 8, 0},
        {"Static", -1, 10, 15, 86, 18, SS_BITMAP},
    };
    ASSERT_EQ(about.controls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& c = about.controls[i];
        EXPECT_EQ(c.className, expected[i].cls) << i;
        EXPECT_EQ(c.id, expected[i].id) << i;
        EXPECT_EQ(c.x, expected[i].x) << i;
        EXPECT_EQ(c.y, expected[i].y) << i;
        EXPECT_EQ(c.cx, expected[i].cx) << i;
        EXPECT_EQ(c.cy, expected[i].cy) << i;
        EXPECT_EQ(c.style & 0xFF, expected[i].style) << i;
    }
    EXPECT_EQ(about.controls[3].text, "#135");
    // The fixed product line, and the version line from the build's project version.
    EXPECT_EQ(about.controls[0].text, "Vexor2.1");
    EXPECT_EQ(about.controls[2].text, "Version " VEXOR_PROJECT_VERSION);

    // Bitmap 135: 151 x 32, 24 bits per pixel.
    std::vector<BYTE> bmp = ReadResourceFile(winsim::BitmapResourceFile(IDB_LOGO));
    ASSERT_GE(bmp.size(), 54u);
    int32_t width, height;
    uint16_t bpp;
    std::memcpy(&width, &bmp[18], 4);
    std::memcpy(&height, &bmp[22], 4);
    std::memcpy(&bpp, &bmp[28], 2);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(width, 151);
    EXPECT_EQ(height, 32);
    EXPECT_EQ(bpp, 24);

    // Icons 107, 108, 129: one 256 x 256 image with 32 bits per pixel each, stored as a PNG
    // (8-bit RGBA) to keep the exe small.
    for (UINT id : {107u, 108u, 129u}) {
        std::vector<BYTE> ico = ReadResourceFile(winsim::IconResourceFile(id));
        ASSERT_GE(ico.size(), 22u) << id;
        uint16_t count, bits;
        uint32_t size, offset;
        std::memcpy(&count, &ico[4], 2);
        std::memcpy(&bits, &ico[12], 2);
        std::memcpy(&size, &ico[14], 4);
        std::memcpy(&offset, &ico[18], 4);
        EXPECT_EQ(count, 1) << id;
        EXPECT_EQ(ico[6], 0) << id; // 0 means 256
        EXPECT_EQ(ico[7], 0) << id;
        EXPECT_EQ(bits, 32) << id;
        ASSERT_EQ(size_t(offset) + size, ico.size()) << id;
        ASSERT_GE(size, 33u) << id;
        const BYTE* png = &ico[offset];
        EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), 0) << id;
        const BYTE ihdr[] = {0, 0, 1, 0, 0, 0, 1, 0, 8, 6}; // 256 x 256, 8 bits, RGBA
        EXPECT_EQ(std::memcmp(png + 16, ihdr, sizeof ihdr), 0) << id;
    }
}

} // namespace
