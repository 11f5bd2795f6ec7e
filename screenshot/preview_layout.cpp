#include "screenshot/preview_layout.h"

#include <algorithm>

#include "common/dpi_scaling.h"

namespace {

PixelRect scaledRect(const PixelRect& rect, std::uint32_t dpi) noexcept
{
    return {scaleForDpi(rect.left, dpi), scaleForDpi(rect.top, dpi), scaleForDpi(rect.right, dpi),
            scaleForDpi(rect.bottom, dpi)};
}

} // namespace

PreviewGeometry previewGeometryFor(std::uint32_t dpi) noexcept
{
    const PreviewGeometry& base = PreviewAt96;
    return {scaleForDpi(base.outerWidth, dpi),
            scaleForDpi(base.outerHeight, dpi),
            scaleForDpi(base.workAreaInset, dpi),
            scaleForDpi(base.thumbnailBoxWidth, dpi),
            scaleForDpi(base.thumbnailBoxHeight, dpi),
            scaleForDpi(base.thumbnailBoxTop, dpi),
            scaledRect(base.statusLine, dpi),
            {scaleForDpi(base.closeMark.x, dpi), scaleForDpi(base.closeMark.y, dpi)},
            scaledRect(base.hint, dpi)};
}

std::optional<ThumbnailSize> thumbnailSizeFor(std::int32_t width, std::int32_t height,
                                              const PreviewGeometry& geometry) noexcept
{
    if (width < 1 || height < 1) {
        return std::nullopt;
    }
    // Exact integer arithmetic: the factor min(boxWidth/w, boxHeight/h) times a side, truncated.
    // In double precision the limiting side often lands just below its box (37 wide gave 343).
    const std::int64_t w = width;
    const std::int64_t h = height;
    const std::int64_t boxWidth = geometry.thumbnailBoxWidth;
    const std::int64_t boxHeight = geometry.thumbnailBoxHeight;
    std::int64_t thumbWidth = 0;
    std::int64_t thumbHeight = 0;
    if (boxWidth * h <= boxHeight * w) {
        thumbWidth = boxWidth;
        thumbHeight = h * boxWidth / w;
    } else {
        thumbHeight = boxHeight;
        thumbWidth = w * boxHeight / h;
    }
    return ThumbnailSize{static_cast<std::int32_t>(std::max<std::int64_t>(1, thumbWidth)),
                         static_cast<std::int32_t>(std::max<std::int64_t>(1, thumbHeight))};
}

PixelPoint thumbnailOrigin(const ThumbnailSize& thumbnail, const PreviewGeometry& geometry) noexcept
{
    return {(geometry.outerWidth - thumbnail.width) / 2,
            geometry.thumbnailBoxTop + (geometry.thumbnailBoxHeight - thumbnail.height) / 2};
}

PixelPoint previewOrigin(const PixelRect& workArea, const PreviewGeometry& geometry) noexcept
{
    return {workArea.right - (geometry.outerWidth + geometry.workAreaInset),
            workArea.bottom - (geometry.outerHeight + geometry.workAreaInset)};
}

bool isInCloseZone(PixelPoint client, const PreviewGeometry& geometry) noexcept
{
    return client.x >= geometry.statusLine.right && client.y < geometry.statusLine.bottom + 1;
}
