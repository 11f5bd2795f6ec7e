#include "recording/panel/border_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(BorderGeometry, SurroundsTheAreaWithThreePixels)
{
    const BorderGeometry geometry = borderGeometryFor({100, 200, 740, 680});
    EXPECT_EQ(geometry.x, 97);
    EXPECT_EQ(geometry.y, 197);
    EXPECT_EQ(geometry.width, 646);
    EXPECT_EQ(geometry.height, 486);
}

TEST(BorderGeometry, HoleIsExactlyTheArea)
{
    const PixelRect area{100, 200, 740, 680};
    const BorderGeometry geometry = borderGeometryFor(area);
    EXPECT_EQ(geometry.hole, (PixelRect{3, 3, 643, 483}));
    // Back in screen coordinates the hole is the recorded area itself.
    EXPECT_EQ(geometry.x + geometry.hole.left, area.left);
    EXPECT_EQ(geometry.y + geometry.hole.top, area.top);
    EXPECT_EQ(geometry.x + geometry.hole.right, area.right);
    EXPECT_EQ(geometry.y + geometry.hole.bottom, area.bottom);
}

TEST(BorderGeometry, AreaAtTheScreenEdgeIsNeitherClippedNorMoved)
{
    const BorderGeometry geometry = borderGeometryFor({0, 0, 16, 16});
    EXPECT_EQ(geometry.x, -3);
    EXPECT_EQ(geometry.y, -3);
    EXPECT_EQ(geometry.width, 22);
    EXPECT_EQ(geometry.height, 22);
    EXPECT_EQ(geometry.hole, (PixelRect{3, 3, 19, 19}));
}

TEST(BorderGeometry, NegativeVirtualScreenCoordinates)
{
    const BorderGeometry geometry = borderGeometryFor({-1920, -200, -1280, 280});
    EXPECT_EQ(geometry.x, -1923);
    EXPECT_EQ(geometry.y, -203);
    EXPECT_EQ(geometry.width, 646);
    EXPECT_EQ(geometry.height, 486);
}

} // namespace
