#include "recording/video/duplication_frame_source.h"
#include "support/pattern_window.h"
#include "support/runs_under_wine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>

using namespace test_support;

namespace {

bool isGdiCopy(const FrameSource& source)
{
    return dynamic_cast<const DesktopCapture*>(&source) != nullptr;
}

} // namespace

// Wine's IDXGIOutput1::DuplicateOutput is a stub (E_NOTIMPL), and Direct3D may not be available
// at all: the recording's frames come from GDI.
TEST(DesktopFrameSource, WineGetsTheGdiCopy)
{
    if (!runsUnderWine()) {
        GTEST_SKIP() << "Windows offers the desktop duplication";
    }
    bool gdiFromNowOn = false;
    const std::unique_ptr<FrameSource> source =
        startDesktopFrameSource(PixelRect{100, 100, 420, 340}, 320, 240, gdiFromNowOn);
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(isGdiCopy(*source));
    EXPECT_TRUE(gdiFromNowOn);
    source->grab();
    EXPECT_NE(source->pixels(), nullptr);
}

TEST(DesktopFrameSource, AnAreaPartlyOffTheMonitorsIsCopiedByGdi)
{
    const int right =
        ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    bool gdiFromNowOn = false;
    const std::unique_ptr<FrameSource> source =
        startDesktopFrameSource(PixelRect{right - 32, 0, right + 32, 64}, 64, 64, gdiFromNowOn);
    EXPECT_TRUE(isGdiCopy(*source));
    EXPECT_TRUE(gdiFromNowOn);
}

TEST(DesktopFrameSource, ADuplicationGivenUpStaysGivenUpForTheRecording)
{
    bool gdiFromNowOn = true;
    const std::unique_ptr<FrameSource> source =
        startDesktopFrameSource(PixelRect{0, 0, 64, 64}, 64, 64, gdiFromNowOn);
    EXPECT_TRUE(isGdiCopy(*source));
}

// The duplication shows what the GDI copy shows, pixel for pixel, at the area's place on its
// monitor: proven where the platform offers it.
TEST(DesktopFrameSource, TheDuplicationCopiesTheAreaAsGdiDoes)
{
    // As the program does: the window's place and the monitor's are then both in physical pixels.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const PatternWindow pattern(200, 150, quadrantPixels());
    ASSERT_TRUE(pattern);
    constexpr int Width = 80;
    constexpr int Height = 64;
    const PixelRect area{192, 146, 192 + Width, 146 + Height};
    bool gdiFromNowOn = false;
    const std::unique_ptr<FrameSource> source =
        startDesktopFrameSource(area, Width, Height, gdiFromNowOn);
    if (isGdiCopy(*source)) {
        GTEST_SKIP() << "no desktop duplication here";
    }
    EXPECT_TRUE(pumpUntil([&] {
        source->grab();
        return bgraFrameShows(source->pixels(), Width, 8, 4, quadrantPixels());
    }));
    EXPECT_FALSE(gdiFromNowOn);
}
