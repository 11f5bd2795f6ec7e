#include "recording/desktop_capture.h"
#include "common/failure.h"
#include "recording/pattern_window.h"
#include "screenshot/bitblt_raster_ops.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

// Blue, green, red of the pixel at (x, y) of a top-down BGRA frame.
std::uint32_t colourAt(const std::uint8_t* pixels, int width, int x, int y)
{
    const std::uint8_t* p = pixels + (static_cast<std::size_t>(y) * width + x) * 4;
    return RGB(p[2], p[1], p[0]);
}

bool showsPattern(const DesktopCapture& capture, int width, int offsetX, int offsetY)
{
    for (int y = 0; y < PatternHeight; ++y) {
        for (int x = 0; x < PatternWidth; ++x) {
            const int quadrant = (x * 2 / PatternWidth) + 2 * (y * 2 / PatternHeight);
            if (colourAt(capture.pixels(), width, offsetX + x, offsetY + y) !=
                QuadrantColours[static_cast<std::size_t>(quadrant)]) {
                return false;
            }
        }
    }
    return true;
}

std::optional<Failure> failureOfCapture(std::int32_t width, std::int32_t height)
{
    try {
        DesktopCapture capture(PixelRect{0, 0, width, height}, width, height);
    } catch (const Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

} // namespace

TEST(DesktopCapture, GrabsTheScreenPixelsOfTheRegionTopDown)
{
    PatternWindow pattern(200, 150);
    ASSERT_TRUE(pattern);

    // The region starts 8 pixels left of and 4 above the window, so its offset is checked too.
    constexpr int Width = 80;
    constexpr int Height = 64;
    DesktopCapture capture(PixelRect{192, 146, 192 + Width, 146 + Height}, Width, Height);
    ASSERT_NE(capture.pixels(), nullptr);

    // The X server shows the window a little after it is painted; wait for it, bounded.
    bool matched = false;
    for (int attempt = 0; attempt < 100 && !matched; ++attempt) {
        PatternWindow::pumpMessages();
        capture.grab();
        matched = showsPattern(capture, Width, 8, 4);
        if (!matched) {
            ::Sleep(20);
        }
    }
    EXPECT_TRUE(matched);
}

// CAPTUREBLT would hide the pointer for each copy: at 30 copies a second it flickers.
TEST(DesktopCapture, CopiesWithoutCaptureBlt)
{
    auto& ops = shot_test::BitBltRasterOps::instance();
    ASSERT_TRUE(ops.installed());
    DesktopCapture capture(PixelRect{0, 0, 32, 32}, 32, 32);
    ops.take();
    capture.grab();
    capture.grab();
    EXPECT_EQ(ops.take(), (std::vector<DWORD>{SRCCOPY, SRCCOPY}));
}

TEST(DesktopCapture, RefusesAFrameItCannotAllocate)
{
    const std::optional<Failure> failure = failureOfCapture(100'000, 100'000);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->hr, static_cast<std::int32_t>(E_OUTOFMEMORY));
    EXPECT_STREQ(failure->stage, L"Przechwytywanie pulpitu");
}

TEST(DesktopCapture, RefusesAnEmptyFrame)
{
    const std::optional<Failure> failure = failureOfCapture(0, 0);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->hr, static_cast<std::int32_t>(E_OUTOFMEMORY));
    EXPECT_STREQ(failure->stage, L"Przechwytywanie pulpitu");
}

// GDI handles are a per-process quota: about ten thousand on Windows, 65,536 in Wine's table. A
// capture that leaked its DC or its DIB section would run out of them long before the end.
TEST(DesktopCapture, ReleasesItsGdiObjects)
{
    for (int i = 0; i < 70'000; ++i) {
        try {
            DesktopCapture capture(PixelRect{0, 0, 16, 16}, 16, 16);
        } catch (const Failure& failure) {
            FAIL() << "capture " << i << " failed with 0x" << std::hex
                   << static_cast<std::uint32_t>(failure.hr);
        }
    }
}
