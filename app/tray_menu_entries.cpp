#include "app/tray_menu_entries.h"

#include "app/command_id.h"

// The foreground-window screenshot is reached by Alt+PrintScreen only.
const std::array<TrayMenuEntry, 6> TrayMenuEntries{{
    {TrayMenuEntryKind::String, ID_REGION_SCREENSHOT, L"Zaznacz obszar (PrintScreen)"},
    {TrayMenuEntryKind::String, ID_FULL_SCREENSHOT, L"Caly ekran (Ctrl+PrintScreen)"},
    {TrayMenuEntryKind::String, ID_RECORD_VIDEO, L"Nagrywaj wideo - wybierz obszar..."},
    {TrayMenuEntryKind::String, ID_OPEN_FOLDER, L"Otworz folder zrzutow"},
    {TrayMenuEntryKind::Separator, 0, nullptr},
    {TrayMenuEntryKind::String, ID_EXIT, L"Zakoncz"},
}};
