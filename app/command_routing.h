#pragma once
// Which work a command identifier asks for, at the main window and at the tray menu.
#include <cstdint>

enum class MainWindowAction : std::uint8_t {
    None,
    RegionScreenshot,
    FullScreenshot,
    WindowScreenshot,
    RecordVideo,
};

// The operation the main window runs for a WM_HOTKEY with this wParam.
MainWindowAction mainWindowActionFor(unsigned long long wParam);

enum class TrayMenuAction : std::uint8_t {
    None,         // dismissed, or an identifier the menu does not have
    PostCommand,  // post WM_HOTKEY with the identifier to the main window
    CloseProgram, // post WM_CLOSE to the main window
    OpenFolder,   // open the screenshots folder in the shell
};

// What follows when the tray menu returns this identifier (0 when it was dismissed).
TrayMenuAction trayMenuActionFor(unsigned identifier);
