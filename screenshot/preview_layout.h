#pragma once
#include <cstdint>
#include <optional>

#include "common/pixel_rect.h"
#include "screenshot/selection_geometry.h"

// Geometry of the screenshot preview in physical pixels for one DPI: the 96-DPI layout below,
// every size, place and offset times DPI / 96.
struct PreviewGeometry {
    std::int32_t outerWidth = 0;
    std::int32_t outerHeight = 0;
    // Between the preview and the work area's right and bottom edges.
    std::int32_t workAreaInset = 0;
    std::int32_t thumbnailBoxWidth = 0;
    std::int32_t thumbnailBoxHeight = 0;
    std::int32_t thumbnailBoxTop = 0;
    PixelRect statusLine;
    PixelPoint closeMark;
    PixelRect hint;
    friend bool operator==(const PreviewGeometry&, const PreviewGeometry&) = default;
};

inline constexpr PreviewGeometry PreviewAt96{
    376, 288, 16, 344, 200, 40, {16, 10, 338, 35}, {350, 10}, {16, 253, 360, 280}};

PreviewGeometry previewGeometryFor(std::uint32_t dpi) noexcept;

struct ThumbnailSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const ThumbnailSize&, const ThumbnailSize&) = default;
};

// Scales the picture to touch the thumbnail box (344x200 at 96 DPI), enlarging small pictures
// too, each side at least 1; none for a picture without area.
std::optional<ThumbnailSize> thumbnailSizeFor(std::int32_t width, std::int32_t height,
                                              const PreviewGeometry& geometry) noexcept;

// Where the thumbnail is drawn: centred on the outer width and inside the box's band.
PixelPoint thumbnailOrigin(const ThumbnailSize& thumbnail,
                           const PreviewGeometry& geometry) noexcept;

// The preview's outer top-left corner, the inset in from the work area's bottom-right corner.
PixelPoint previewOrigin(const PixelRect& workArea, const PreviewGeometry& geometry) noexcept;

// The corner with the close mark: a click there closes without opening the file.
bool isInCloseZone(PixelPoint client, const PreviewGeometry& geometry) noexcept;
