#pragma once
// The hidden main window: every command arrives here, and its destruction tears the program down.
#include <windows.h>

inline constexpr wchar_t MainWindowClassName[] = L"OrlimoClass";

// Registers the main window class (its result is not needed: a failure shows up as a failed
// creation) and creates the never-shown main window. Null when WM_CREATE refused it.
HWND createMainWindow(HINSTANCE instance);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
