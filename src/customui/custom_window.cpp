// Custom Settings window. Its controls arrive with the Custom Settings work; until then the
// window is an empty hidden frame.
#include "customui/custom_window.h"

CustomWindow gCustomWindow;

void LoadCustomWindow() {}

LRESULT CALLBACK CustomWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}
