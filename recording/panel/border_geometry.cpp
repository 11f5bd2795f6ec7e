#include "recording/panel/border_geometry.h"

BorderGeometry borderGeometryFor(const PixelRect& region)
{
    const std::int32_t width = region.width();
    const std::int32_t height = region.height();
    BorderGeometry geometry;
    geometry.x = region.left - BorderThickness;
    geometry.y = region.top - BorderThickness;
    geometry.width = width + 2 * BorderThickness;
    geometry.height = height + 2 * BorderThickness;
    geometry.hole = {BorderThickness, BorderThickness, width + BorderThickness,
                     height + BorderThickness};
    return geometry;
}
