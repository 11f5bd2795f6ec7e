#include "recording/recording_area.h"

namespace {

// Computed in 64 bits: a rectangle spanning the whole 32-bit range must not overflow.
std::int64_t evenExtent(std::int32_t from, std::int32_t to)
{
    const std::int64_t extent = static_cast<std::int64_t>(to) - from;
    return extent - (extent & 1);
}

} // namespace

AreaCheck checkRecordingArea(const PixelRect& selection)
{
    const std::int64_t width = evenExtent(selection.left, selection.right);
    const std::int64_t height = evenExtent(selection.top, selection.bottom);
    if (width <= 0 || height <= 0) {
        return {};
    }
    if (width < MinAreaSide || height < MinAreaSide || width > MaxAreaWidth ||
        height > MaxAreaHeight) {
        return {AreaVerdict::Refuse, {}};
    }
    // Within the bounds both fit in 32 bits, and left + width never passes the original right.
    PixelRect rounded = selection;
    rounded.right = static_cast<std::int32_t>(selection.left + width);
    rounded.bottom = static_cast<std::int32_t>(selection.top + height);
    return {AreaVerdict::Accept, rounded};
}
