// The extension-unit server check: the registration record, the decision between registering in
// this process and the elevated installer, the pauses, and the installer path's limits.
#include "chiplib/chip_test.h"
#include "chiplib/extension_unit_installer.h"
#include "winsim/modules.h"
#include "winsim/system.h"

#include <string>

namespace {

const char kKey[] = "Software\\Empia\\UVC Extension Control";
const char kDirectory[] = "C:\\Program Files\\Vexor2";
const char kInstaller[] = "C:\\Program Files\\Vexor2\\Install_UvcCtrl.exe ";
const char kServerFile[] = "C:\\Windows\\System32\\emxunit.dll";

int gRegistrations = 0;
HRESULT WINAPI CountRegistration() {
    ++gRegistrations;
    winsim::Note("DllRegisterServer");
    return S_OK;
}
int gPlanted = 0;
HRESULT WINAPI PlantedRegistration() {
    ++gPlanted;
    return S_OK;
}

class InstallerTest : public ChipTest {
  protected:
    void SetUp() override {
        ChipTest::SetUp();
        gRegistrations = 0;
        winsim::Module server{"emxunit.dll", {}};
        server.exports["DllRegisterServer"] = reinterpret_cast<void*>(&CountRegistration);
        winsim::AddModule(server);
        winsim::AddFile(kInstaller);
        winsim::AddFile(kServerFile);
    }
    void TearDown() override {
        EXPECT_EQ(winsim::LoadedModuleReferences(), 0) << "libraries left loaded";
        ChipTest::TearDown();
    }

    static void Record(DWORD version, const std::string& file) {
        winsim::RegPutDword(HKEY_CURRENT_USER, kKey, "Version Number", version);
        std::vector<BYTE> path(file.begin(), file.end());
        path.push_back(0);
        winsim::RegPut(HKEY_CURRENT_USER, kKey, "FileName Path", REG_SZ, path);
    }
    // What the check did: "none", "registered", "installer".
    static std::string Outcome() {
        bool ran = !winsim::ShellExecutions().empty();
        if (gRegistrations && ran)
            return "both";
        return gRegistrations ? "registered" : ran ? "installer" : "none";
    }
};

TEST_F(InstallerTest, CurrentRecordInstallsNothing) {
    Record(kMinimumServerVersion, kServerFile);
    EnsureExtensionUnitControl();
    EXPECT_EQ(Outcome(), "none");
    EXPECT_EQ(winsim::Now(), 0u);
    EXPECT_TRUE(winsim::LoadLibraryNames().empty());
    // The version is compared unsigned: a number with the top bit set is a recent one.
    Record(0x80000000, kServerFile);
    EnsureExtensionUnitControl();
    EXPECT_EQ(Outcome(), "none");
}

TEST_F(InstallerTest, OldMissingOrDanglingRecordRunsTheInstaller) {
    Record(kMinimumServerVersion - 1, kServerFile);
    DWORD version = 0xFFFF;
    EXPECT_EQ(ReadInstalledVersion(&version), 1);
    EXPECT_EQ(version, kMinimumServerVersion - 1);
    EnsureExtensionUnitControl();
    EXPECT_EQ(Outcome(), "installer");
    ASSERT_EQ(winsim::ShellExecutions().size(), 1u);
    const winsim::ShellExecution& e = winsim::ShellExecutions()[0];
    EXPECT_EQ(e.cbSize, sizeof(SHELLEXECUTEINFOA));
    EXPECT_EQ(e.mask, 0u);
    EXPECT_EQ(e.hwnd, nullptr);
    EXPECT_EQ(e.verb, "runas");
    EXPECT_EQ(e.file, kInstaller);
    EXPECT_EQ(e.parameters, "(null)");
    EXPECT_EQ(e.directory, "(null)");
    EXPECT_EQ(e.show, SW_HIDE);
    EXPECT_EQ(winsim::Now(), 1500u); // the installer's pause
    EXPECT_EQ(winsim::CallCount("GetTokenInformation"), 2u);

    // A record naming a file that is gone, and no record at all, count as missing.
    for (int variant = 0; variant < 2; ++variant) {
        winsim::Reset();
        gExtensionUnitInstaller = ExtensionUnitInstaller{};
        winsim::AddFile(kInstaller);
        if (variant == 0)
            Record(0x2000, "C:\\gone\\emxunit.dll");
        DWORD v = 0;
        EXPECT_EQ(ReadInstalledVersion(&v), 0);
        EnsureExtensionUnitControl();
        EXPECT_EQ(winsim::ShellExecutions().size(), 1u) << variant;
        // The key is created, empty, when it did not exist; nothing is written to it.
        EXPECT_TRUE(winsim::RegKeyExists(HKEY_CURRENT_USER, kKey));
        EXPECT_TRUE(winsim::RegWrites().empty());
    }
}

TEST_F(InstallerTest, ElevatedOrOldSystemsRegisterInProcess) {
    struct Case {
        const char* name;
        DWORD major;
        DWORD platform;
        DWORD type;
        bool flag;
        bool tokenQueried;
        const char* outcome;
    } cases[] = {
        {"full token", 6, VER_PLATFORM_WIN32_NT, TokenElevationTypeFull, false, true, "registered"},
        {"elevated flag", 10, VER_PLATFORM_WIN32_NT, TokenElevationTypeDefault, true, true,
         "registered"},
        {"limited", 6, VER_PLATFORM_WIN32_NT, TokenElevationTypeLimited, false, true, "installer"},
        {"default", 6, VER_PLATFORM_WIN32_NT, TokenElevationTypeDefault, false, true, "installer"},
        {"XP", 5, VER_PLATFORM_WIN32_NT, TokenElevationTypeLimited, false, false, "registered"},
        {"Windows 98", 6, VER_PLATFORM_WIN32_WINDOWS, TokenElevationTypeLimited, false, false,
         "registered"},
    };
    for (const Case& c : cases) {
        winsim::Reset();
        gRegistrations = 0;
        SetUp();
        winsim::SetWindowsVersion(c.major, 0, 1000, c.platform);
        winsim::SetProcessElevation(c.type, c.flag);
        // Old systems get a current record: the version check alone decides to register there.
        if (!c.tokenQueried)
            Record(kMinimumServerVersion, kServerFile);
        EnsureExtensionUnitControl();
        EXPECT_EQ(Outcome(), c.outcome) << c.name;
        EXPECT_EQ(winsim::CallCount("OpenProcessToken") > 0, c.tokenQueried) << c.name;
        if (std::string(c.outcome) == "registered") {
            EXPECT_EQ(winsim::LoadLibraryNames(), std::vector<std::string>{"emxunit.dll"});
            EXPECT_EQ(winsim::LoadedModuleReferences(), 0) << c.name;
            EXPECT_EQ(winsim::Now(), 300u) << c.name;
        }
        EXPECT_EQ(winsim::OpenHandleCount(), 0) << c.name << ": token left open";
    }
}

// Registering runs elevated: a DLL of the same name planted in the current directory or on PATH
// would run with the user's rights raised. Only the program's and the system's folders count.
TEST_F(InstallerTest, TheServerIsLoadedFromTheProgramOrSystemFolderOnly) {
    winsim::SetProcessElevation(TokenElevationTypeFull, true);
    winsim::SetProcessDirectory("C:\\Users\\Public\\Downloads");
    gPlanted = 0;
    winsim::RemoveModule("emxunit.dll");
    for (auto at : {winsim::Module::CurrentDirectory, winsim::Module::PathFolder}) {
        winsim::Module planted{"emxunit.dll", {}, at};
        planted.exports["DllRegisterServer"] = reinterpret_cast<void*>(&PlantedRegistration);
        winsim::AddModule(planted);
    }
    EnsureExtensionUnitControl();
    EXPECT_EQ(gPlanted, 0);
    EXPECT_EQ(winsim::CallCount("LoadLibraryA"), 0u);
    ASSERT_EQ(winsim::CallCount("LoadLibraryExA"), 1u);

    // The server in the system folder: found there.
    winsim::Module server{"emxunit.dll", {}, winsim::Module::SystemFolder};
    server.exports["DllRegisterServer"] = reinterpret_cast<void*>(&CountRegistration);
    winsim::AddModule(server);
    EnsureExtensionUnitControl();
    EXPECT_EQ(gRegistrations, 1);

    // A system without the safe search flags (kernel32 lacks AddDllDirectory) is given the two
    // full paths, the program's folder first.
    winsim::RemoveSystemExport("kernel32.dll", "AddDllDirectory");
    EnsureExtensionUnitControl();
    EXPECT_EQ(gRegistrations, 2);
    EXPECT_EQ(gPlanted, 0);
    const std::vector<std::string> expected = {"emxunit.dll", "emxunit.dll",
                                               "C:\\Program Files\\Vexor2\\emxunit.dll",
                                               "C:\\Windows\\system32\\emxunit.dll"};
    EXPECT_EQ(winsim::LoadLibraryNames(), expected);
}

TEST_F(InstallerTest, FailingQueriesMeanTheInstaller) {
    winsim::SetProcessElevation(TokenElevationTypeFull, true);
    for (const char* failing : {"OpenProcessToken", "GetTokenInformation"}) {
        gExtensionUnitInstaller = ExtensionUnitInstaller{};
        size_t before = winsim::ShellExecutions().size();
        winsim::FailCall(failing);
        EnsureExtensionUnitControl();
        EXPECT_EQ(winsim::ShellExecutions().size(), before + 1) << failing;
        EXPECT_EQ(gRegistrations, 0) << failing;
    }
    // The version cannot be read: treated as an old system, registered here.
    winsim::FailCall("GetVersionExA");
    EnsureExtensionUnitControl();
    EXPECT_EQ(gRegistrations, 1);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
}

TEST_F(InstallerTest, MissingPiecesEndTheAttemptQuietly) {
    // No installer file: no prompt, no pause.
    winsim::RemoveFile(kInstaller);
    EnsureExtensionUnitControl();
    EXPECT_EQ(Outcome(), "none");
    EXPECT_EQ(winsim::Now(), 0u);

    // Elevated without the library: nothing to register, no pause.
    winsim::SetProcessElevation(TokenElevationTypeFull, true);
    winsim::RemoveModule("emxunit.dll");
    EnsureExtensionUnitControl();
    EXPECT_EQ(winsim::Now(), 0u);

    // A library without the export is loaded and freed again, with the pause.
    winsim::AddModule(winsim::Module{"emxunit.dll", {}});
    EnsureExtensionUnitControl();
    EXPECT_EQ(gRegistrations, 0);
    EXPECT_EQ(winsim::CallCount("FreeLibrary"), 1u);
    EXPECT_EQ(winsim::Now(), 300u);
}

TEST_F(InstallerTest, ElevationPromptAtMostOncePerRun) {
    // The user declines: no pause, and no second prompt at the next initialisations.
    winsim::ScriptElevation(false);
    EnsureExtensionUnitControl();
    ASSERT_EQ(winsim::ShellExecutions().size(), 1u);
    EXPECT_FALSE(winsim::ShellExecutions()[0].accepted);
    EXPECT_EQ(winsim::Now(), 0u);
    EnsureExtensionUnitControl();
    EnsureExtensionUnitControl();
    EXPECT_EQ(winsim::ShellExecutions().size(), 1u);
    EXPECT_EQ(winsim::Now(), 0u);

    // Accepted, but the record stays old (another user's registry got it): still only once.
    winsim::Reset();
    gExtensionUnitInstaller = ExtensionUnitInstaller{};
    winsim::AddFile(kInstaller);
    int started = 0;
    winsim::ScriptElevation(true, [&](const winsim::ShellExecution&) { ++started; });
    for (int i = 0; i < 3; ++i)
        EnsureExtensionUnitControl();
    EXPECT_EQ(started, 1);
    EXPECT_EQ(winsim::Now(), 1500u);
}

TEST_F(InstallerTest, TheInstallerIsLookedForBesideTheProgramOnly) {
    // At logon the current directory is the system folder; a file planted there, or wherever
    // the user's shell stood, must never be started elevated.
    winsim::RemoveFile(kInstaller);
    for (const char* dir : {"C:\\Windows\\system32", "C:\\Users\\Public\\Downloads"}) {
        winsim::SetProcessDirectory(dir);
        winsim::AddFile(std::string(dir) + "\\Install_UvcCtrl.exe");
        EnsureExtensionUnitControl();
    }
    EXPECT_TRUE(winsim::ShellExecutions().empty());
    EXPECT_EQ(winsim::Now(), 0u);
    winsim::AddFile(kInstaller);
    EnsureExtensionUnitControl();
    ASSERT_EQ(winsim::ShellExecutions().size(), 1u);
    EXPECT_EQ(winsim::ShellExecutions()[0].file, kInstaller);
}

TEST_F(InstallerTest, InstallerPathMustFitOrNothingRuns) {
    winsim::FailCall("GetModuleFileNameA");
    EnsureExtensionUnitControl();
    EXPECT_TRUE(winsim::ShellExecutions().empty());

    // 238 characters and the 21 of the name fill the 260 bytes exactly; one more does not fit.
    std::string fits = "C:\\" + std::string(235, 'd');
    std::string tooLong = fits + "e";
    for (const std::string& dir : {tooLong, fits}) {
        winsim::SetModuleFileName(dir + "\\Vexor2.exe");
        winsim::AddFile(dir + "\\Install_UvcCtrl.exe");
        EnsureExtensionUnitControl();
    }
    ASSERT_EQ(winsim::ShellExecutions().size(), 1u);
    EXPECT_EQ(winsim::ShellExecutions()[0].file, fits + "\\Install_UvcCtrl.exe ");
}

TEST_F(InstallerTest, FileNamePathIsReadWithRoomForItsEnd) {
    // The longest path Windows has, 259 characters, stored with its terminator: 260 bytes, read
    // whole. Stored without one, it still ends inside the buffer.
    std::string name(259, 'f');
    winsim::AddFile(name);
    winsim::RegPutDword(HKEY_CURRENT_USER, kKey, "Version Number", 0x1000);
    for (bool terminated : {true, false}) {
        std::vector<BYTE> stored(name.begin(), name.end());
        if (terminated)
            stored.push_back(0);
        winsim::RegPut(HKEY_CURRENT_USER, kKey, "FileName Path", REG_SZ, stored);
        DWORD version = 0;
        EXPECT_EQ(ReadInstalledVersion(&version), 1) << terminated;
    }
    // 261 bytes do not fit the 260 the value may fill: the record counts as missing.
    name += "gg";
    winsim::RegPut(HKEY_CURRENT_USER, kKey, "FileName Path", REG_SZ,
                   std::vector<BYTE>(name.begin(), name.end()));
    winsim::AddFile(name);
    DWORD version = 0;
    EXPECT_EQ(ReadInstalledVersion(&version), 0);
    EXPECT_EQ(winsim::OpenKeyCount(), 0);
}

} // namespace
