#include "platform/TaskBar.h"

#include <windows.h>

namespace platform::taskbar {

namespace {
void showTrayWindow(int command) {
    if (HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr)) {
        ShowWindow(tray, command);
    }
}
}  // namespace

void hide() { showTrayWindow(SW_HIDE); }
void show() { showTrayWindow(SW_SHOWNORMAL); }

}  // namespace platform::taskbar
