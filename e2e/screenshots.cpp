// Takes the documentation's pictures of the real Vexor2.exe under Wine: the notification-area
// icon, the tray menu open with its radio mark, the Custom Settings window with captured keys
// and the About box, each a BMP of the screen around the window (scripts/screenshots.sh turns
// them into the PNGs under docs/images/). Exits 1 when a window to picture did not appear.
#include <windows.h>

#include "e2e/harness.h"

#include <cstdio>
#include <string>

namespace {

const WPARAM kAbout = 32771;
std::string gOut;

// Writes the screen's pixels inside `r` as a 24-bit BMP.
bool Capture(RECT r, const char* name) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h; // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (DWORD(w) * 3 + 3) & ~3u, size = stride * DWORD(h);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::string path = gOut + "\\" + name + ".bmp";
    bool ok = false;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
             std::fwrite(bits, size, 1, f) == 1;
        ok = std::fclose(f) == 0 && ok;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    CHECK(ok, "cannot write %s", path.c_str());
    if (ok)
        std::printf("screenshots: %s (%d x %d)\n", name, w, h);
    return ok;
}

RECT Around(HWND window, int margin) {
    RECT r;
    GetWindowRect(window, &r);
    InflateRect(&r, margin, margin);
    r.left = r.left < 0 ? 0 : r.left;
    r.top = r.top < 0 ? 0 : r.top;
    return r;
}

HWND VisibleWindow(const char* cls, const char* title) {
    HWND w = FindWindowA(cls, title);
    return w && IsWindowVisible(w) ? w : nullptr;
}

void TrayIconAndMenu() {
    HWND tray = nullptr;
    CHECK(
        WaitFor([&] { return (tray = VisibleWindow("__winex11_standalone_tray", nullptr)); }, 5000),
        "no notification area window");
    Pump(500); // the icon paints
    if (tray)
        Capture(Around(tray, 0), "tray_icon");

    ChooseMode(kKodak, 5); // the radio mark then sits on "Kodak(F5)"
    SetCursorPos(120, 60);
    PostMessageA(MainWindow(), kTrayCallback, 0, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    CHECK(WaitFor([&] { return (menu = VisibleWindow("#32768", nullptr)); }, 3000),
          "the tray menu did not open");
    if (!menu)
        return;
    Pump(500);
    Capture(Around(menu, 8), "tray_menu");
    Keys({}, VK_ESCAPE);
    WaitFor([] { return !VisibleWindow("#32768", nullptr); }, 2000);
}

void CustomSettingsWithKeys() {
    Command(kCustom);
    HWND window = nullptr;
    CHECK(WaitFor([&] { return (window = CustomWindow()) && IsWindowVisible(window); }, 3000),
          "the Custom Settings window did not show");
    if (!window)
        return;
    std::vector<HWND> controls = Children(window);
    CHECK(controls.size() == 15, "Custom Settings has %u controls", unsigned(controls.size()));
    if (controls.size() != 15)
        return;
    PostMessageA(controls[1], BM_CLICK, 0, 0); // Send All
    Click(controls[5]);                        // Key1
    Keys({VK_CONTROL}, 'C');
    Click(controls[8]); // Key2
    Keys({VK_MENU}, VK_F4);
    Click(controls[11]); // Key3
    Keys({VK_SHIFT}, VK_F5);
    Click(controls[3]); // the time between keys
    Keys({}, VK_END);
    for (char c : std::string("250"))
        Keys({}, BYTE(c));
    CHECK(WaitFor([&] { return Text(controls[8]) == "ALT + F4"; }, 2000), "Key2 shows \"%s\"",
          Text(controls[8]).c_str());
    Pump(300);
    Capture(Around(window, 8), "custom_settings");
    PostMessageA(controls[14], BM_CLICK, 0, 0); // Cancel
    WaitFor([&] { return !IsWindowVisible(window); }, 2000);
}

void AboutBox() {
    Command(kAbout);
    HWND about = nullptr;
    CHECK(WaitFor([&] { return (about = VisibleWindow("#32770", "About Vexor2")); }, 3000),
          "the About box did not show");
    if (!about)
        return;
    Pump(500);
    Capture(Around(about, 8), "about");
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    WaitFor([] { return !VisibleWindow("#32770", "About Vexor2"); }, 2000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    gOut = argv[1];
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.find_last_of('\\'));
    char full[MAX_PATH];
    GetFullPathNameA((dir + "\\..\\Vexor2.exe").c_str(), MAX_PATH, full, nullptr);
    gExe = full;

    // Wine draws the windows' own frames and captions, as Windows does, instead of leaving them
    // to a window manager that the private display does not have.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
        RegCloseKey(key);
    }

    ForgetEverything();
    Process p;
    if (StartRunning(&p)) {
        TrayIconAndMenu();
        CustomSettingsWithKeys();
        AboutBox();
        ExitAndCheck(&p);
    }
    for (const std::string& problem : gProblems)
        std::printf("FAILED: %s\n", problem.c_str());
    return gProblems.empty() ? 0 : 1;
}
