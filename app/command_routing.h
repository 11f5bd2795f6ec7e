#pragma once
// Which work a command identifier asks for: at the main window, whether it arrives as WM_HOTKEY
// or as a key the keyboard hook took, and at the tray menu.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "app/hotkey_table.h"

enum class MainWindowAction : std::uint8_t {
    None,
    RegionScreenshot,
    FullScreenshot,
    WindowScreenshot,
    RecordVideo,
};

// The operation the main window runs for a WM_HOTKEY with this wParam.
MainWindowAction mainWindowActionFor(unsigned long long wParam);

// Hands `registerCallback` one hotkey callback for each PrintScreen variant, under its hotkey id.
// The callback runs `run` with the action that mainWindowActionFor gives the command the hook
// posts for that id, so a key press and a WM_HOTKEY of the same command run the same action.
void registerHookCommands(const std::function<bool(HotkeyId, HotkeyCallback)>& registerCallback,
                          const std::function<void(MainWindowAction)>& run);
// Hands `unregisterCallback` the ids registerHookCommands registers, in the same order.
void unregisterHookCommands(const std::function<std::size_t(HotkeyId)>& unregisterCallback);

enum class TrayMenuAction : std::uint8_t {
    None,         // dismissed, or an identifier the menu does not have
    PostCommand,  // post WM_HOTKEY with the identifier to the main window
    CloseProgram, // post WM_CLOSE to the main window
    OpenFolder,   // open the screenshots folder in the shell
};

// What follows when the tray menu returns this identifier (0 when it was dismissed).
TrayMenuAction trayMenuActionFor(unsigned identifier);
