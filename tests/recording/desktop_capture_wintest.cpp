#include "recording/video/desktop_capture.h"
#include "common/failure.h"
#include "support/pattern_window.h"
#include "support/bitblt_raster_ops.h"
#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

using namespace test_support;

namespace {

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
    const PatternWindow pattern(200, 150, quadrantPixels());
    ASSERT_TRUE(pattern);

    // The region starts 8 pixels left of and 4 above the window, so its offset is checked too.
    constexpr int Width = 80;
    constexpr int Height = 64;
    DesktopCapture capture(PixelRect{192, 146, 192 + Width, 146 + Height}, Width, Height);
    ASSERT_NE(capture.pixels(), nullptr);

    // The X server shows the window a little after it is painted; wait for it, bounded.
    EXPECT_TRUE(pumpUntil([&] {
        capture.grab();
        return bgraFrameShows(capture.pixels(), Width, 8, 4, quadrantPixels());
    }));
}

// CAPTUREBLT would hide the pointer for each copy: at 30 copies a second it flickers.
TEST(DesktopCapture, CopiesWithoutCaptureBlt)
{
    auto& ops = BitBltRasterOps::instance();
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
    EXPECT_EQ(stageOf(*failure), RecordingStage::DesktopCapture);
}

TEST(DesktopCapture, RefusesAnEmptyFrame)
{
    const std::optional<Failure> failure = failureOfCapture(0, 0);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->hr, static_cast<std::int32_t>(E_OUTOFMEMORY));
    EXPECT_EQ(stageOf(*failure), RecordingStage::DesktopCapture);
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
