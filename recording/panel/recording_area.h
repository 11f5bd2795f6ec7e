#pragma once
// What becomes of the rectangle dragged for a recording: the encoder wants even sizes, and the
// area must stay within what the panel offers to record.
#include "common/pixel_rect.h"

#include <cstdint>

enum class AreaVerdict : std::uint8_t {
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
