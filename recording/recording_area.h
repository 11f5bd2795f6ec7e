#pragma once
// What becomes of the rectangle dragged for a recording: the encoder wants even sizes, and the
// area must stay within what the panel offers to record.
#include "app/pixel_rect.h"

#include <cstdint>

inline constexpr std::int32_t MinAreaSide = 16;
inline constexpr std::int32_t MaxAreaWidth = 3840;
inline constexpr std::int32_t MaxAreaHeight = 2160;

enum class AreaVerdict {
    Ignore, // cancelled, or nothing left after rounding: no panel, no message
    Refuse, // too small or too large: the user is told the allowed sizes
    Accept, // `region` holds the rounded area
};

struct AreaCheck {
    AreaVerdict verdict = AreaVerdict::Ignore;
    PixelRect region;
};

// Rounds width and height down to even numbers, keeping left and top, then judges the size.
AreaCheck checkRecordingArea(const PixelRect& selection);
