#pragma once
// Owns the low-level keyboard hook that turns PrintScreen presses into commands, the
// message-only window that receives them, and the callbacks they run.
#include <windows.h>

#include "app/hotkey_table.h"

class HotkeyManager {
public:
    // The one manager, made on first use; its destruction at process exit removes the hook.
    static HotkeyManager& instance();

    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Creates the hotkey window and installs the hook; true once the hook is in place.
    bool start();
    // Refused (false) before a successful start and for an empty callable.
    bool registerCallback(HotkeyId id, HotkeyCallback callback);
    // The number of entries removed (0 or 1).
    std::size_t unregisterCallback(HotkeyId id);

    HWND window() const noexcept { return messageWindow; }
    bool started() const noexcept { return keyboardHook != nullptr; }
    bool dispatching() const noexcept { return table.dispatching(); }

private:
    HotkeyManager() = default;
    ~HotkeyManager();

    friend LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND messageWindow = nullptr;
    HHOOK keyboardHook = nullptr;
    bool keyHeld = false;
    HotkeyTable table;
};

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
