// Tray icon and mode menu. The icon and the menu arrive with the tray work; until then the
// callbacks take the system's default handling.
#include "app/tray.h"

void AddTrayIcon(HWND) {}
void RemoveTrayIcon(HWND) {}

LRESULT OnTrayCallback(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(mainWindow, message, wParam, lParam);
}

LRESULT OnMenuCommand(HWND mainWindow, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(mainWindow, message, wParam, lParam);
}
