#pragma once
#include <windows.h>

#include <string>

// The notification-area icon, its hidden window and context menu, and balloon messages.
class TrayIcon {
public:
    static TrayIcon& instance();

    bool create();
    void remove();
    void showNotification(const std::wstring& text);

    HWND window() const noexcept { return trayWindow; }

private:
    HWND trayWindow = nullptr;
    bool iconAdded = false;
};

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
