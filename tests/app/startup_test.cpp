// The real entry point, run in virtual time: start-up order, single instance, the windows and
// classes, autostart, polling, device changes, the key-field diversion and shutdown.
#include "app/settings.h"
#include "app/shell.h"
#include "customui/custom_window.h"
#include "support/fake_sources.h"
#include "support/program_test.h"

#include <algorithm>

namespace {

const char kRunPath[] = "Software\\MicroSoft\\Windows\\CurrentVersion\\Run";

class StartupTest : public ProgramTest {
  protected:
    static bool RunValue(std::string* path) {
        winsim::RegValue v;
        if (!winsim::RegGet(HKEY_CURRENT_USER, kRunPath, "Vexor_APP", &v))
            return false;
        if (path)
            path->assign(v.data.begin(), v.data.end());
        return true;
    }
    static std::vector<std::string> Calls(std::initializer_list<const char*> names) {
        std::vector<std::string> out;
        for (const std::string& c : winsim::CallLog())
            if (std::find(names.begin(), names.end(), c) != names.end())
                out.push_back(c);
        return out;
    }
};

TEST_F(StartupTest, StartsInOrderRunsAndExitsCleanly) {
    winsim::SetSystemMetric(SM_CXMAXIMIZED, 1601); // odd sizes: the division truncates
    winsim::SetSystemMetric(SM_CYMAXIMIZED, 901);
    std::vector<winsim::WindowInfo> running;
    std::vector<winsim::TimerInfo> timers;
    winsim::At(500, [&] {
        running = winsim::Windows();
        timers = winsim::Timers();
    });
    ExitAt(1000);
    EXPECT_EQ(winsim::RunProgram(), 0);

    std::vector<std::string> order =
        Calls({"LoadStringA", "RegisterClassExA", "CreateMutexA", "RegOpenKeyExA",
               "CreateWindowExA", "SetTimer", "GetModuleFileNameA", "RegCreateKeyExA",
               "AttachButtonSource", "DetachButtonSource"});
    std::vector<std::string> expected = {"LoadStringA",  "RegisterClassExA", "RegisterClassExA",
                                         "CreateMutexA", "RegOpenKeyExA",    "CreateWindowExA",
                                         "SetTimer"};
    // The Custom Settings window, then its fifteen controls from its WM_CREATE.
    expected.insert(expected.end(), 16, "CreateWindowExA");
    for (const char* call : {"GetModuleFileNameA", "RegCreateKeyExA", "AttachButtonSource",
                             "RegCreateKeyExA", "DetachButtonSource"})
        expected.push_back(call);
    EXPECT_EQ(order, expected);
    running.erase(std::remove_if(running.begin(), running.end(),
                                 [](const winsim::WindowInfo& w) { return w.style & WS_CHILD; }),
                  running.end());

    ASSERT_EQ(running.size(), 2u);
    const winsim::WindowInfo& main = running[0];
    EXPECT_EQ(main.className, "Vexor");
    EXPECT_EQ(main.text, "");
    EXPECT_EQ(main.style, DWORD(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(main.exStyle, 0u);
    EXPECT_FALSE(main.visible);
    EXPECT_EQ(main.parent, nullptr);
    const winsim::WindowInfo& custom = running[1];
    EXPECT_EQ(custom.className, "Custom");
    EXPECT_EQ(custom.text, "Custom Settings");
    EXPECT_EQ(custom.style, DWORD(WS_CAPTION));
    EXPECT_FALSE(custom.visible);
    EXPECT_EQ(custom.x, (1601 - 300) / 2);
    EXPECT_EQ(custom.y, (901 - 250) / 2);
    EXPECT_EQ(custom.width, 300);
    EXPECT_EQ(custom.height, 250);
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].hwnd, main.hwnd);
    EXPECT_EQ(timers[0].id, 0u);
    EXPECT_EQ(timers[0].period, 200u);

    // Shutdown: timer gone, ModeId stored, source detached after the window went.
    EXPECT_TRUE(winsim::Timers().empty());
    EXPECT_EQ(gFakeSources.attachCalls, 1);
    EXPECT_EQ(gFakeSources.detachCalls, 1);
    EXPECT_FALSE(gFakeSources.mainWindowAliveAtDetach);
    winsim::RegValue key;
    ASSERT_TRUE(winsim::RegGet(HKEY_CURRENT_USER, "Software\\Quillbay", "key", &key));
    EXPECT_EQ(key.data, (std::vector<BYTE>{2, 0, 0, 0}));
    EXPECT_TRUE(winsim::MessageBoxes().empty());
    EXPECT_TRUE(winsim::MutexExists("Vexor2"));
}

TEST_F(StartupTest, ClassesAreRegisteredCustomFirstWithTheirAttributes) {
    ExitAt(100);
    winsim::RunProgram();
    EXPECT_EQ(winsim::RegisteredClassNames(), (std::vector<std::string>{"Custom", "Vexor"}));
    WNDCLASSEXA custom, main;
    ASSERT_TRUE(winsim::RegisteredClass("Custom", &custom));
    ASSERT_TRUE(winsim::RegisteredClass("Vexor", &main));
    for (const WNDCLASSEXA* c : {&custom, &main}) {
        EXPECT_EQ(c->style, UINT(CS_HREDRAW | CS_VREDRAW));
        EXPECT_EQ(c->cbClsExtra, 0);
        EXPECT_EQ(c->cbWndExtra, 0);
        EXPECT_EQ(c->hInstance, winsim::ProgramInstance());
        EXPECT_EQ(winsim::CursorName(c->hCursor), "system:32512");
        EXPECT_EQ(c->lpszMenuName, nullptr);
        EXPECT_EQ(winsim::IconName(c->hIconSm), "resource:108");
    }
    EXPECT_EQ(winsim::IconName(custom.hIcon), "system:32512");
    EXPECT_EQ(winsim::IconName(main.hIcon), "resource:107");
    EXPECT_EQ(winsim::BrushName(custom.hbrBackground), "color:15");
    EXPECT_EQ(winsim::BrushName(main.hbrBackground), "color:5");
}

TEST_F(StartupTest, SecondCopyExitsAtOnceTouchingNothing) {
    for (bool otherUser : {false, true}) {
        SetUp();
        winsim::OtherProcessCreatesMutex("Vexor2", otherUser);
        winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 4);
        EXPECT_EQ(winsim::RunProgram(), 0) << otherUser;
        EXPECT_TRUE(winsim::Windows().empty()) << otherUser;
        EXPECT_TRUE(winsim::RegWrites().empty()) << otherUser;
        EXPECT_EQ(winsim::CallCount("RegOpenKeyExA"), 0u) << otherUser;
        EXPECT_TRUE(winsim::MessageBoxes().empty()) << otherUser;
        EXPECT_EQ(gFakeSources.attachCalls + gFakeSources.detachCalls, 0) << otherUser;
        EXPECT_EQ(gSettings.modeId, 2) << otherUser;
        EXPECT_EQ(winsim::OpenHandleCount(), 0) << otherUser;
    }
}

// The logon start is a command line: unquoted, a path with spaces (the package installs under
// "Program Files (x86)") would start C:\Program.exe, if there is one, in the program's place.
TEST_F(StartupTest, FirstStartRegistersAutostartWithTheFullPath) {
    const std::string exe = "C:\\Program Files (x86)\\Vexor2\\Vexor2.exe";
    winsim::SetModuleFileName(exe);
    ExitAt(100);
    winsim::RunProgram();
    winsim::Reboot(); // it is meant to start at the next logon
    std::string path;
    ASSERT_TRUE(RunValue(&path));
    EXPECT_EQ(path, '"' + exe + '"' + '\0');
    auto w = std::find_if(winsim::RegWrites().begin(), winsim::RegWrites().end(),
                          [](const winsim::RegWrite& r) { return r.name == "Vexor_APP"; });
    ASSERT_NE(w, winsim::RegWrites().end());
    EXPECT_EQ(w->type, DWORD(REG_SZ));
    EXPECT_EQ(gSettings.modeId, 2);
}

TEST_F(StartupTest, AutostartIsNotWrittenForAMissingOrCutPath) {
    struct Case {
        const char* what;
        std::string path;
        bool failCall;
        bool written;
    } cases[] = {
        {"path fills the buffer", std::string(MAX_PATH, 'x'), false, false},
        {"path longer than the buffer", std::string(400, 'x'), false, false},
        {"longest path that fits", std::string(MAX_PATH - 1, 'y'), false, true},
        {"GetModuleFileNameA fails", "C:\\Vexor2.exe", true, false},
    };
    for (const Case& c : cases) {
        SetUp();
        winsim::SetModuleFileName(c.path);
        if (c.failCall)
            winsim::FailCall("GetModuleFileNameA");
        ExitAt(100);
        EXPECT_EQ(winsim::RunProgram(), 0) << c.what;
        std::string value;
        EXPECT_EQ(RunValue(&value), c.written) << c.what;
        if (c.written) {
            EXPECT_EQ(value, '"' + c.path + '"' + '\0') << c.what << ": the whole path, quoted";
        }
        EXPECT_EQ(gFakeSources.attachCalls, 1) << c.what;
        TearDown();
    }
}

TEST_F(StartupTest, RunKeyFailureIsSilent) {
    winsim::FailCall("RegCreateKeyExA"); // the autostart's, the first creation of the run
    ExitAt(100);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_FALSE(RunValue(nullptr));
    EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(StartupTest, ClassRegistrationFailureShowsRegErrorThenCreateError) {
    winsim::ScriptMessageBoxes(IDOK, 0);
    winsim::FailCall("RegisterClassExA");
    ExitAt(1000);
    EXPECT_EQ(winsim::RunProgram(), 0);
    const auto& boxes = winsim::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Reg Error");
    EXPECT_EQ(boxes[1].text, "Create Error");
    for (const auto& b : boxes) {
        EXPECT_EQ(b.owner, nullptr);
        EXPECT_FALSE(b.hasCaption);
        EXPECT_EQ(b.type, UINT(MB_OK));
    }
    EXPECT_EQ(gShell.customWindow, nullptr);
    EXPECT_EQ(gFakeSources.attachCalls, 1); // start-up went on
}

TEST_F(StartupTest, TicksDuringTheCreateErrorBoxFindNoSource) {
    winsim::ScriptMessageBoxes(IDOK, 1100); // the user reads it for a while
    winsim::FailCall("CreateWindowExA", 2); // the Custom Settings window
    uint64_t attachedAt = 0;
    gFakeSources.onAttach = [&] {
        attachedAt = winsim::Now();
        gButtonSource.registerSource = true;
    };
    ExitAt(1500);
    EXPECT_EQ(winsim::RunProgram(), 0);
    ASSERT_EQ(winsim::MessageBoxes().size(), 1u);
    EXPECT_EQ(winsim::MessageBoxes()[0].text, "Create Error");
    EXPECT_EQ(attachedAt, 1100u);
    // Ticks at 1200 and 1400 only: the five during the box found nothing attached.
    EXPECT_EQ(gFakeSources.registerPolls, 2);
}

TEST_F(StartupTest, MainWindowFailureEndsSilently) {
    winsim::FailCall("CreateWindowExA", 1);
    EXPECT_EQ(winsim::RunProgram(), 0);
    EXPECT_TRUE(winsim::Timers().empty());
    EXPECT_FALSE(RunValue(nullptr));
    EXPECT_EQ(gFakeSources.attachCalls + gFakeSources.detachCalls, 0);
    EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(StartupTest, EachTickPollsOneSourceInOrderOfPrecedence) {
    struct Case {
        bool reg, eva, capture;
        int registerPolls, evaPolls, capturePolls;
    } cases[] = {
        {true, true, true, 4, 0, 0},
        {false, true, true, 0, 4, 0},
        {false, false, true, 0, 0, 4},
        {false, false, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SetUp();
        static CaptureDeviceButton device;
        gFakeSources.onAttach = [&] {
            gButtonSource.registerSource = c.reg;
            gButtonSource.evaSource = c.eva;
            gButtonSource.captureDevice = c.capture ? &device : nullptr;
        };
        ExitAt(900); // ticks at 200, 400, 600, 800
        winsim::RunProgram();
        EXPECT_EQ(gFakeSources.registerPolls, c.registerPolls);
        EXPECT_EQ(gFakeSources.evaPolls, c.evaPolls);
        EXPECT_EQ(gFakeSources.capturePolls, c.capturePolls);
        TearDown();
    }
}

// An idle tick is the timer message and the poll: the focus matters only for key-downs.
TEST_F(StartupTest, IdleTicksDoNotAskForTheFocus) {
    gFakeSources.onAttach = [] { gButtonSource.evaSource = true; };
    ExitAt(2100);
    winsim::RunProgram();
    EXPECT_EQ(gFakeSources.evaPolls, 10);
    EXPECT_EQ(winsim::CallCount("GetFocus"), 0u);
}

TEST_F(StartupTest, APressRunsTheKeyActionOnceInsideItsTick) {
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Quillbay", "key", 4);
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    // Presses reported at the second and fourth ticks.
    gFakeSources.registerPoll = [] { return gFakeSources.registerPolls % 2 == 0 ? 1 : 0; };
    ExitAt(900);
    winsim::RunProgram();
    EXPECT_EQ(Keys(), "Alt+ F+ F- Alt- Alt+ T+ T- Alt-");
    EXPECT_EQ(SendKeyLines(), 2);
}

TEST_F(StartupTest, EvaPollCountsOnlyPositiveResults) {
    gFakeSources.onAttach = [] { gButtonSource.evaSource = true; };
    gFakeSources.evaPoll = [] { return gFakeSources.evaPolls == 1 ? -1 : 1; };
    ExitAt(500); // ticks at 200 (-1) and 400 (1)
    winsim::RunProgram();
    EXPECT_EQ(Keys(), "Space+ Space-");
}

TEST_F(StartupTest, OnlyTimerZeroPollsAndEveryDeviceChangeReattaches) {
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    winsim::At(100, [] {
        PostMessageA(gShell.mainWindow, WM_TIMER, 7, 0);
        PostMessageA(gShell.mainWindow, WM_TIMER, 0, 0);
        for (WPARAM event : {0x8000u, 0x8004u, 0x0007u})
            PostMessageA(gShell.mainWindow, WM_DEVICECHANGE, event, 0);
    });
    ExitAt(150);
    winsim::RunProgram();
    EXPECT_EQ(gFakeSources.registerPolls, 1);
    EXPECT_EQ(gFakeSources.attachCalls, 4);
}

// A window that records the key messages dispatched to it.
std::vector<UINT> gFieldMessages;
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_KEYDOWN && msg <= WM_SYSCHAR)
        gFieldMessages.push_back(msg);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterRecordingClass() {
    gFieldMessages.clear();
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "RecordingField";
    RegisterClassExA(&wc);
}

TEST_F(StartupTest, KeyDownsAtAFocusedKeyFieldAreNeverDispatched) {
    RegisterRecordingClass();
    HWND field = nullptr, other = nullptr;
    winsim::At(100, [&] {
        field = CreateWindowExA(0, "RecordingField", "", WS_CHILD, 0, 0, 10, 10,
                                gShell.customWindow, nullptr, nullptr, nullptr);
        other = CreateWindowExA(0, "RecordingField", "", WS_CHILD, 0, 0, 10, 10,
                                gShell.customWindow, nullptr, nullptr, nullptr);
        gCustomWindow.KeyField2 = field;
        SetFocus(field);
        for (BYTE vk : {BYTE(VK_MENU), BYTE('F'), BYTE(VK_TAB), BYTE(VK_RETURN), BYTE(VK_F10)}) {
            keybd_event(vk, 0, 0, 0);
            keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
        }
    });
    std::vector<UINT> atField;
    winsim::At(200, [&] {
        atField = gFieldMessages;
        gFieldMessages.clear();
        SetFocus(other); // not a key field: keys are translated and dispatched
        keybd_event('G', 0, 0, 0);
        keybd_event('G', 0, KEYEVENTF_KEYUP, 0);
    });
    ExitAt(300);
    winsim::RunProgram();
    // Only the key-ups reached the field: no key-down and no character (F10's is a system one).
    EXPECT_EQ(atField, (std::vector<UINT>{WM_SYSKEYUP, WM_KEYUP, WM_KEYUP, WM_KEYUP, WM_SYSKEYUP}));
    EXPECT_EQ(gFieldMessages,
              (std::vector<UINT>{WM_KEYDOWN, WM_CHAR,
                                 WM_KEYUP})); // characters are posted, so before the key-up
}

TEST_F(StartupTest, KeyFieldsNeverCreatedDoNotSwallowKeysWithoutFocus) {
    RegisterRecordingClass();
    winsim::At(100, [] {
        HWND target = CreateWindowExA(0, "RecordingField", "", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
        ASSERT_EQ(GetFocus(), nullptr);
        PostMessageA(target, WM_KEYDOWN, 'A', 1);
    });
    ExitAt(200);
    winsim::RunProgram();
    EXPECT_EQ(gFieldMessages, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR}));
}

TEST_F(StartupTest, FailedMessageFetchShutsDownWithoutDispatching) {
    gFakeSources.onAttach = [] { gButtonSource.registerSource = true; };
    winsim::At(300, [] { winsim::FailCall("GetMessageA"); });
    EXPECT_EQ(winsim::RunProgram(), 0);
    // The call already waiting when the fault was set still fetched the tick at 400.
    EXPECT_EQ(gFakeSources.registerPolls, 2);
    EXPECT_EQ(gFakeSources.detachCalls, 1);
    EXPECT_FALSE(IsWindow(gShell.mainWindow));
    EXPECT_TRUE(winsim::Timers().empty());
    EXPECT_LT(winsim::Now(), 1000u);
}

} // namespace
