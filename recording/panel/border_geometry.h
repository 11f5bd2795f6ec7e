#pragma once
// Where the frame round a recorded area goes: a band outside the area, so that the frame never
// covers a pixel that is being recorded.
#include "common/pixel_rect.h"

#include <cstdint>

inline constexpr std::int32_t BorderThickness = 3;

struct BorderGeometry {
    // The frame window in virtual-screen pixels.
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    // The part cut out of the window's region, in window coordinates: exactly the area.
    PixelRect hole;
};

BorderGeometry borderGeometryFor(const PixelRect& region);
