// The Windows Installer package as a practice's IT person uses it, under Wine: a silent install,
// what it leaves on the machine, the installed program running, a major upgrade, a refused
// downgrade, and an uninstall that takes everything away, running copy included.
// Run by e2e/msi_scenario.sh with the path, product code and version of three packages of the
// same program: the current version, a newer and an older one.
#include <windows.h>

#include <msi.h>
#include <shlobj.h>

#include "e2e/harness.h"

#include <cstdio>
#include <string>

namespace {

const char kUpgradeCode[] = "{6C0B7E52-3F0D-4B8A-9E2C-5D1A7B4F9E31}";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const UINT kInstallFailure = 1603;

bool UnderWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string Folder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// msiexec with the given arguments, silently; its exit code.
DWORD Msiexec(const std::string& arguments) {
    std::string commandLine = "msiexec.exe " + arguments + " /qn";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        Problem("cannot start \"%s\": error %lu", commandLine.c_str(), GetLastError());
        return DWORD(-1);
    }
    CloseHandle(pi.hThread);
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        Problem("\"%s\" did not end within 120 s", commandLine.c_str());
    CloseHandle(pi.hProcess);
    return code;
}

std::string ProductInfo(const std::string& code, const char* property) {
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (MsiGetProductInfoA(code.c_str(), property, value, &size) != ERROR_SUCCESS)
        return "(none)";
    return value;
}

// The products of this upgrade family that Windows Installer knows, in its order.
std::string Installed() {
    std::string list;
    char code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i)
        list += (list.empty() ? "" : " ") + std::string(code);
    return list;
}

bool Value(HKEY root, const std::string& path, const char* name, std::string* text) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = "";
    DWORD size = sizeof buffer - 1, type = 0;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return false;
    if (text)
        *text = buffer;
    return true;
}

std::string ShortcutTarget(const std::string& link) {
    IShellLinkA* shellLink = nullptr;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = "";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
        if (SUCCEEDED(
                shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
            if (SUCCEEDED(file->Load(wide, STGM_READ)))
                shellLink->GetPath(target, MAX_PATH, nullptr, 0);
            file->Release();
        }
        shellLink->Release();
    }
    return target;
}

struct Machine {
    std::string folder = Folder(CSIDL_PROGRAM_FILES) + "\\Vexor2\\";
    std::string exe = folder + "Vexor2.exe";
    std::string commonLink = Folder(CSIDL_COMMON_PROGRAMS) + "\\Vexor2.lnk";
    std::string userLink = Folder(CSIDL_PROGRAMS) + "\\Vexor2.lnk";
};

// What one installed version leaves: the file, the Start menu entry, the Apps & Features entry.
void CheckInstalled(const Machine& m, const std::string& code, const std::string& versionText) {
    const char* version = versionText.c_str();
    CHECK(Exists(m.exe), "%s: no %s", version, m.exe.c_str());
    // A per-machine package puts its shortcut in the common Start menu. Wine 8 resolves
    // ProgramMenuFolder to the installing user's menu even for a per-machine package.
    std::string link = Exists(m.commonLink) ? m.commonLink : m.userLink;
    CHECK(Exists(m.commonLink) || (UnderWine() && Exists(m.userLink)), "%s: no shortcut %s",
          version, m.commonLink.c_str());
    std::string target = ShortcutTarget(link);
    CHECK(lstrcmpiA(target.c_str(), m.exe.c_str()) == 0, "%s: the shortcut points to \"%s\"",
          version, target.c_str());

    std::string key = kUninstall + code, text;
    CHECK(Value(HKEY_LOCAL_MACHINE, key, "DisplayName", &text) && text == "Vexor2",
          "%s: Apps & Features name \"%s\"", version, text.c_str());
    text.clear();
    CHECK(Value(HKEY_LOCAL_MACHINE, key, "Publisher", &text) && text == "Quillbay",
          "%s: publisher \"%s\"", version, text.c_str());
    text.clear();
    CHECK(Value(HKEY_LOCAL_MACHINE, key, "DisplayVersion", &text) && text == version,
          "%s: displayed version \"%s\"", version, text.c_str());
    text.clear();
    CHECK(Value(HKEY_LOCAL_MACHINE, key, "InstallLocation", &text) &&
              lstrcmpiA(text.c_str(), m.folder.c_str()) == 0,
          "%s: install location \"%s\"", version, text.c_str());
    std::string icon = ProductInfo(code, INSTALLPROPERTY_PRODUCTICON);
    CHECK(Exists(icon), "%s: product icon \"%s\" missing", version, icon.c_str());
    CHECK(Installed() == code, "%s: installed products \"%s\"", version, Installed().c_str());
}

void CheckNothingLeft(const Machine& m, const std::string& icon, const char* when) {
    CHECK(!Exists(m.folder), "%s: %s is left", when, m.folder.c_str());
    CHECK(!Exists(m.commonLink) && !Exists(m.userLink), "%s: a shortcut is left", when);
    CHECK(Installed().empty(), "%s: installed products \"%s\"", when, Installed().c_str());
    CHECK(!Exists(icon), "%s: the product icon %s is left", when, icon.c_str());
    CHECK(!Value(HKEY_LOCAL_MACHINE, kRun, "Vexor_APP", nullptr),
          "%s: the machine's logon start is left", when);
    CHECK(!Value(HKEY_CURRENT_USER, kRun, "Vexor_APP", nullptr),
          "%s: the user's logon start is left", when);
}

std::string RunValue(HKEY root) {
    std::string text = "(none)";
    Value(root, kRun, "Vexor_APP", &text);
    return text;
}

} // namespace

struct Package {
    std::string path, code, version;
};

int main(int argc, char** argv) {
    if (argc != 10) {
        std::fprintf(stderr, "usage: msi_scenario {PACKAGE.msi PRODUCTCODE VERSION} x 3: "
                             "current, newer, older\n");
        return 2;
    }
    const Package current{argv[1], argv[2], argv[3]}, newer{argv[4], argv[5], argv[6]},
        older{argv[7], argv[8], argv[9]};
    CoInitialize(nullptr);
    Machine m;
    DWORD code;

    std::printf("msi: install %s\n", current.path.c_str());
    CHECK((code = Msiexec("/i \"" + current.path + "\"")) == 0, "install: exit %lu", code);
    CheckInstalled(m, current.code, current.version);
    CHECK(RunValue(HKEY_LOCAL_MACHINE) == "(none)", "install: machine logon start \"%s\"",
          RunValue(HKEY_LOCAL_MACHINE).c_str());
    std::string icon = ProductInfo(current.code, INSTALLPROPERTY_PRODUCTICON);

    // The installed program runs and, as always, makes itself start at this user's logon.
    Process running;
    if (StartRunning(&running, m.exe)) {
        const std::string command = '"' + m.exe + '"'; // under "Program Files": quoted
        CHECK(WaitFor(
                  [&] {
                      return lstrcmpiA(RunValue(HKEY_CURRENT_USER).c_str(), command.c_str()) == 0;
                  },
                  5000),
              "installed program: logon start \"%s\"", RunValue(HKEY_CURRENT_USER).c_str());
    }

    std::printf("msi: upgrade with %s\n", newer.path.c_str());
    CHECK((code = Msiexec("/i \"" + newer.path + "\"")) == 0, "upgrade: exit %lu", code);
    CheckInstalled(m, newer.code, newer.version);
    CHECK(MsiQueryProductStateA(current.code.c_str()) == INSTALLSTATE_UNKNOWN,
          "upgrade: the older product is still known");
    CHECK(!Value(HKEY_LOCAL_MACHINE, kUninstall + current.code, "DisplayName", nullptr),
          "upgrade: the older Apps & Features entry is left");
    CHECK(running.Wait(5000) != STILL_ACTIVE, "upgrade: the running copy was not stopped");
    // On Windows the older version's removal inside an upgrade sees UPGRADINGPRODUCTCODE and
    // keeps the user's logon start (the path stays the same). Wine 8 removes the older product
    // without it, so the value goes and comes back at the program's next start.
    CHECK(RunValue(HKEY_CURRENT_USER) != "(none)" || UnderWine(),
          "upgrade: the user's logon start was removed");

    std::printf("msi: older %s over the newer\n", older.path.c_str());
    code = Msiexec("/i \"" + older.path + "\"");
    CHECK(code == kInstallFailure, "downgrade: exit %lu, not %u", code, kInstallFailure);
    CHECK(Installed() == newer.code, "downgrade: installed products \"%s\"", Installed().c_str());
    CHECK(MsiQueryProductStateA(older.code.c_str()) == INSTALLSTATE_UNKNOWN,
          "downgrade: the older product was installed");
    CHECK(Exists(m.exe), "downgrade: the program is gone");

    // A running copy must not keep the uninstall from removing its file.
    Process again;
    StartRunning(&again, m.exe);
    CHECK(WaitFor([&] { return RunValue(HKEY_CURRENT_USER) != "(none)"; }, 5000),
          "before uninstall: no logon start");
    std::printf("msi: uninstall %s\n", newer.code.c_str());
    CHECK((code = Msiexec("/x " + newer.code)) == 0, "uninstall: exit %lu", code);
    CHECK(again.Wait(5000) != STILL_ACTIVE, "uninstall: the running copy was not stopped");
    CheckNothingLeft(m, icon, "uninstall");

    // Logon start for every user, asked for on the command line, goes with the uninstall.
    std::printf("msi: install for every user's logon, uninstall\n");
    CHECK((code = Msiexec("/i \"" + current.path + "\" ADDLOCAL=ALL")) == 0,
          "install with ADDLOCAL=ALL: exit %lu", code);
    CHECK(lstrcmpiA(RunValue(HKEY_LOCAL_MACHINE).c_str(), ('"' + m.exe + '"').c_str()) == 0,
          "ADDLOCAL=ALL: machine logon start \"%s\"", RunValue(HKEY_LOCAL_MACHINE).c_str());
    CHECK((code = Msiexec("/x \"" + current.path + "\"")) == 0, "uninstall: exit %lu", code);
    CheckNothingLeft(m, icon, "uninstall after ADDLOCAL=ALL");

    CoUninitialize();
    for (const std::string& problem : gProblems)
        std::printf("FAILED: %s\n", problem.c_str());
    std::printf("msi: %s\n", gProblems.empty() ? "all checks passed" : "checks failed");
    return gProblems.empty() ? 0 : 1;
}
