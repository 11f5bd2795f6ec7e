#pragma once
// The entries of the tray icon's context menu, top to bottom.
#include <array>
#include <cstdint>

enum class TrayMenuEntryKind : std::uint8_t {
    String,
    Separator,
};

struct TrayMenuEntry {
    TrayMenuEntryKind kind;
    unsigned identifier; // 0 for the separator
    const wchar_t* text; // null for the separator
};

extern const std::array<TrayMenuEntry, 6> TrayMenuEntries;
