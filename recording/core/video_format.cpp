#include "recording/core/video_format.h"

#include <algorithm>

namespace {

// A side computed wider than 32 bits, so that no dragged rectangle can overflow it; anything
// outside 0..INT32_MAX becomes 0 and is refused by the size check.
std::int32_t evenSide(std::int64_t low, std::int64_t high) noexcept
{
    const std::int64_t side = high - low;
    if (side < 0 || side > INT32_MAX) {
        return 0;
    }
    return static_cast<std::int32_t>(side & ~std::int64_t{1});
}

} // namespace

FrameSize evenFrameSize(const PixelRect& region) noexcept
{
    return {evenSide(region.left, region.right), evenSide(region.top, region.bottom)};
}

bool isRecordableFrameSize(FrameSize size) noexcept
{
    return size.width >= MinFrameSide && size.height >= MinFrameSide &&
           size.width <= MaxFrameWidth && size.height <= MaxFrameHeight;
}

std::uint32_t nv12FrameBytes(FrameSize size) noexcept
{
    return static_cast<std::uint32_t>(size.width) * static_cast<std::uint32_t>(size.height) * 3 / 2;
}

std::int32_t videoBitRate(std::int32_t width, std::int32_t height) noexcept
{
    const std::int64_t rate = std::int64_t{width} * height * 4;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(rate, 1'000'000, 16'000'000));
}
