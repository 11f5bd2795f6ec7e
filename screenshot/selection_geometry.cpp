#include "screenshot/selection_geometry.h"

#include <algorithm>

PixelPoint pointFromMouseLParam(std::intptr_t lParam) noexcept
{
    const auto bits = static_cast<std::uint64_t>(lParam);
    const auto x = static_cast<std::int16_t>(static_cast<std::uint16_t>(bits & 0xFFFFu));
    const auto y = static_cast<std::int16_t>(static_cast<std::uint16_t>((bits >> 16) & 0xFFFFu));
    return {x, y};
}

PixelRect rectBetween(PixelPoint a, PixelPoint b) noexcept
{
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

PixelRect selectionInScreen(const PixelRect& bounds, PixelPoint anchor, PixelPoint release) noexcept
{
    const PixelRect client = rectBetween(anchor, release);
    return {bounds.left + client.left, bounds.top + client.top, bounds.left + client.right,
            bounds.top + client.bottom};
}

PixelRect clipToBounds(const PixelRect& rect, const PixelRect& bounds) noexcept
{
    return {std::max(rect.left, bounds.left), std::max(rect.top, bounds.top),
            std::min(rect.right, bounds.right), std::min(rect.bottom, bounds.bottom)};
}

bool hasArea(const PixelRect& rect) noexcept
{
    return rect.left < rect.right && rect.top < rect.bottom;
}
