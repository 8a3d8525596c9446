// The Custom Settings window and key capture, driven as a user would: opened from the tray,
// keys pressed into its fields through winsim's keyboard, buttons clicked.
#include "app/settings.h"
#include "app/shell.h"
#include "customui/custom_window.h"
#include "support/fake_sources.h"
#include "support/program_test.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <utility>

namespace {

const char kPath[] = "Software\\Quillbay";

class CustomWindowTest : public ProgramTest {
  protected:
    static HWND Control(int id) { return GetDlgItem(gCustomWindow.window, id); }
    static std::string Text(HWND window) {
        winsim::WindowInfo info;
        return winsim::FindWindowInfo(window, &info) ? info.text : "<no window>";
    }
    static bool Checked(int id) { return IsDlgButtonChecked(gCustomWindow.window, id) != 0; }
    static bool Visible() { return IsWindowVisible(gCustomWindow.window) != 0; }
    static void Click(int id) { PostMessageA(Control(id), BM_CLICK, 0, 0); }
    // The user clicks into `field` and presses `key` with `held` modifiers down.
    static void PressIn(HWND field, std::initializer_list<BYTE> held, BYTE key) {
        SetFocus(field);
        for (BYTE h : held)
            keybd_event(h, 0, 0, 0);
        keybd_event(key, 0, 0, 0);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        for (BYTE h : held)
            keybd_event(h, 0, KEYEVENTF_KEYUP, 0);
    }
    static KeyStroke Slot(int i) { return gSettings.customKeys.keys[i]; }
    static bool Is(const KeyStroke& k, uint8_t alt, uint8_t control, uint8_t shift, uint32_t code) {
        return k.alt == alt && k.control == control && k.shift == shift && k.keyCode == code;
    }
    // Runs the program with `steps` at 100 ms intervals from 300 ms on, then exits.
    static void Run(std::vector<std::function<void()>> steps) {
        uint64_t t = 300;
        for (auto& step : steps) {
            winsim::At(t, step);
            t += 100;
        }
        ExitAt(t);
        EXPECT_EQ(winsim::RunProgram(), 0);
    }
};

TEST_F(CustomWindowTest, ControlsFontAndWindowAreBuiltAsDesigned) {
    Run({[] {}});
    struct Expected {
        const char* cls;
        const char* text;
        int id, x, y, w, h;
        DWORD style;
    } expected[] = {
        {"button", "Sequential", 1006, 5, 10, 90, 20, BS_AUTORADIOBUTTON},
        {"button", "Send All", 1007, 150, 10, 90, 20, BS_AUTORADIOBUTTON},
        {"static", "", -1, 5, 35, 120, 20, SS_LEFT},
        {"edit", "1000", 0, 150, 35, 120, 20, WS_BORDER | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL},
        {"static", "Key1", -1, 5, 68, 35, 20, SS_LEFT},
        {"edit", "", 0, 50, 65, 165, 20, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL},
        {"button", "Clear", 1001, 225, 65, 60, 20, BS_PUSHBUTTON},
        {"static", "Key2", -1, 5, 107, 35, 20, SS_LEFT},
        {"edit", "", 0, 50, 105, 165, 20, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL},
        {"button", "Clear", 1002, 225, 105, 60, 20, BS_PUSHBUTTON},
        {"static", "Key3", -1, 5, 149, 35, 20, SS_LEFT},
        {"edit", "", 0, 50, 145, 165, 20, WS_BORDER | ES_READONLY | ES_AUTOHSCROLL},
        {"button", "Clear", 1003, 225, 148, 60, 20, BS_PUSHBUTTON},
        {"button", "Save", 1004, 25, 180, 80, 30, BS_PUSHBUTTON},
        {"button", "Cancel", 1005, 185, 180, 80, 30, BS_PUSHBUTTON},
    };
    std::vector<winsim::WindowInfo> children;
    for (const winsim::WindowInfo& w : winsim::Windows())
        if (w.parent == gShell.customWindow)
            children.push_back(w);
    ASSERT_EQ(children.size(), std::size(expected));
    winsim::FontInfo font;
    ASSERT_TRUE(winsim::FindFont(children[0].font, &font));
    for (size_t i = 0; i < children.size(); ++i) {
        const winsim::WindowInfo& c = children[i];
        const Expected& e = expected[i];
        std::string cls = c.className;
        for (char& ch : cls)
            ch = char(std::tolower(ch));
        EXPECT_EQ(cls, e.cls) << i;
        EXPECT_EQ(c.text, e.text) << i;
        EXPECT_EQ(reinterpret_cast<intptr_t>(c.menu), e.id) << i;
        EXPECT_EQ(c.x, e.x) << i;
        EXPECT_EQ(c.y, e.y) << i;
        EXPECT_EQ(c.width, e.w) << i;
        EXPECT_EQ(c.height, e.h) << i;
        EXPECT_EQ(c.style, DWORD(WS_CHILD | WS_VISIBLE | e.style)) << i;
        EXPECT_EQ(c.exStyle, 0u) << i;
        EXPECT_EQ(c.font, children[0].font) << i;
        EXPECT_EQ(c.fontSets, 1) << i;
    }
    EXPECT_EQ(gCustomWindow.KeyField1, children[5].hwnd);
    EXPECT_EQ(gCustomWindow.KeyField2, children[8].hwnd);
    EXPECT_EQ(gCustomWindow.KeyField3, children[11].hwnd);
    EXPECT_EQ(font.height, 12);
    EXPECT_EQ(font.width + font.escapement + font.orientation + font.weight, 0);
    EXPECT_EQ(font.italic + font.underline + font.strikeOut, 0u);
    EXPECT_EQ(font.charSet, DWORD(HANGUL_CHARSET));
    EXPECT_EQ(font.outPrecision, DWORD(OUT_STROKE_PRECIS));
    EXPECT_EQ(font.clipPrecision, DWORD(CLIP_STROKE_PRECIS));
    EXPECT_EQ(font.quality, DWORD(DRAFT_QUALITY));
    EXPECT_EQ(font.pitchAndFamily, 0x12u);
    EXPECT_EQ(font.faceName, "GULIM");
    EXPECT_EQ(winsim::LiveFontCount(), 1); // created once, kept for the process's life
    EXPECT_FALSE(Checked(IdSequential) || Checked(IdSendAll));
}

TEST_F(CustomWindowTest, WithoutTheFontTheControlsKeepTheSystemFont) {
    winsim::FailCall("CreateFontA");
    Run({[] {}});
    int controls = 0;
    for (const winsim::WindowInfo& w : winsim::Windows()) {
        if (w.parent == gShell.customWindow) {
            ++controls;
            EXPECT_EQ(w.fontSets, 0) << w.text;
        }
    }
    EXPECT_EQ(controls, 15);
}

TEST_F(CustomWindowTest, CloseAndDestroyOnlyHide) {
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] {
            EXPECT_TRUE(Visible());
            SendMessageA(gCustomWindow.window, WM_CLOSE, 0, 0);
            EXPECT_FALSE(Visible());
            EXPECT_TRUE(IsWindow(gCustomWindow.window));
        },
    });
}

TEST_F(CustomWindowTest, FirstOpeningWithNothingStoredShowsDefaults) {
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] {
            EXPECT_TRUE(Visible());
            EXPECT_TRUE(Checked(IdSequential));
            EXPECT_FALSE(Checked(IdSendAll));
            EXPECT_EQ(Text(gCustomWindow.timeLabel), "initial time(ms)");
            EXPECT_EQ(Text(gCustomWindow.timeField), "0");
            EXPECT_EQ(Text(gCustomWindow.KeyField1) + Text(gCustomWindow.KeyField2) +
                          Text(gCustomWindow.KeyField3),
                      "");
            EXPECT_EQ(gSettings.modeId, 10);
        },
    });
}

TEST_F(CustomWindowTest, OpeningShowsStoredValuesAndLeavesRadiosForOtherModes) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "mode", 2);
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "time", uint32_t(-250));
    winsim::RegPutBinary(HKEY_CURRENT_USER, kPath, "key1_control", {1});
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key1_k", 0x43);
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key3_k", 0x141); // shown as the key sent
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] {
            EXPECT_FALSE(Checked(IdSequential) || Checked(IdSendAll));
            EXPECT_EQ(Text(gCustomWindow.timeLabel), "");
            EXPECT_EQ(Text(gCustomWindow.timeField), "-250");
            EXPECT_EQ(Text(gCustomWindow.KeyField1), "CTRL + C");
            EXPECT_EQ(Text(gCustomWindow.KeyField2), "");
            EXPECT_EQ(Text(gCustomWindow.KeyField3), "A");
        },
    });
}

TEST_F(CustomWindowTest, OpeningWithSendAllStoredChecksItsRadioAndLabel) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "mode", 1);
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "time", 75);
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] {
            EXPECT_TRUE(Checked(IdSendAll));
            EXPECT_FALSE(Checked(IdSequential));
            EXPECT_EQ(Text(gCustomWindow.timeLabel), "interval time(ms)");
            EXPECT_EQ(Text(gCustomWindow.timeField), "75");
            EXPECT_EQ(gSettings.customKeys.sendMode, 1u);
        },
    });
}

TEST_F(CustomWindowTest, SendModeAndClearTakeEffectAtOnceAndCancelKeepsThem) {
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "mode", 0);
    winsim::RegPutDword(HKEY_CURRENT_USER, kPath, "key1_k", 'A');
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    bool press = false;
    gFakeSources.registerPoll = [&press] { return std::exchange(press, false) ? 1 : 0; };
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] { Click(IdSendAll); },
        [] {
            EXPECT_TRUE(Checked(IdSendAll));
            EXPECT_FALSE(Checked(IdSequential));
            EXPECT_EQ(Text(gCustomWindow.timeLabel), "interval time(ms)");
            EXPECT_EQ(gSettings.customKeys.sendMode, 1u);
            Click(IdClear1);
        },
        [&press] {
            EXPECT_EQ(Text(gCustomWindow.KeyField1), "");
            EXPECT_TRUE(Is(Slot(0), 0, 0, 0, 0));
            press = true; // the camera: Send All with Key1 empty sends nothing
        },
        [] {
            EXPECT_EQ(Keys(), "");
            Click(IdCancel);
        },
        [] {
            EXPECT_FALSE(Visible());
            EXPECT_EQ(GetFocus(), nullptr); // hiding the window took the focus out of it
            EXPECT_EQ(gSettings.customKeys.sendMode, 1u);
            winsim::RegValue mode;
            winsim::RegGet(HKEY_CURRENT_USER, kPath, "mode", &mode);
            EXPECT_EQ(mode.data, (std::vector<BYTE>{0, 0, 0, 0}));
            ChooseFromTrayAt(winsim::Now(), "Custom Settings"); // reopening reloads
        },
        [] {
            EXPECT_EQ(gSettings.customKeys.sendMode, 0u);
            EXPECT_TRUE(Checked(IdSequential));
            EXPECT_EQ(Text(gCustomWindow.KeyField1), "A");
        },
    });
    EXPECT_EQ(SendKeyLines(), 1);
}

// Each step's keys are handled before the next step moves the focus, as a user's would be.
TEST_F(CustomWindowTest, KeyCaptureRecordsCombinationsOnlyInEmptyFields) {
    HWND f1, f2, f3;
    Run({
        [&] {
            ChooseFromTrayAt(winsim::Now(), "Custom Settings");
            f1 = gCustomWindow.KeyField1;
            f2 = gCustomWindow.KeyField2;
            f3 = gCustomWindow.KeyField3;
        },
        [&] { PressIn(f1, {VK_CONTROL}, 'C'); },
        [&] {
            EXPECT_EQ(Text(f1), "CTRL + C");
            EXPECT_TRUE(Is(Slot(0), 0, 1, 0, 0x43));
            PressIn(f1, {}, 'D'); // a field with text ignores keys
        },
        [&] {
            EXPECT_EQ(Text(f1), "CTRL + C");
            EXPECT_TRUE(Is(Slot(0), 0, 1, 0, 0x43));
            PressIn(f2, {VK_SHIFT}, VK_SHIFT);
            PressIn(f2, {}, 0x19);
        },
        [&] {
            EXPECT_EQ(Text(f2), ""); // modifiers alone are not recorded
            EXPECT_TRUE(Is(Slot(1), 0, 0, 0, 0));
            PressIn(f2, {VK_MENU, VK_CONTROL, VK_SHIFT}, VK_F5);
        },
        [&] {
            EXPECT_EQ(Text(f2), "ALT + CTRL + SHIFT + F5");
            EXPECT_TRUE(Is(Slot(1), 1, 1, 1, 0x74));
            PressIn(f3, {}, 0x7C); // F13: stored, but has no name to show
        },
        [&] {
            EXPECT_EQ(Text(f3), "");
            EXPECT_TRUE(Is(Slot(2), 0, 0, 0, 0x7C));
            PressIn(f3, {}, 0x65); // the next key replaces it: keypad 5
        },
        [&] {
            EXPECT_EQ(Text(f3), "5");
            EXPECT_TRUE(Is(Slot(2), 0, 0, 0, 0x65));
        },
    });
}

TEST_F(CustomWindowTest, SystemKeysAreRecordedNotActedOn) {
    HWND f1, f2, f3;
    Run({
        [&] {
            ChooseFromTrayAt(winsim::Now(), "Custom Settings");
            f1 = gCustomWindow.KeyField1;
            f2 = gCustomWindow.KeyField2;
            f3 = gCustomWindow.KeyField3;
        },
        [&] { PressIn(f1, {}, VK_TAB); },
        [&] { PressIn(f2, {VK_MENU}, VK_F4); },
        [&] { PressIn(f3, {VK_MENU}, 'F'); },
        [&] {
            EXPECT_EQ(Text(f1), "Tab");
            EXPECT_EQ(Text(f2), "ALT + F4");
            EXPECT_EQ(Text(f3), "ALT + F");
            EXPECT_TRUE(Is(Slot(2), 1, 0, 0, 0x46));
            EXPECT_TRUE(Visible()); // Alt+F4 closed nothing
            EXPECT_EQ(GetFocus(), f3);
            Click(IdClear1);
        },
        [&] {
            // Any process can post a key-down past the 256 keys; it is dropped.
            SetFocus(f1);
            PostMessageA(f1, WM_KEYDOWN, 0x141, 0);
        },
        [&] {
            EXPECT_EQ(Text(f1), "");
            EXPECT_TRUE(Is(Slot(0), 0, 0, 0, 0));
        },
    });
}

TEST_F(CustomWindowTest, TimeTextFollowsAtoiAndSaturates) {
    struct Case {
        const char* text;
        int32_t time;
    } cases[] = {{"", 0},
                 {"  42abc", 42},
                 {"-7", -7},
                 {"+15", 15},
                 {"x5", 0},
                 {"\t\n 300", 300},
                 {"2147483647", INT32_MAX},
                 {"99999999999999999999", INT32_MAX},
                 {"-2147483648", INT32_MIN},
                 {"-99999999999", INT32_MIN}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseTime(c.text), c.time) << '"' << c.text << '"';
}

TEST_F(CustomWindowTest, SaveSetsModeTenButLeavesKeyToTheMenu) {
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] { ChooseFromTrayAt(winsim::Now(), "Kodak(F5)"); },
        [] { Click(IdSave); },
        [] {
            EXPECT_FALSE(Visible());
            EXPECT_EQ(gSettings.modeId, 10);
            winsim::RegValue key;
            winsim::RegGet(HKEY_CURRENT_USER, kPath, "key", &key);
            EXPECT_EQ(key.data, (std::vector<BYTE>{5, 0, 0, 0}));
        },
    });
}

// From the tray to the imaging program: keys recorded in the window, saved, then sent.
TEST_F(CustomWindowTest, RecordedKeysAreSavedAndSentOnTheNextPress) {
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    bool press = false;
    gFakeSources.registerPoll = [&press] { return std::exchange(press, false) ? 1 : 0; };
    uint64_t pressedAt = 0;
    Run({
        [] { ChooseFromTrayAt(winsim::Now(), "Custom Settings"); },
        [] { PressIn(gCustomWindow.KeyField1, {VK_CONTROL}, 'C'); },
        [] { PressIn(gCustomWindow.KeyField2, {VK_MENU}, VK_F4); },
        [] { Click(IdSendAll); },
        [] {
            SetFocus(gCustomWindow.timeField);
            for (BYTE k : {BYTE(VK_BACK), BYTE('2'), BYTE('5'), BYTE('0')}) {
                keybd_event(k, 0, 0, 0);
                keybd_event(k, 0, KEYEVENTF_KEYUP, 0);
            }
        },
        [] {
            EXPECT_EQ(Text(gCustomWindow.timeField), "250");
            Click(IdSave);
        },
        [&] {
            // The click took the focus to Save and hiding the window took it out: the keys the
            // press sends land in no hidden field.
            EXPECT_EQ(GetFocus(), nullptr);
            winsim::ClearKeyEvents(); // keep only what the press sends
            pressedAt = winsim::Now();
            press = true;
        },
        [] {},
        [] {},
    });
    std::vector<uint64_t> downs;
    for (const winsim::KeyEvent& e : winsim::KeyEvents())
        if (!(e.flags & KEYEVENTF_KEYUP) && e.vk != VK_CONTROL && e.vk != VK_MENU)
            downs.push_back(e.time);
    ASSERT_FALSE(downs.empty());
    EXPECT_LE(downs[0] - pressedAt, 200u); // within one poll period
    EXPECT_EQ(Keys(), "Ctrl+ C+ C- Ctrl- Alt+ F4+ F4- Alt-");
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[1] - downs[0], 250u);
    EXPECT_EQ(gSettings.modeId, 10);

    struct Value {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } expected[] = {
        {"mode", REG_DWORD, {1, 0, 0, 0}}, {"time", REG_DWORD, {250, 0, 0, 0}},
        {"key1_alt", REG_BINARY, {0}},     {"key1_control", REG_BINARY, {1}},
        {"key1_shift", REG_BINARY, {0}},   {"key1_k", REG_DWORD, {0x43, 0, 0, 0}},
        {"key2_alt", REG_BINARY, {1}},     {"key2_control", REG_BINARY, {0}},
        {"key2_shift", REG_BINARY, {0}},   {"key2_k", REG_DWORD, {0x73, 0, 0, 0}},
        {"key3_alt", REG_BINARY, {0}},     {"key3_control", REG_BINARY, {0}},
        {"key3_shift", REG_BINARY, {0}},   {"key3_k", REG_DWORD, {0, 0, 0, 0}},
    };
    for (const Value& v : expected) {
        winsim::RegValue got;
        ASSERT_TRUE(winsim::RegGet(HKEY_CURRENT_USER, kPath, v.name, &got)) << v.name;
        EXPECT_EQ(got.type, v.type) << v.name;
        EXPECT_EQ(got.data, v.data) << v.name;
    }
}

} // namespace
