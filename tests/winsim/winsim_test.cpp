// winsim's own control API: what the conformance tests cannot show because no real Win32 has
// it (stall detection, scripted faults, scheduled events).
#include "support/program_test.h"

namespace {

class WinsimTest : public ProgramTest {
  protected:
    static HWND PlainWindow() {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "T";
        RegisterClassExA(&wc);
        return CreateWindowExA(0, "T", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    }
};

TEST_F(WinsimTest, ALoopWithNothingToWaitForStallsInsteadOfHanging) {
    MSG msg;
    EXPECT_THROW(GetMessageA(&msg, nullptr, 0, 0), winsim::Stall);
}

TEST_F(WinsimTest, ALoopPastTheTimeLimitStalls) {
    HWND w = PlainWindow();
    SetTimer(w, 0, 200, nullptr);
    winsim::SetTimeLimit(1000);
    MSG msg;
    int ticks = 0;
    EXPECT_THROW(while (GetMessageA(&msg, nullptr, 0, 0))++ ticks, winsim::Stall);
    EXPECT_EQ(ticks, 5);
    DestroyWindow(w);
}

TEST_F(WinsimTest, MissedTimerPeriodsFoldIntoOneMessage) {
    HWND w = PlainWindow();
    SetTimer(w, 0, 200, nullptr);
    Sleep(1000); // a blocking key action
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(winsim::Now(), 1200u); // the period keeps its phase
    DestroyWindow(w);
}

TEST_F(WinsimTest, FaultsHitTheChosenOccurrence) {
    winsim::FailCall("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    winsim::FailNthCall(2, ERROR_NOT_ENOUGH_MEMORY);
    HANDLE first = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_NE(first, nullptr);
    SetLastError(0);
    EXPECT_EQ(CreateMutexA(nullptr, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    CloseHandle(first);
}

TEST_F(WinsimTest, EventsRunInTimeOrderThenInTheOrderAdded) {
    std::string order;
    winsim::At(20, [&] { order += "b"; });
    winsim::At(10, [&] { order += "a"; });
    winsim::At(20, [&] { order += "c"; });
    Sleep(15);
    EXPECT_EQ(order, "a");
    Sleep(5);
    EXPECT_EQ(order, "abc");
}

TEST_F(WinsimTest, KeysReadOnlyWithoutQueryAccessAndWritesNeedSetAccess) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, nullptr, 0, KEY_READ, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    DWORD v = 1;
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_DWORD, (const BYTE*)&v, 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(WinsimTest, AnotherProcessWaitsForTheProgramsReleaseAndThenOwnsTheMutex) {
    HANDLE mine = CreateMutexA(nullptr, TRUE, "M");
    EXPECT_FALSE(winsim::OtherProcessTakesMutex("M"));
    EXPECT_EQ(winsim::MutexOwnedByProgram("M"), 1);
    EXPECT_TRUE(ReleaseMutex(mine));
    EXPECT_EQ(WaitForSingleObject(mine, 50), DWORD(WAIT_TIMEOUT)); // the waiter got it
    winsim::OtherProcessReleasesMutex("M");
    EXPECT_EQ(WaitForSingleObject(mine, 0), DWORD(WAIT_OBJECT_0));
    ReleaseMutex(mine);
    CloseHandle(mine);
}

TEST_F(WinsimTest, ARebootDropsVolatileKeysAndEndsEveryOpenKey) {
    winsim::RegPutKey(HKEY_CURRENT_USER, "Software");
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\V\\Inner", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    winsim::RegPutDword(HKEY_CURRENT_USER, "Software\\Lasting", "v", 1);
    ASSERT_EQ(winsim::RegCreations().size(), 1u);
    EXPECT_EQ(winsim::RegCreations()[0].options, DWORD(REG_OPTION_VOLATILE));
    EXPECT_EQ(winsim::RegCreations()[0].access, REGSAM(KEY_ALL_ACCESS));
    winsim::Reboot();
    EXPECT_EQ(winsim::OpenKeyCount(), 0);
    EXPECT_FALSE(winsim::RegKeyExists(HKEY_CURRENT_USER, "Software\\V"));
    EXPECT_TRUE(winsim::RegGet(HKEY_CURRENT_USER, "Software\\Lasting", "v", nullptr));
}

} // namespace
