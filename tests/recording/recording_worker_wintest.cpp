#include "recording/engine/recording_session.h"
#include "tone_player.h"
#include "support/runs_under_wine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

namespace {

std::filesystem::path outputPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::filesystem::path path = std::filesystem::path(folder) / name;
    std::filesystem::remove(path);
    return path;
}

// Waits, bounded, for the worker to end; the session's own join then returns at once.
RecordingState waitForEnd(RecordingSession& session)
{
    for (int i = 0; i < 2000 && isActive(session.readState()); ++i) {
        ::Sleep(10);
    }
    return session.readState();
}

} // namespace

TEST(RecordingWorker, WithoutAnOutputDeviceFailsBeforeAnyFileExists)
{
    if (!test_support::runsUnderWine()) {
        GTEST_SKIP() << "relies on Wine without a sound server having no output device";
    }
    if (hasAudioServer()) {
        GTEST_SKIP() << "an audio server is running (PULSE_SERVER), so an output device exists";
    }
    const std::filesystem::path path = outputPath(L"orlimo_worker_no_device.mp4");
    RecordingSession session;
    ASSERT_TRUE(session.start(PixelRect{100, 100, 420, 340}, path.wstring()));
    EXPECT_EQ(waitForEnd(session), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Brak wyjscia audio (0x80070490)");
    EXPECT_EQ(session.readElapsed(), 0);
    session.join();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RecordingWorker, RegionBelowTheMinimumFailsBeforeTheSound)
{
    const std::filesystem::path path = outputPath(L"orlimo_worker_small.mp4");
    RecordingSession session;
    ASSERT_TRUE(session.start(PixelRect{10, 10, 25, 110}, path.wstring()));
    EXPECT_EQ(waitForEnd(session), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(),
              L"Obszar musi miec od 16x16 do 3840x2160 pikseli (0x80070057)");
    session.join();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RecordingWorker, SameSessionRunsAnotherRecordingAfterAFailure)
{
    const std::filesystem::path path = outputPath(L"orlimo_worker_again.mp4");
    RecordingSession session;
    ASSERT_TRUE(session.start(PixelRect{0, 0, 8, 8}, path.wstring()));
    ASSERT_EQ(waitForEnd(session), RecordingState::Failed);
    ASSERT_TRUE(session.start(PixelRect{0, 0, 4000, 100}, path.wstring()));
    EXPECT_EQ(waitForEnd(session), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(),
              L"Obszar musi miec od 16x16 do 3840x2160 pikseli (0x80070057)");
}

TEST(PulseRecordingWorker, FailsAtTheLoopbackCaptureServiceBeforeAnyFileExists)
{
    if (!hasAudioServer()) {
        GTEST_SKIP() << "needs Wine with a PulseAudio null sink: run with ORLIMO_PULSE=1";
    }
    const std::filesystem::path path = outputPath(L"orlimo_worker_pulse.mp4");
    RecordingSession session;
    ASSERT_TRUE(session.start(PixelRect{100, 100, 420, 340}, path.wstring()));
    EXPECT_EQ(waitForEnd(session), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Bufor dzwieku systemowego (0x88890003)");
    session.join();
    EXPECT_FALSE(std::filesystem::exists(path));
}
