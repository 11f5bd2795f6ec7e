#pragma once
#include <windows.h>
#include <dwmapi.h>

#include "common/unique_handle.h"

// Cancels the running selection as Escape does, posted to any window of the UI thread: the
// overlay's loop takes every message of that thread. Other threads hand it a cancel this way.
inline constexpr UINT WM_CANCEL_SELECTION = WM_APP + 0x100;

// A dimmed, topmost layer over the given bounds on which the user drags a rectangle. Each use
// makes a fresh object, calls run() once and lets the destructor close it.
class SelectionOverlay {
public:
    SelectionOverlay() = default;
    SelectionOverlay(const SelectionOverlay&) = delete;
    SelectionOverlay& operator=(const SelectionOverlay&) = delete;
    ~SelectionOverlay() { close(); }

    // The dragged rectangle in screen coordinates (left <= right, top <= bottom), or all zero
    // when cancelled, when the window could not be made or when the loop ended without a drag.
    RECT run(const RECT& bounds);
    void close();

    // True while any overlay of the process is running. Its loop keeps dispatching the UI
    // thread's messages, so screenshot and recording commands still arrive meanwhile; they
    // ask this and drop themselves, so only one selection is ever on the screen. Any thread
    // may ask.
    static bool isOpen() noexcept;

private:
    friend LRESULT CALLBACK SelectionOverlayWndProc(HWND, UINT, WPARAM, LPARAM);

    UniqueWindow window;
    RECT selection{};
};

LRESULT CALLBACK SelectionOverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// What the overlay takes from dwmapi.dll, which is not a known DLL: looked up in the system
// folder on first use and kept for the life of the process. Null where it is missing; the grab
// after a drag then goes on without waiting for a composed frame. Tests put a stand-in in its
// place to observe the call.
struct DwmFunctions {
    decltype(&::DwmFlush) flush = nullptr;
};
DwmFunctions& dwmFunctions();
