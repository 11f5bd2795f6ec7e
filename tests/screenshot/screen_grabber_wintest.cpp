#include "screenshot/screen_grabber.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/bitblt_raster_ops.h"
#include "support/gdi_census.h"
#include "support/pattern_window.h"
#include "support/pixels.h"

using namespace test_support;

namespace {

BITMAP bitmapInfo(HBITMAP bitmap)
{
    BITMAP bm{};
    ::GetObjectW(bitmap, sizeof(bm), &bm);
    return bm;
}

} // namespace

TEST(ScreenGrabber, RectangleOfAKnownPatternWindowComesBackPixelForPixel)
{
    PatternWindow pattern(100, 120, 160, 90, 7);
    CapturedImage image = ScreenGrabber::instance().captureRect(RECT{100, 120, 260, 210});
    ASSERT_TRUE(image);
    const auto pixels = readPixels(image.get());
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, patternPixels(160, 90, 7));
}

TEST(ScreenGrabber, PartOfTheWindowStartsAtTheRectanglesCorner)
{
    PatternWindow pattern(200, 200, 100, 100, 9);
    CapturedImage image = ScreenGrabber::instance().captureRect(RECT{230, 250, 260, 270});
    ASSERT_TRUE(image);
    const auto pixels = readPixels(image.get());
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, crop(patternPixels(100, 100, 9), 30, 50, 30, 20));
}

TEST(ScreenGrabber, VirtualScreenHasTheMetricsSizeAndShowsTheWindow)
{
    PatternWindow pattern(40, 50, 64, 32, 11);
    CapturedImage image = ScreenGrabber::instance().captureVirtualScreen();
    ASSERT_TRUE(image);
    const BITMAP bm = bitmapInfo(image.get());
    EXPECT_EQ(bm.bmWidth, ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(bm.bmHeight, ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    const auto pixels = readPixels(image.get());
    ASSERT_TRUE(pixels);
    const int originX = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int originY = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    EXPECT_EQ(crop(*pixels, 40 - originX, 50 - originY, 64, 32), patternPixels(64, 32, 11));
}

TEST(ScreenGrabber, ForegroundWindowGrabHasItsWindowRectangle)
{
    PatternWindow pattern(300, 100, 120, 80, 13);
    ASSERT_EQ(::GetForegroundWindow(), pattern.window());
    CapturedImage image = ScreenGrabber::instance().captureForegroundWindow();
    ASSERT_TRUE(image);
    const auto pixels = readPixels(image.get());
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, patternPixels(120, 80, 13));
}

// CAPTUREBLT hides the pointer for the copy: one blink per screenshot, as the system's own
// PrintScreen gives, and layered windows are in the picture on any Windows.
TEST(ScreenGrabber, EveryGrabCopiesWithCaptureBlt)
{
    auto& ops = BitBltRasterOps::instance();
    ASSERT_TRUE(ops.installed());
    PatternWindow pattern(300, 100, 120, 80, 13);
    ASSERT_EQ(::GetForegroundWindow(), pattern.window());
    ops.take();
    auto& grabber = ScreenGrabber::instance();
    EXPECT_TRUE(grabber.captureRect(RECT{0, 0, 10, 10}));
    EXPECT_TRUE(grabber.captureVirtualScreen());
    EXPECT_TRUE(grabber.captureForegroundWindow());
    const std::vector<DWORD> expected(3, SRCCOPY | CAPTUREBLT);
    EXPECT_EQ(ops.take(), expected);
}

TEST(ScreenGrabber, GrabIsAScreenCompatibleBitmap)
{
    CapturedImage image = ScreenGrabber::instance().captureRect(RECT{0, 0, 10, 10});
    ASSERT_TRUE(image);
    ScopedGetDc screen(nullptr);
    EXPECT_EQ(bitmapInfo(image.get()).bmBitsPixel, ::GetDeviceCaps(screen.get(), BITSPIXEL));
}

TEST(ScreenGrabber, RectangleWithoutAreaGivesNothing)
{
    auto& grabber = ScreenGrabber::instance();
    EXPECT_FALSE(grabber.captureRect(RECT{10, 10, 10, 50}));
    EXPECT_FALSE(grabber.captureRect(RECT{10, 10, 50, 10}));
    EXPECT_FALSE(grabber.captureRect(RECT{50, 50, 10, 10}));
    EXPECT_FALSE(grabber.captureRect(RECT{}));
}

TEST(GdiCensus, SeesEveryLiveBitmap)
{
    // The leak checks are only worth something if the count moves.
    ASSERT_TRUE(GdiCensus::instance().installed());
    const size_t before = GdiCensus::instance().live();
    {
        CapturedImage image = ScreenGrabber::instance().captureRect(RECT{0, 0, 4, 4});
        EXPECT_EQ(GdiCensus::instance().live(), before + 1);
    }
    EXPECT_EQ(GdiCensus::instance().live(), before);
}

TEST(ScreenGrabber, GdiObjectsReturnAfterRepeatedGrabs)
{
    auto& grabber = ScreenGrabber::instance();
    {
        CapturedImage warm = grabber.captureVirtualScreen();
    }
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(grabber.captureVirtualScreen());
        EXPECT_TRUE(grabber.captureRect(RECT{5, 5, 105, 55}));
        EXPECT_FALSE(grabber.captureRect(RECT{5, 5, 5, 55}));
    }
    EXPECT_EQ(gdiSnapshot(), before);
}
