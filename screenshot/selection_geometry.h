#pragma once
#include <cstdint>

#include "common/pixel_rect.h"

struct PixelPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// A mouse message's lParam: x in the low word and y in the high word, each a signed 16-bit
// value, so points left of or above the window come back negative while the mouse is captured.
PixelPoint pointFromMouseLParam(std::intptr_t lParam) noexcept;

// The rectangle spanned by two corners in either order; the second point itself is excluded,
// so the width is |b.x - a.x| and the height |b.y - a.y|.
PixelRect rectBetween(PixelPoint a, PixelPoint b) noexcept;

// The overlay's result: the dragged rectangle in client coordinates moved by the overlay's
// screen origin. Points beyond the edges are kept as they are.
PixelRect selectionInScreen(const PixelRect& bounds, PixelPoint anchor,
                            PixelPoint release) noexcept;

// The intersection used before a grab; may come out empty.
PixelRect clipToBounds(const PixelRect& rect, const PixelRect& bounds) noexcept;

// Strictly positive width and height: anything else chose nothing and cannot be grabbed.
bool hasArea(const PixelRect& rect) noexcept;
