#pragma once
#include <cstdint>
#include <optional>

#include "common/pixel_rect.h"
#include "screenshot/selection_geometry.h"

// Geometry of the screenshot preview, in physical pixels (never scaled for DPI).
namespace PreviewLayout {

inline constexpr std::int32_t OuterWidth = 376;
inline constexpr std::int32_t OuterHeight = 288;
inline constexpr std::int32_t ThumbnailBoxWidth = 344;
inline constexpr std::int32_t ThumbnailBoxHeight = 200;
inline constexpr std::int32_t ThumbnailBoxTop = 40;
inline constexpr PixelRect StatusLineRect{16, 10, 338, 35};
inline constexpr PixelPoint CloseMarkOrigin{350, 10};
inline constexpr PixelRect HintRect{16, 253, 360, 280};

} // namespace PreviewLayout

struct ThumbnailSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const ThumbnailSize&, const ThumbnailSize&) = default;
};

// Scales the picture to touch the 344x200 box (enlarging small pictures too), each side at
// least 1; none for a picture without area.
std::optional<ThumbnailSize> thumbnailSizeFor(std::int32_t width, std::int32_t height) noexcept;

// Where the thumbnail is drawn: centred on the outer width and inside the 200-pixel band.
PixelPoint thumbnailOrigin(const ThumbnailSize& thumbnail) noexcept;

// The preview's outer top-left corner, 16 pixels in from the work area's bottom-right corner.
PixelPoint previewOrigin(const PixelRect& workArea) noexcept;

// The corner with the close mark: a click there closes without opening the file.
bool isInCloseZone(PixelPoint client) noexcept;
