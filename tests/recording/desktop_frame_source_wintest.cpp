#include "recording/duplication_frame_source.h"
#include "recording/pattern_window.h"
#include "runs_under_wine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>

namespace {

bool isGdiCopy(const FrameSource& source)
{
    return dynamic_cast<const DesktopCapture*>(&source) != nullptr;
}

// Whether the frame shows the pattern window 8 pixels right of and 4 below its top-left corner.
bool showsPattern(const std::uint8_t* pixels, int width)
{
    for (int y = 0; y < PatternHeight; ++y) {
        for (int x = 0; x < PatternWidth; ++x) {
            const int quadrant = (x * 2 / PatternWidth) + 2 * (y * 2 / PatternHeight);
            const std::uint8_t* p =
                pixels +
                (static_cast<std::size_t>(y + 4) * width + static_cast<std::size_t>(x + 8)) * 4;
            if (RGB(p[2], p[1], p[0]) != QuadrantColours[static_cast<std::size_t>(quadrant)]) {
                return false;
            }
        }
    }
    return true;
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
    PatternWindow pattern(200, 150);
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
    bool matched = false;
    for (int attempt = 0; attempt < 100 && !matched; ++attempt) {
        PatternWindow::pumpMessages();
        source->grab();
        matched = showsPattern(source->pixels(), Width);
        if (!matched) {
            ::Sleep(20);
        }
    }
    EXPECT_TRUE(matched);
    EXPECT_FALSE(gdiFromNowOn);
}
