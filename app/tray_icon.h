#pragma once
#include <windows.h>

#include <string>

#include "common/unique_handle.h"

// The notification-area icon, its hidden window and context menu, and balloon messages.
class TrayIcon {
public:
    static TrayIcon& instance();

    bool create();
    void remove();
    void showNotification(const std::wstring& text);
    // The shell's notification area was made anew (Explorer restarted, or it did not exist yet
    // when the program started at logon): adds the icon again.
    void restoreIcon();

    HWND window() const noexcept { return trayWindow.get(); }

private:
    // NIM_ADD with the full record. A refusal is not kept: the next TaskbarCreated tries again.
    void addIcon();

    UniqueWindow trayWindow;
    bool iconAdded = false;
};

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
