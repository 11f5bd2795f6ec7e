#pragma once
// Commands travel as a posted WM_HOTKEY whose wParam is one of these identifiers; no hotkey is
// ever registered with the system.

// Handed to the platform as menu item and WM_HOTKEY identifiers (UINT), so as wide as those.
enum CommandId : unsigned { // NOLINT(performance-enum-size)
    ID_REGION_SCREENSHOT = 1001,
    ID_FULL_SCREENSHOT = 1002,
    ID_WINDOW_SCREENSHOT = 1003,
    ID_OPEN_FOLDER = 1004,
    ID_EXIT = 1005,
    ID_RECORD_VIDEO = 1006,
};

// The hotkey callback id of a screenshot command is its identifier minus this base.
constexpr unsigned HotkeyCommandBase = ID_REGION_SCREENSHOT;
