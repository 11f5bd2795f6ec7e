#pragma once
// The recording panel's layout, written for 96 DPI. On a monitor with another DPI every size,
// place and offset is scaled by DPI / 96 (see common/dpi_scaling.h).
#include "common/pixel_rect.h"

#include <array>
#include <cstdint>

inline constexpr std::int32_t PanelWidth = 580;
inline constexpr std::int32_t PanelHeight = 150;

// As wide as the int control identifier of the platform (GetDlgCtrlID).
enum PanelControlId : int { // NOLINT(performance-enum-size)
    ID_START_BUTTON = 1,
    ID_PAUSE_BUTTON = 2,
    ID_FINISH_BUTTON = 3,
    ID_OPEN_BUTTON = 4,
    ID_STATUS_LINE = 10,
    ID_INFO_LINE = 11,
};

enum class PanelControlKind : std::uint8_t { Static, Button };

struct PanelControl {
    int id;
    PanelControlKind kind;
    const wchar_t* text; // null for the info line, whose text depends on the area
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
    bool initiallyEnabled;
};

inline constexpr const wchar_t* PanelTitle = L"Kestrova - nagrywanie obszaru";
inline constexpr const wchar_t* ReadyText =
    L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.";

// In creation order.
inline constexpr std::array<PanelControl, 6> PanelControls{{
    {ID_STATUS_LINE, PanelControlKind::Static, ReadyText, 12, 10, 550, 24, true},
    {ID_START_BUTTON, PanelControlKind::Button, L"Start", 12, 40, 105, 30, true},
    {ID_PAUSE_BUTTON, PanelControlKind::Button, L"Pauza", 125, 40, 105, 30, false},
    {ID_FINISH_BUTTON, PanelControlKind::Button, L"Zakoncz i zapisz", 238, 40, 145, 30, false},
    {ID_OPEN_BUTTON, PanelControlKind::Button, L"Otworz MP4", 391, 40, 155, 30, false},
    {ID_INFO_LINE, PanelControlKind::Static, nullptr, 12, 82, 550, 22, true},
}};

struct PanelPosition {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const PanelPosition&, const PanelPosition&) = default;
};

struct PanelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const PanelSize&, const PanelSize&) = default;
};

// Near the bottom-left corner of the work area of the monitor nearest to the recorded area,
// for a panel on a monitor with this DPI.
PanelPosition recordingPanelPosition(const PixelRect& workArea, std::uint32_t dpi);

// The panel's outer size at this DPI.
PanelSize recordingPanelSize(std::uint32_t dpi);

// Where a control sits in the panel's client area at this DPI.
PixelRect panelControlRect(const PanelControl& control, std::uint32_t dpi);
