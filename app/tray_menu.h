#pragma once
// The tray icon's context menu, built afresh for every right click.
#include <windows.h>

inline constexpr UINT WM_TRAYICON = WM_USER + 1;

// A new popup menu with the six entries; the caller destroys it. Null when it cannot be built.
HMENU buildTrayMenu();

// Shows the menu at the pointer, owned by the tray window, and carries out the chosen entry.
void runTrayMenu(HWND trayWindow);
