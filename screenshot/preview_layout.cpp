#include "screenshot/preview_layout.h"

#include <algorithm>

using namespace PreviewLayout;

std::optional<ThumbnailSize> thumbnailSizeFor(std::int32_t width, std::int32_t height) noexcept
{
    if (width < 1 || height < 1) {
        return std::nullopt;
    }
    // Exact integer arithmetic: the factor min(344/w, 200/h) times a side, truncated. In
    // double precision the limiting side often lands just below its box (37 wide gave 343).
    const std::int64_t w = width;
    const std::int64_t h = height;
    std::int64_t thumbWidth = 0;
    std::int64_t thumbHeight = 0;
    if (ThumbnailBoxWidth * h <= ThumbnailBoxHeight * w) {
        thumbWidth = ThumbnailBoxWidth;
        thumbHeight = h * ThumbnailBoxWidth / w;
    } else {
        thumbHeight = ThumbnailBoxHeight;
        thumbWidth = w * ThumbnailBoxHeight / h;
    }
    return ThumbnailSize{static_cast<std::int32_t>(std::max<std::int64_t>(1, thumbWidth)),
                         static_cast<std::int32_t>(std::max<std::int64_t>(1, thumbHeight))};
}

PixelPoint thumbnailOrigin(const ThumbnailSize& thumbnail) noexcept
{
    return {(OuterWidth - thumbnail.width) / 2,
            ThumbnailBoxTop + (ThumbnailBoxHeight - thumbnail.height) / 2};
}

PixelPoint previewOrigin(const PixelRect& workArea) noexcept
{
    return {workArea.right - (OuterWidth + 16), workArea.bottom - (OuterHeight + 16)};
}

bool isInCloseZone(PixelPoint client) noexcept
{
    return client.x >= StatusLineRect.right && client.y < StatusLineRect.bottom + 1;
}
