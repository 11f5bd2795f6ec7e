#include "screenshot/selection_geometry.h"

#include <gtest/gtest.h>

TEST(MouseLParam, ReadsPositiveCoordinates)
{
    EXPECT_EQ(pointFromMouseLParam((200 << 16) | 100), (PixelPoint{100, 200}));
}

TEST(MouseLParam, ReadsNegativeCoordinatesAsSigned16Bit)
{
    EXPECT_EQ(pointFromMouseLParam(0xFFFF'FFFF), (PixelPoint{-1, -1}));
    EXPECT_EQ(pointFromMouseLParam(0x8000'7FFF), (PixelPoint{32767, -32768}));
}

TEST(MouseLParam, IgnoresBitsAboveTheLowDoubleWord)
{
    const std::intptr_t withHighBits =
        static_cast<std::intptr_t>(static_cast<std::uint64_t>(0xFFFF'FFFF'0005'0003ull));
    EXPECT_EQ(pointFromMouseLParam(withHighBits), (PixelPoint{3, 5}));
}

TEST(SelectionInScreen, DragDownRightFromTheCorner)
{
    EXPECT_EQ(selectionInScreen({0, 0, 1280, 1024}, {10, 20}, {110, 70}),
              (PixelRect{10, 20, 110, 70}));
}

TEST(SelectionInScreen, DragUpLeftGivesTheSameRectangle)
{
    const PixelRect bounds{0, 0, 1280, 1024};
    EXPECT_EQ(selectionInScreen(bounds, {110, 70}, {10, 20}),
              selectionInScreen(bounds, {10, 20}, {110, 70}));
}

TEST(SelectionInScreen, MixedDirectionsNormalise)
{
    const PixelRect bounds{0, 0, 1280, 1024};
    EXPECT_EQ(selectionInScreen(bounds, {110, 20}, {10, 70}), (PixelRect{10, 20, 110, 70}));
    EXPECT_EQ(selectionInScreen(bounds, {10, 70}, {110, 20}), (PixelRect{10, 20, 110, 70}));
}

TEST(SelectionInScreen, ReleasePointIsExcluded)
{
    const PixelRect r = selectionInScreen({0, 0, 1280, 1024}, {5, 5}, {6, 9});
    EXPECT_EQ(r.width(), 1);
    EXPECT_EQ(r.height(), 4);
}

TEST(SelectionInScreen, ClickWithoutDragHasNoArea)
{
    const PixelRect r = selectionInScreen({0, 0, 1280, 1024}, {40, 50}, {40, 50});
    EXPECT_EQ(r, (PixelRect{40, 50, 40, 50}));
    EXPECT_FALSE(hasArea(r));
}

TEST(SelectionInScreen, NegativeVirtualScreenOriginShiftsIntoScreenCoordinates)
{
    // A monitor left of and above the primary one: client (0,0) is the screen's (-1920,-300).
    const PixelRect bounds{-1920, -300, 1920, 1080};
    EXPECT_EQ(selectionInScreen(bounds, {100, 50}, {300, 250}),
              (PixelRect{-1820, -250, -1620, -50}));
    EXPECT_EQ(selectionInScreen(bounds, {2000, 400}, {1900, 200}), (PixelRect{-20, -100, 80, 100}));
}

TEST(SelectionInScreen, PointsBeyondTheEdgesComeBackUnclipped)
{
    const PixelRect bounds{0, 0, 1280, 1024};
    EXPECT_EQ(selectionInScreen(bounds, {10, 10}, {-30, -40}), (PixelRect{-30, -40, 10, 10}));
    EXPECT_EQ(selectionInScreen(bounds, {1200, 1000}, {1500, 1100}),
              (PixelRect{1200, 1000, 1500, 1100}));
}

TEST(VirtualScreenRect, AddsSizeToOrigin)
{
    EXPECT_EQ(virtualScreenRect(-1920, -300, 3840, 1380), (PixelRect{-1920, -300, 1920, 1080}));
    EXPECT_EQ(virtualScreenRect(0, 0, 1280, 1024), (PixelRect{0, 0, 1280, 1024}));
}

TEST(ClipToBounds, KeepsARectangleInside)
{
    EXPECT_EQ(clipToBounds({10, 20, 30, 40}, {0, 0, 100, 100}), (PixelRect{10, 20, 30, 40}));
}

TEST(ClipToBounds, CutsEverySideThatOverhangs)
{
    EXPECT_EQ(clipToBounds({-30, -40, 1500, 1100}, {0, 0, 1280, 1024}),
              (PixelRect{0, 0, 1280, 1024}));
    EXPECT_EQ(clipToBounds({-2000, -400, -1800, -200}, {-1920, -300, 1920, 1080}),
              (PixelRect{-1920, -300, -1800, -200}));
}

TEST(ClipToBounds, RectangleOutsideBecomesEmpty)
{
    EXPECT_FALSE(hasArea(clipToBounds({1300, 10, 1400, 20}, {0, 0, 1280, 1024})));
    EXPECT_FALSE(hasArea(clipToBounds({10, -50, 20, 0}, {0, 0, 1280, 1024})));
}

TEST(HasArea, NeedsStrictlyPositiveWidthAndHeight)
{
    EXPECT_TRUE(hasArea({0, 0, 1, 1}));
    EXPECT_FALSE(hasArea({0, 0, 0, 10}));
    EXPECT_FALSE(hasArea({0, 0, 10, 0}));
    EXPECT_FALSE(hasArea({10, 10, 5, 20}));
    EXPECT_FALSE(hasArea({}));
}
