#pragma once
// A screen rectangle in virtual-screen pixels with the platform's RECT layout (right and bottom
// exclusive), usable by the portable logic that must not include <windows.h>.
#include <cstdint>

struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const noexcept { return right - left; }
    std::int32_t height() const noexcept { return bottom - top; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Bounds of the virtual screen from its origin and size metrics.
inline PixelRect virtualScreenRect(std::int32_t x, std::int32_t y, std::int32_t width,
                                   std::int32_t height) noexcept
{
    return {x, y, x + width, y + height};
}
