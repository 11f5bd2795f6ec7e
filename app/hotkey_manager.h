#pragma once
// Owns the low-level keyboard hook that turns PrintScreen presses into commands, the
// message-only window that receives them, and the callbacks they run.
//
// The hook lives on a thread of its own that does nothing but serve it: the system calls a
// low-level hook through the message loop of the thread that installed it, holds every key of
// the desktop until it answers, and removes a hook that answers too late for good. The UI thread
// may be busy for seconds (encoding a large PNG), so it must not be that thread. The window and
// every callback stay on the UI thread; the hook thread only posts WM_HOTKEY to the window, and
// while a selection overlay is open it takes Escape from every window and posts the overlay's
// cancel message there instead, which the overlay's loop on the UI thread picks up.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <thread>

#include "app/hotkey_table.h"
#include "common/unique_handle.h"

class HotkeyManager {
public:
    // The one manager, made on first use; its destruction at process exit stops the hook thread,
    // which removes the hook.
    static HotkeyManager& instance();

    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Creates the hotkey window and starts the hook thread; true once that thread has installed
    // the hook.
    bool start();
    // Refused (false) before a successful start and for an empty callable.
    bool registerCallback(HotkeyId id, HotkeyCallback callback);
    // The number of entries removed (0 or 1).
    std::size_t unregisterCallback(HotkeyId id);

    HWND window() const noexcept { return messageWindow.get(); }
    bool started() const noexcept { return keyboardHook != nullptr; }
    bool dispatching() const noexcept { return table.dispatching(); }

private:
    HotkeyManager() = default;
    ~HotkeyManager();

    friend LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
    friend LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool startHookThread() noexcept;
    void stopHookThread() noexcept;
    void serveHook(std::promise<bool> installed) noexcept;
    // Publishes to the hook thread whether the id has a callback now.
    void publishCallbackOf(HotkeyId id) noexcept;
    bool hasCallback(HotkeyId id) const noexcept;

    UniqueWindow messageWindow;
    // Written by the hook thread before it reports the installation, read by the UI thread only
    // after that report.
    HHOOK keyboardHook = nullptr;
    // Touched only by the hook procedure, which the system calls only on the hook thread, so
    // it needs no guard.
    bool keyHeld = false;
    // Set from an Escape key-down taken for an open overlay until its key-up; hook thread only.
    bool escapeHeld = false;
    // UI thread only.
    HotkeyTable table;
    // Bit n is set while id n has a callback: the one thing the hook reads that the UI thread
    // writes. The hook only ever asks for ids 0 to 2.
    std::atomic<std::uint32_t> idsWithCallback{0};
    std::thread hookThread;
    DWORD hookThreadId = 0;
};

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
