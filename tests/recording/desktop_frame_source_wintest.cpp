#include "recording/core/recording_clock.h"
#include "recording/engine/windows_recording_platform.h"
#include "recording/video/resilient_frame_source.h"
#include "support/message_pump.h"
#include "support/pattern_window.h"
#include "support/runs_under_wine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

using namespace test_support;

namespace {

const char* answerText(DuplicationAnswer answer)
{
    static const char* const texts[] = {"duplicating",
                                        "no new image",
                                        "lost, to be made again",
                                        "unsupported on every adapter, to be tried again",
                                        "refused for now, to be tried again",
                                        "refused for the recording"};
    return texts[static_cast<std::size_t>(answer)];
}

// The copier of the frames, why, and the platform's result, printed whatever the outcome.
void printChoice(const char* what, const ResilientFrameSource& source)
{
    const FrameSourceChoice& choice = source.choice();
    std::printf("[ source   ] %s: %s; %s; 0x%08X; %zu adapter(s) tried\n", what,
                choice.copier() == FrameCopier::Duplication ? "desktop duplication" : "GDI",
                answerText(choice.answer()), static_cast<unsigned>(choice.result()),
                source.adaptersTried());
}

// Where Windows itself may refuse the duplication: a remote session, a session that is
// disconnected, too many duplications in the session, or a desktop mode no adapter supports.
bool refusalWindowsMayGive(const FrameSourceChoice& choice)
{
    const auto result = static_cast<HRESULT>(choice.result());
    return ::GetSystemMetrics(SM_REMOTESESSION) != 0 || result == DXGI_ERROR_UNSUPPORTED ||
           result == DXGI_ERROR_SESSION_DISCONNECTED ||
           result == DXGI_ERROR_NOT_CURRENTLY_AVAILABLE;
}

} // namespace

// Wine's IDXGIOutput1::DuplicateOutput is a stub (E_NOTIMPL), and Direct3D may not be available
// at all: the recording's frames come from GDI, for the whole recording.
TEST(DesktopFrameSource, WineGetsTheGdiCopyForTheRecording)
{
    if (!runsUnderWine()) {
        GTEST_SKIP() << "Windows offers the desktop duplication";
    }
    WindowsRecordingPlatform platform;
    ResilientFrameSource source(platform, PixelRect{100, 100, 420, 340}, 320, 240);
    ASSERT_TRUE(source.grab(0));
    printChoice("Wine", source);
    EXPECT_EQ(source.choice().copier(), FrameCopier::Gdi);
    EXPECT_TRUE(source.choice().givenUp());
    EXPECT_NE(source.pixels(), nullptr);
    ASSERT_TRUE(source.grab(600'000'000)); // a minute later
    EXPECT_EQ(source.pictureCopier(), FrameCopier::Gdi);
}

TEST(DesktopFrameSource, AnAreaPartlyOffTheMonitorsIsCopiedByGdi)
{
    const int right =
        ::GetSystemMetrics(SM_XVIRTUALSCREEN) + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    WindowsRecordingPlatform platform;
    ResilientFrameSource source(platform, PixelRect{right - 32, 0, right + 32, 64}, 64, 64);
    ASSERT_TRUE(source.grab(0));
    printChoice("area partly off the monitors", source);
    EXPECT_EQ(source.choice().copier(), FrameCopier::Gdi);
    EXPECT_TRUE(source.choice().givenUp());
}

// The duplication shows what the GDI copy shows, pixel for pixel, at the area's place on its
// monitor. On Windows it must be chosen unless Windows itself refuses it for a reason it may
// give; the choice and its reason are printed in every case.
TEST(DesktopFrameSource, TheDuplicationCopiesTheAreaAsGdiDoes)
{
    // As the program does: the window's place and the monitor's are then both in physical pixels,
    // and the duplication may ask for 8-bit BGRA images.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    const PatternWindow pattern(200, 150, quadrantPixels());
    ASSERT_TRUE(pattern);
    constexpr int Width = 80;
    constexpr int Height = 64;
    const PixelRect area{192, 146, 192 + Width, 146 + Height};
    WindowsRecordingPlatform platform;
    ResilientFrameSource source(platform, area, Width, Height);
    ASSERT_TRUE(source.grab(nowIn100ns())); // the first slot is copied by GDI
    printChoice("pixel test", source);
    if (source.choice().copier() != FrameCopier::Duplication) {
        if (runsUnderWine()) {
            GTEST_SKIP() << "Wine has no desktop duplication";
        }
        if (refusalWindowsMayGive(source.choice())) {
            GTEST_SKIP() << "Windows refuses the duplication here";
        }
        FAIL() << "the desktop duplication was not chosen";
    }
    EXPECT_TRUE(bgraFrameShows(source.pixels(), Width, 8, 4, quadrantPixels()));
    // A still desktop gives the duplication nothing new: the window is painted again, so that
    // an image is presented.
    EXPECT_TRUE(pumpUntil([&] {
        ::RedrawWindow(pattern.window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return source.grab(nowIn100ns()) && source.pictureCopier() == FrameCopier::Duplication &&
               bgraFrameShows(source.pixels(), Width, 8, 4, quadrantPixels());
    }));
    EXPECT_EQ(source.choice().copier(), FrameCopier::Duplication);
}
