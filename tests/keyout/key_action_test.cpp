// What one press sends in every mode, with the exact events, their order and their timing.
#include "app/settings.h"
#include "keyout/key_action.h"
#include "support/program_test.h"

namespace {

class KeyActionTest : public ProgramTest {
  protected:
    // Every event a press makes is a plain key-down or key-up with scan code 0 and no extra
    // information; checked here, before Keys() clears the log.
    static std::string Press(int times = 1) {
        for (int i = 0; i < times; ++i)
            RunKeyAction();
        for (const winsim::KeyEvent& e : winsim::KeyEvents())
            EXPECT_TRUE(e.scan == 0 && e.extra == 0 && (e.flags == 0 || e.flags == KEYEVENTF_KEYUP))
                << "vk " << int(e.vk) << " scan " << int(e.scan) << " flags " << e.flags
                << " extra " << e.extra;
        return Keys();
    }
    static void SetKey(int slot, uint32_t keyCode, bool alt = false, bool control = false,
                       bool shift = false) {
        gSettings.customKeys.keys[slot] =
            KeyStroke{uint8_t(alt), uint8_t(control), uint8_t(shift), keyCode};
    }
    // A press at virtual time `at` (absolute ms), returning what it sent.
    static std::string PressAt(uint64_t at) {
        if (at > winsim::Now())
            Sleep(DWORD(at - winsim::Now()));
        return Press();
    }
};

TEST_F(KeyActionTest, FixedModesSendTheirKeys) {
    struct Case {
        int32_t mode;
        const char* expected;
    } cases[] = {
        {ModeSpace, "Space+ Space-"},
        {ModeEnter, "Enter+ Enter-"},
        {ModeKodak, "F5+ F5-"},
        {ModeCdxView, "Alt+ S+ S- Alt-"},
    };
    for (const Case& c : cases) {
        gSettings.modeId = c.mode;
        EXPECT_EQ(Press(), c.expected) << "mode " << c.mode;
        EXPECT_EQ(Press(), c.expected) << "mode " << c.mode << ", second press";
    }
}

TEST_F(KeyActionTest, AlternatingModesFlipOneSharedToggle) {
    gSettings.modeId = ModeSchick;
    EXPECT_EQ(Press(), "Alt+ F+ F- Alt-");
    EXPECT_EQ(Press(), "Alt+ T+ T- Alt-");
    EXPECT_EQ(Press(), "Alt+ F+ F- Alt-");

    // The flag is on now: mode 7 continues with its second combination.
    gSettings.modeId = ModeAltFAltS;
    EXPECT_EQ(Press(), "Alt+ S+ S- Alt-");
    EXPECT_EQ(Press(), "Alt+ F+ F- Alt-");

    // CDX View turns the flag off, so mode 7 starts over.
    gSettings.modeId = ModeCdxView;
    Press();
    gSettings.modeId = ModeAltFAltS;
    EXPECT_EQ(Press(), "Alt+ F+ F- Alt-");

    gSettings.modeId = ModeSidexis;
    EXPECT_EQ(Press(), "Shift+ Ctrl+ V+ V- Ctrl- Shift-");
    EXPECT_EQ(Press(), "Shift+ F12+ F12- Shift-");
    EXPECT_EQ(Press(), "Shift+ Ctrl+ V+ V- Ctrl- Shift-");
    EXPECT_FALSE(gKeyAction.keyToggle);
}

TEST_F(KeyActionTest, EveryActionTracesSendKeyEvenWhenItSendsNothing) {
    for (int32_t mode : {0, 1, 11, -5, int32_t(ModeSpace)}) {
        gSettings.modeId = mode;
        RunKeyAction();
    }
    EXPECT_EQ(Keys(), "Space+ Space-");
    EXPECT_EQ(SendKeyLines(), 5);
    EXPECT_EQ(winsim::DebugOutput().size(), 10u);
}

TEST_F(KeyActionTest, JoystickModeHoldsTheButtonFor100Ms) {
    gSettings.modeId = ModeJoystick;
    uint64_t before = winsim::Now();
    RunKeyAction();
    EXPECT_EQ(winsim::Now() - before, 100u);
    EXPECT_EQ(Keys(), "");
}

TEST_F(KeyActionTest, KeyStrokeSendsLowByteAndReleasesModifiersInPressOrder) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.sendMode = SendSequential;
    SetKey(0, 0x141, true, false, true);
    EXPECT_EQ(Press(), "Alt+ Shift+ A+ A- Alt- Shift-");
    SetKey(0, 'B', true, true, true);
    EXPECT_EQ(Press(), "Alt+ Ctrl+ Shift+ B+ B- Alt- Ctrl- Shift-");
    // Any non-zero flag byte counts; a keyCode whose low byte is 0 is still not empty.
    SetKey(0, 0x100);
    gSettings.customKeys.keys[0].control = 7;
    EXPECT_EQ(Press(), "Ctrl+ 0x00+ 0x00- Ctrl-");
}

TEST_F(KeyActionTest, SequentialAdvancesWithinTimeAndWraps) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.time = 1000;
    SetKey(0, 'A');
    SetKey(1, 'B');
    SetKey(2, 'C');
    EXPECT_EQ(PressAt(0), "A+ A-");
    EXPECT_EQ(PressAt(500), "B+ B-");
    EXPECT_EQ(PressAt(900), "C+ C-");
    EXPECT_EQ(PressAt(1500), "A+ A-"); // wrapped after Key3
    EXPECT_EQ(PressAt(3000), "A+ A-"); // 1500 ms after the last send: restart
    EXPECT_EQ(PressAt(4000), "B+ B-"); // exactly `time` still continues
    EXPECT_EQ(PressAt(5001), "A+ A-"); // one millisecond more does not
}

TEST_F(KeyActionTest, SequentialTimeArithmeticSurvivesTheTickWrap) {
    winsim::SetClockBase(0xFFFFFF00u); // the tick wraps 256 ms from now
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.time = 1000;
    SetKey(0, 'A');
    SetKey(1, 'B');
    EXPECT_EQ(PressAt(0), "A+ A-");
    EXPECT_EQ(PressAt(600), "B+ B-");
    EXPECT_EQ(PressAt(1000), "A+ A-");
    EXPECT_EQ(PressAt(2100), "A+ A-");
}

// The program runs for weeks at a time: a press that comes more than 2^31 ms (24.8 days) after
// the last one is still long past `time`, and the sequence starts over.
TEST_F(KeyActionTest, SequentialRestartsAfterAPauseOfWeeks) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.time = 1000;
    SetKey(0, 'A');
    SetKey(1, 'B');
    const uint64_t day = 24ull * 60 * 60 * 1000;
    winsim::SetTimeLimit(200 * day);
    for (uint64_t pause : {25 * day, 40 * day, 49 * day}) {
        EXPECT_EQ(PressAt(winsim::Now()), "A+ A-");
        EXPECT_EQ(PressAt(winsim::Now() + pause), "A+ A-") << "after " << pause / day << " days";
        gKeyAction.sequenceIndex = 0;
    }
}

TEST_F(KeyActionTest, SequentialEmptySlotsEndTheSequence) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.time = 1000;
    SetKey(0, 'A');
    SetKey(1, 'B');
    EXPECT_EQ(Press(3), "A+ A- B+ B- A+ A-");

    // Key2 cleared while the sequence stands at it: the next press sends Key1.
    EXPECT_EQ(gKeyAction.sequenceIndex, 1);
    SetKey(1, 0);
    EXPECT_EQ(Press(), "A+ A-");

    // Key1 empty: a sequence standing at Key2 still sends it, but once back at the start
    // nothing is sent and the last send time stays.
    SetKey(0, 0);
    SetKey(1, 'B');
    EXPECT_EQ(Press(), "B+ B-");
    DWORD last = gKeyAction.lastSendTime;
    Sleep(50);
    EXPECT_EQ(Press(2), "");
    EXPECT_EQ(gKeyAction.lastSendTime, last);
    EXPECT_EQ(gKeyAction.sequenceIndex, 0);
}

TEST_F(KeyActionTest, SequentialWithZeroOrNegativeTimeRestartsAtKey1) {
    gSettings.modeId = ModeCustom;
    SetKey(0, 'A');
    SetKey(1, 'B');
    gSettings.customKeys.time = 0;
    EXPECT_EQ(Press(2), "A+ A- B+ B-"); // same millisecond
    Sleep(1);
    EXPECT_EQ(PressAt(winsim::Now() + 1), "A+ A-");
    gSettings.customKeys.time = -1;
    EXPECT_EQ(Press(2), "A+ A- A+ A-");
}

TEST_F(KeyActionTest, SendAllWaitsOnlyBetweenTwoSentKeys) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.sendMode = SendAll;
    gSettings.customKeys.time = 500;
    SetKey(0, 'A');
    SetKey(1, 'B');
    SetKey(2, 'C');
    RunKeyAction();
    std::vector<uint64_t> downs;
    for (const winsim::KeyEvent& e : winsim::KeyEvents())
        if (!(e.flags & KEYEVENTF_KEYUP))
            downs.push_back(e.time);
    EXPECT_EQ(Keys(), "A+ A- B+ B- C+ C-");
    EXPECT_EQ(downs, (std::vector<uint64_t>{0, 500, 1000}));
    EXPECT_EQ(winsim::Now(), 1000u); // returns right after Key3

    SetKey(1, 0); // Key2 empty: Key1 only, no wait
    RunKeyAction();
    EXPECT_EQ(Keys(), "A+ A-");
    EXPECT_EQ(winsim::Now(), 1000u);

    SetKey(0, 0);
    SetKey(1, 'B');
    RunKeyAction();
    EXPECT_EQ(Keys(), "");
    // Send All leaves the Sequential state alone.
    EXPECT_EQ(gKeyAction.sequenceIndex, 0);
    EXPECT_EQ(gKeyAction.lastSendTime, 0u);
}

TEST_F(KeyActionTest, SendAllWithNegativeTimeDoesNotWait) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.sendMode = SendAll;
    gSettings.customKeys.time = -1; // only a hand-edited registry holds this
    SetKey(0, 'A');
    SetKey(1, 'B');
    RunKeyAction();
    EXPECT_EQ(Keys(), "A+ A- B+ B-");
    EXPECT_EQ(winsim::Now(), 0u);
}

TEST_F(KeyActionTest, UnknownSendModeSendsNothing) {
    gSettings.modeId = ModeCustom;
    gSettings.customKeys.sendMode = 2;
    SetKey(0, 'A');
    RunKeyAction();
    EXPECT_EQ(Keys(), "");
    EXPECT_EQ(SendKeyLines(), 1);
}

} // namespace
