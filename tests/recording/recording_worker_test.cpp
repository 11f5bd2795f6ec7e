#include "recording/engine/recording_worker.h"

#include "recording/sound/default_output_sound.h"
#include "recording/engine/disk_space_watch.h"
#include "support/recording_fakes.h"
#include "tone/test_tone.h"
#include "recording/core/recording_stage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using namespace test_support;

using ::testing::ElementsAre;

namespace {

constexpr std::int64_t Period = 333'333;
constexpr std::int64_t Pass = 50'000; // one Sleep(5) on the virtual clock

std::int32_t hr(std::uint32_t value)
{
    return static_cast<std::int32_t>(value);
}

struct WorkerFixture : ::testing::Test {
    FakeWorld world;
    FakePlatform platform{world};
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    PixelRect region{100, 200, 116, 216};

    void run() { runRecordingWorkerWith(session, region, L"C:\\Videos\\Video_1.mp4", platform); }

    void stopAfterPass(int pass)
    {
        world.onSleep = [this, pass](int done) {
            if (done == pass) {
                session.requestStop();
            }
        };
    }

    // Queues, on each converting drain, a chunk of 5 ms of `level` that ends at the read time.
    void deliverSoundEndingNow(std::int16_t level)
    {
        world.onDrain = [this, level](AudioChunkQueue& queue, std::int64_t startTime,
                                      std::int64_t pausedTotal) {
            AudioChunk chunk;
            chunk.startFrame = (world.clock - Pass - startTime - pausedTotal) * 48'000 / 10'000'000;
            chunk.samples.assign(240 * 2, level);
            queue.push_back(std::move(chunk));
        };
    }

    std::vector<std::int16_t> audioLeft() const
    {
        std::vector<std::int16_t> left;
        for (const WrittenSample& sample : world.audio) {
            const auto pcm = sample.pcm();
            for (std::size_t i = 0; i < pcm.size(); i += 2) {
                left.push_back(pcm[i]);
            }
        }
        return left;
    }

    void expectContiguousAudio() const
    {
        std::int64_t expected = 0;
        for (const WrittenSample& sample : world.audio) {
            ASSERT_EQ(sample.stream, FakeFileWriter::AudioStream);
            ASSERT_EQ(sample.time, expected);
            ASSERT_LE(sample.bytes.size(), 4800u * 4);
            expected = sample.time + sample.duration;
        }
    }

    std::int64_t audioFrames() const
    {
        std::int64_t frames = 0;
        for (const WrittenSample& sample : world.audio) {
            frames += static_cast<std::int64_t>(sample.bytes.size() / 4);
        }
        return frames;
    }

    // Each sound source plays the 1 kHz tone from its own start in 10 ms packets, with positions
    // a few frames off as the engine's are, placed one after the other from the first packet's
    // position as the loopback capture places continuous sound. A drain delivers the packets that
    // are complete by then.
    struct SourcePlay {
        std::int64_t packets = 0;
        std::int64_t firstFrame = 0;
    };
    std::map<int, SourcePlay> plays;

    void deliverToneFromEachSource()
    {
        world.onDrain = [this](AudioChunkQueue& queue, std::int64_t startTime,
                               std::int64_t pausedTotal) {
            constexpr std::int64_t PacketTime = 100'000;
            constexpr std::int64_t PacketFrames = 480;
            const int sound = world.drainingSound;
            SourcePlay& play = plays[sound];
            const std::int64_t origin = world.soundStarts.at(static_cast<std::size_t>(sound - 1));
            while (origin + (play.packets + 1) * PacketTime <= world.clock) {
                AudioChunk chunk;
                const std::int64_t jitter = play.packets == 0 ? 0 : play.packets * 7 % 5 - 2;
                chunk.startFrame = (origin + play.packets * PacketTime - startTime - pausedTotal) *
                                       48'000 / 10'000'000 +
                                   jitter;
                chunk.samples.reserve(PacketFrames * 2);
                for (std::int64_t i = 0; i < PacketFrames; ++i) {
                    const std::int16_t value =
                        tone::pcm(tone::sample(play.packets * PacketFrames + i, 48'000));
                    chunk.samples.push_back(value);
                    chunk.samples.push_back(value);
                }
                if (play.packets == 0) {
                    play.firstFrame = chunk.startFrame;
                }
                chunk.startFrame = play.firstFrame + play.packets * PacketFrames;
                queue.push_back(std::move(chunk));
                ++play.packets;
            }
        };
    }

    // The first frame in [from, to) of the left channel that is not the tone begun at `origin`
    // (silence where `origin` is negative), or `to`.
    static std::int64_t firstMismatch(const std::vector<std::int16_t>& left, std::int64_t from,
                                      std::int64_t to, std::int64_t origin)
    {
        for (std::int64_t f = from; f < to; ++f) {
            const std::int16_t expected =
                origin < 0 ? std::int16_t{0} : tone::pcm(tone::sample(f - origin, 48'000));
            if (left.at(static_cast<std::size_t>(f)) != expected) {
                return f;
            }
        }
        return to;
    }

    // The track holds the first source's tone from frame 0 to `firstEnd`, silence up to where
    // the second source started, and the second source's tone from there, each without a break.
    void expectFirstThenSecondSource(std::int64_t firstEnd)
    {
        EXPECT_EQ(session.readState(), RecordingState::Saved);
        EXPECT_EQ(session.readErrorText(), L"");
        ASSERT_EQ(world.soundStarts.size(), 2u);
        ASSERT_EQ(plays[1].packets * 480, firstEnd);
        const std::int64_t secondStart =
            (world.soundStarts[1] - world.soundStarts[0]) * 48'000 / 10'000'000;
        ASSERT_GT(plays[2].packets, 100);
        expectContiguousAudio();
        const auto left = audioLeft();
        // The last packet may reach past the end of the track.
        const std::int64_t secondEnd =
            std::min(secondStart + plays[2].packets * 480, static_cast<std::int64_t>(left.size()));
        ASSERT_GT(secondEnd, secondStart);
        EXPECT_EQ(firstMismatch(left, 0, firstEnd, 0), firstEnd);
        EXPECT_EQ(firstMismatch(left, firstEnd, secondStart, -1), secondStart);
        EXPECT_EQ(firstMismatch(left, secondStart, secondEnd, secondStart), secondEnd);
        // The first capture is stopped before any other is opened.
        const auto stopped = std::find(world.log.begin(), world.log.end(), "sound stopped");
        EXPECT_EQ(std::count(stopped, world.log.end(), "sound"), world.calls["sound"] - 1);
    }

    // Sound without a break, and every frame up to the last elapsed time from a captured chunk
    // of `value`.
    void expectSoundUpToTheElapsedTime(std::int16_t value)
    {
        expectContiguousAudio();
        const auto left = audioLeft();
        const std::int64_t covered = session.readElapsed() * 48'000 / 10'000'000;
        ASSERT_GE(static_cast<std::int64_t>(left.size()), covered);
        for (std::int64_t i = 0; i < covered; ++i) {
            ASSERT_EQ(left[static_cast<std::size_t>(i)], value) << "frame " << i;
        }
    }

    // Every slot from 0 to the last frame has exactly one frame, in order.
    void expectEverySlotFilled() const
    {
        for (std::size_t i = 0; i < world.video.size(); ++i) {
            ASSERT_EQ(world.video[i].time, static_cast<std::int64_t>(i) * Period) << "frame " << i;
            ASSERT_EQ(world.video[i].duration, Period);
        }
    }

    // The first byte of each frame's luma: 16 for a black picture, 235 for a white one.
    std::vector<std::uint8_t> frameLumas() const
    {
        std::vector<std::uint8_t> lumas;
        lumas.reserve(world.video.size());
        for (const WrittenSample& frame : world.video) {
            lumas.push_back(frame.bytes.at(0));
        }
        return lumas;
    }

    void TearDown() override { EXPECT_EQ(world.liveObjects, 0) << "a fake object leaked"; }
};

} // namespace

TEST_F(WorkerFixture, StopRightAfterTheStartWritesOneFrameAndSoundToItsEnd)
{
    stopAfterPass(1);
    RecordingState stateWhenSoundStopped = RecordingState::Idle;
    world.onNote = [&](const std::string& name) {
        if (name == "sound stopped") {
            stateWhenSoundStopped = session.readState();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readErrorText(), L"");
    EXPECT_THAT(world.log,
                ElementsAre("make runtime", "COM", "Media Foundation", "sound", "desktop", "open",
                            "file 16x16", "drain discard", "drain", "grab", "video sample", "drain",
                            "audio sample", "finalize", "writer released", "complete file",
                            "desktop released", "sound stopped", "runtime shut down"));
    EXPECT_EQ(stateWhenSoundStopped, RecordingState::Saved) << "the file completes first";
    EXPECT_THAT(platform.completedPaths, ElementsAre(L"C:\\Videos\\Video_1.mp4"));

    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].stream, FakeFileWriter::VideoStream);
    EXPECT_EQ(world.video[0].time, 0);
    EXPECT_EQ(world.video[0].duration, Period);
    EXPECT_EQ(world.video[0].bytes.size(), 384u);
    // The end of the frame is 333,333 units: 1599 whole frames at 48 kHz.
    EXPECT_EQ(audioFrames(), 1599);
    expectContiguousAudio();
    EXPECT_EQ(platform.capturedRegion, region);
}

TEST_F(WorkerFixture, FramesCarryTheConvertedPicture)
{
    world.pixelValue = 255;
    stopAfterPass(1);
    run();
    ASSERT_EQ(world.video.size(), 1u);
    const auto& nv12 = world.video[0].bytes;
    EXPECT_TRUE(std::all_of(nv12.begin(), nv12.begin() + 256, [](auto b) { return b == 235; }));
    EXPECT_TRUE(std::all_of(nv12.begin() + 256, nv12.end(), [](auto b) { return b == 128; }));
}

TEST_F(WorkerFixture, FramesSitOnTheGridOnePerPeriod)
{
    std::vector<std::int64_t> elapsedAtPass;
    world.onSleep = [&](int pass) {
        elapsedAtPass.push_back(session.readElapsed());
        if (pass == 100) {
            session.requestStop();
        }
    };
    run();

    ASSERT_EQ(elapsedAtPass.size(), 100u);
    EXPECT_EQ(elapsedAtPass[0], 0);
    EXPECT_EQ(elapsedAtPass[99], 99 * Pass);
    // 99 passes of 5 ms reach 4.95 s: the frames of slots 0 to 14.
    ASSERT_EQ(world.video.size(), 15u);
    for (std::size_t i = 0; i < world.video.size(); ++i) {
        EXPECT_EQ(world.video[i].time, static_cast<std::int64_t>(i) * Period);
        EXPECT_EQ(world.video[i].duration, Period);
    }
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    // Sound reaches the end of the last frame or the last elapsed time, whichever is later.
    EXPECT_EQ(audioFrames(), std::max<std::int64_t>(15 * Period, 99 * Pass) * 48'000 / 10'000'000);
    expectContiguousAudio();
    // Nothing played: the track is silence, as long as the video.
    const auto left = audioLeft();
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](std::int16_t v) { return v == 0; }));
}

TEST_F(WorkerFixture, LatePassFillsTheMissedSlotsWithTheLastPicture)
{
    world.onSleep = [&](int pass) {
        if (pass == 8) {
            world.clock += 1'000'000; // this pass comes 100 ms late
            world.pixelValue = 255;   // with a new picture on the screen
        }
        if (pass == 20) {
            session.requestStop();
        }
    };
    run();

    std::vector<std::int64_t> times;
    for (const WrittenSample& sample : world.video) {
        times.push_back(sample.time);
        EXPECT_EQ(sample.time % Period, 0);
    }
    // Pass 9 reads 8 x 50,000 + 1,000,000 = 1,400,000: the slot of 1,333,332 shows the new
    // picture; 666,666 and 999,999, which the pass came too late for, repeat the one before.
    EXPECT_THAT(times, ElementsAre(0, Period, 2 * Period, 3 * Period, 4 * Period, 5 * Period));
    EXPECT_THAT(frameLumas(), ElementsAre(16, 16, 16, 16, 235, 235));
    EXPECT_EQ(session.readElapsed(), 19 * Pass + 1'000'000);
    // The repeated frames cost no copy of the screen: one per due pass.
    EXPECT_EQ(world.calls["grab"], 4);
}

TEST_F(WorkerFixture, LateFirstPassFillsTheSlotsFromTheStartWithTheFirstPicture)
{
    world.pixelValue = 255;
    // The first pass comes 0.25 s after the clock started: the slots at 0, 1/30 s .. 7/30 s have
    // no earlier picture, so the first one fills them.
    world.onNow = [&](int read) {
        if (read == 2) {
            world.clock += 2'500'000;
        }
    };
    stopAfterPass(1);
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(world.video.size(), 8u);
    expectEverySlotFilled();
    EXPECT_EQ(frameLumas(), std::vector<std::uint8_t>(8, 235));
    EXPECT_EQ(world.calls["grab"], 1);
}

TEST_F(WorkerFixture, EndOfTheSessionLeavesTheCompletionToTheNextStart)
{
    world.onSleep = [&](int pass) {
        if (pass == 20) {
            session.stopForSessionEnd();
        }
    };
    run();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "finalize"), 1);
    EXPECT_TRUE(platform.completedPaths.empty());
}

TEST_F(WorkerFixture, FailureDuringTheEndOfTheSessionLeavesTheCompletionToo)
{
    world.failAt["finalize"] = {1, stageFailure(hr(0xC00D4A44u), RecordingStage::Mp4Finalize)};
    world.onSleep = [&](int pass) {
        if (pass == 20) {
            session.stopForSessionEnd();
        }
    };
    run();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readErrorText(), L"Finalizacja pliku MP4 (0xC00D4A44)");
    EXPECT_TRUE(platform.completedPaths.empty());
}

TEST_F(WorkerFixture, FailureBeforeTheFirstFrameKeepsTheFailedState)
{
    world.failAt["grab"] = {1, stageFailure(hr(0x80070006u), RecordingStage::DesktopImageRead)};
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readStopReason(), StopReason::Requested);
    EXPECT_TRUE(platform.completedPaths.empty());
    EXPECT_EQ(world.video.size(), 0u);
}

TEST_F(WorkerFixture, HourOfSleepIsLeftOutButForOneSecond)
{
    constexpr std::int64_t Hour = 36'000'000'000;
    constexpr std::int64_t Second = 10'000'000;
    deliverSoundEndingNow(1000);
    const auto steadySound = world.onDrain;
    bool woken = false;
    // Read on waking: a packet from the middle of the sleep and one from just before its last
    // second; both lie in the part left out.
    world.onDrain = [&](AudioChunkQueue& queue, std::int64_t startTime, std::int64_t pausedTotal) {
        if (woken) {
            woken = false;
            for (const std::int64_t position :
                 {world.clock - Hour / 2, world.clock - Second - Pass}) {
                AudioChunk chunk;
                chunk.startFrame = (position - startTime - pausedTotal) * 48'000 / 10'000'000;
                chunk.samples.assign(480 * 2, 7777);
                queue.push_back(std::move(chunk));
            }
        }
        steadySound(queue, startTime, pausedTotal);
    };
    std::vector<std::int64_t> shown;
    world.onSleep = [&](int pass) {
        shown.push_back(session.readElapsed());
        if (pass == 100) {
            world.clock += Hour;
            woken = true;
        }
        if (pass == 101 && session.readElapsed() > Hour) {
            world.keepSamples = false; // keeps a regression from holding an hour of samples
        }
        if (pass == 200) {
            session.requestStop();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(shown.size(), 200u);
    EXPECT_EQ(shown[99], 99 * Pass);
    EXPECT_EQ(shown[100], 99 * Pass + Second) << "the shown time moves on by one second";
    // The pass that ends the sleep takes its own 5 ms into the part left out.
    EXPECT_EQ(session.readElapsed(), 198 * Pass + Second);

    // The kept second is filled with the last picture: the video has no gap and the frames go on
    // in step with the sound. Only its count is kept past the sleep.
    ASSERT_FALSE(world.video.empty());
    expectEverySlotFilled();
    EXPECT_EQ(world.videoCount, session.readElapsed() / Period + 1);

    // The sound: what was heard up to the sleep, the kept second silent but for the packet read
    // on waking at its end, then the sound after it; nothing from inside the sleep.
    expectContiguousAudio();
    const auto left = audioLeft();
    const std::int64_t sleptAt = 99 * Pass * 48'000 / 10'000'000;
    const std::int64_t wokenAt = (99 * Pass + Second) * 48'000 / 10'000'000;
    EXPECT_EQ(static_cast<std::int64_t>(left.size()),
              std::max(world.video.back().time + Period, session.readElapsed()) * 48'000 /
                  10'000'000);
    EXPECT_EQ(std::count(left.begin(), left.end(), 7777), 0);
    ASSERT_GT(static_cast<std::int64_t>(left.size()), wokenAt + 12'000);
    EXPECT_EQ(left[static_cast<std::size_t>(sleptAt - 1)], 1000);
    EXPECT_EQ(left[static_cast<std::size_t>(sleptAt + 24'000)], 0);
    EXPECT_EQ(left[static_cast<std::size_t>(wokenAt - 1)], 1000);
    EXPECT_EQ(left[static_cast<std::size_t>(wokenAt + 12'000)], 1000);
}

TEST_F(WorkerFixture, ThreeSecondStallStaysRecorded)
{
    constexpr std::int64_t Stall = 30'000'000;
    std::vector<std::int64_t> shown;
    world.onSleep = [&](int pass) {
        shown.push_back(session.readElapsed());
        if (pass == 100) {
            world.clock += Stall;
        }
        if (pass == 200) {
            session.requestStop();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(shown.size(), 200u);
    EXPECT_EQ(shown[100], 100 * Pass + Stall);
    EXPECT_EQ(session.readElapsed(), 199 * Pass + Stall);
    // The three seconds hold 90 frames of the picture before the stall.
    expectEverySlotFilled();
    EXPECT_EQ(world.video.back().time, (199 * Pass + Stall) / Period * Period);
    expectContiguousAudio();
    const std::int64_t lastFrameEnd = world.video.back().time + Period;
    EXPECT_EQ(audioFrames(), std::max(lastFrameEnd, 199 * Pass + Stall) * 48'000 / 10'000'000);
}

TEST_F(WorkerFixture, TenSecondPauseIsCutFromTheRecording)
{
    deliverSoundEndingNow(1000);
    std::vector<std::int64_t> elapsedWhilePaused;
    world.onSleep = [&](int pass) {
        if (pass == 20) {
            session.setPaused(true);
        }
        if (pass > 21 && pass <= 220) {
            EXPECT_EQ(session.readState(), RecordingState::Paused);
            elapsedWhilePaused.push_back(session.readElapsed());
        }
        if (pass == 220) {
            session.setPaused(false);
        }
        if (pass == 240) {
            session.requestStop();
        }
    };
    run();

    // 240 passes of 5 ms on the wall clock: 1.2 s, of which 200 paused passes (10 s) are gone.
    ASSERT_FALSE(elapsedWhilePaused.empty());
    EXPECT_TRUE(std::all_of(elapsedWhilePaused.begin(), elapsedWhilePaused.end(),
                            [&](std::int64_t e) { return e == elapsedWhilePaused.front(); }));
    EXPECT_EQ(session.readElapsed(), (240 - 1 - 200) * Pass);
    EXPECT_EQ(session.readState(), RecordingState::Saved);

    // Frames continue on the grid without a gap for the pause.
    std::vector<std::int64_t> times;
    times.reserve(world.video.size());
    for (const WrittenSample& sample : world.video) {
        times.push_back(sample.time);
    }
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i] - times[i - 1], Period);
    }
    EXPECT_EQ(times.back(), (39 * Pass) / Period * Period);

    // The sound runs on without silence where the pause was: every frame up to the last elapsed
    // time comes from a captured chunk.
    expectSoundUpToTheElapsedTime(1000);
}

TEST_F(WorkerFixture, StopWhilePausedEndsAtOnceAndDiscardsThePausedSound)
{
    deliverSoundEndingNow(1000);
    world.onSleep = [&](int pass) {
        if (pass == 30) {
            session.setPaused(true);
        }
        if (pass == 50) {
            session.requestStop();
        }
    };
    int convertingDrains = 0;
    world.onNote = [&](const std::string& name) {
        if (name == "drain") {
            ++convertingDrains;
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(world.passes, 50);
    // Pass 31 is the first paused one; the end drain discards as well.
    EXPECT_EQ(convertingDrains, 30);
    EXPECT_EQ(world.log.at(world.log.size() - 6), "finalize");
    const std::int64_t elapsed = session.readElapsed();
    EXPECT_EQ(elapsed, 29 * Pass);
    const std::int64_t lastFrameEnd = world.video.back().time + Period;
    EXPECT_EQ(audioFrames(), std::max(lastFrameEnd, elapsed) * 48'000 / 10'000'000);
    expectContiguousAudio();
}

TEST_F(WorkerFixture, StopWhilePausedBeforeTheFirstFrameStillWritesItAndEnds)
{
    // Pause and stop land between the set-up and the first pass.
    world.onNow = [&](int read) {
        if (read == 2) {
            session.setPaused(true);
            session.requestStop();
        }
    };
    world.onSleep = [&](int pass) {
        if (pass > 1000) {
            session.setPaused(false); // keeps a regression from hanging the test run
        }
    };
    run();

    EXPECT_EQ(world.passes, 1);
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].time, 0);
}

TEST_F(WorkerFixture, ResumedRecordingStoresRecordingAgain)
{
    std::vector<RecordingState> states;
    world.onSleep = [&](int pass) {
        states.push_back(session.readState());
        if (pass == 2) {
            session.setPaused(true);
        }
        if (pass == 4) {
            session.setPaused(false);
        }
        if (pass == 6) {
            session.requestStop();
        }
    };
    run();
    EXPECT_THAT(states, ElementsAre(RecordingState::Recording, RecordingState::Recording,
                                    RecordingState::Paused, RecordingState::Paused,
                                    RecordingState::Recording, RecordingState::Recording));
}

TEST_F(WorkerFixture, FailureAfterTheFirstFrameSavesWhatWasWrittenWithTheFailure)
{
    world.failAt["video sample"] = {3,
                                    stageFailure(hr(0x80004005u), RecordingStage::Mp4SampleWrite)};
    world.onSleep = [&](int pass) {
        if (pass == 500) {
            session.requestStop();
        }
    };
    RecordingState stateAtAbandon = RecordingState::Idle;
    std::wstring textAtAbandon = L"unset";
    world.onNote = [&](const std::string& name) {
        if (name == "abandon finalizes") {
            stateAtAbandon = session.readState();
            textAtAbandon = session.readErrorText();
        }
    };
    RecordingState stateAtCompletion = RecordingState::Idle;
    const auto noteAbandon = world.onNote;
    world.onNote = [&](const std::string& name) {
        noteAbandon(name);
        if (name == "complete file") {
            stateAtCompletion = session.readState();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readStopReason(), StopReason::Failure);
    EXPECT_EQ(session.readErrorText(), L"Zapis probki MP4 (0x80004005)");
    EXPECT_EQ(world.video.size(), 2u);
    EXPECT_EQ(stateAtAbandon, RecordingState::Recording);
    EXPECT_EQ(textAtAbandon, L"");
    EXPECT_EQ(stateAtCompletion, RecordingState::Recording) << "Saved only once it is complete";
    // The loopback and desktop captures are gone before the writer is touched; the file is
    // completed once the writer has let go of it.
    const std::vector<std::string> tail(world.log.end() - 6, world.log.end());
    EXPECT_THAT(tail, ElementsAre("desktop released", "sound stopped", "abandon finalizes",
                                  "writer released", "complete file", "runtime shut down"));
    EXPECT_THAT(platform.completedPaths, ElementsAre(L"C:\\Videos\\Video_1.mp4"));
}

TEST_F(WorkerFixture, DesktopThatCannotBeReadForFiveSecondsShowsTheLastPicture)
{
    deliverSoundEndingNow(1000);
    // The first attempt to make the capture anew fails as well; the next one a second later helps.
    world.failAt["desktop"] = {2, stageFailure(hr(0x8007000Eu), RecordingStage::DesktopCapture)};
    constexpr int LockedFrom = 60;    // 0.3 s
    constexpr int LockedUntil = 1060; // 5 s later
    world.onSleep = [&](int pass) {
        if (pass == LockedFrom) {
            world.copiesFail = true;
        }
        if (pass == LockedUntil) {
            world.copiesFail = false;
            world.pixelValue = 255;
        }
        if (pass == 1200) {
            session.requestStop();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readElapsed(), 1199 * Pass);
    std::vector<std::int64_t> before;
    std::vector<std::int64_t> after;
    for (const WrittenSample& frame : world.video) {
        (frame.bytes[0] == 16 ? before : after).push_back(frame.time);
    }
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(after.empty());
    // Every slot of the locked five seconds repeats the last picture taken before them.
    expectEverySlotFilled();
    EXPECT_EQ(before.back() + Period, after.front());
    // The first slot after the copies succeed again has its frame.
    EXPECT_GT(after.front(), LockedUntil * Pass - Period);
    EXPECT_LE(after.front(), LockedUntil * Pass + Period);
    EXPECT_EQ(before.size() + after.size(), world.video.size());
    // Made anew about once a second while the copies failed: four or five attempts in 5 s.
    const auto made = std::count(world.log.begin(), world.log.end(), "desktop");
    EXPECT_GE(made, 1 + 4);
    EXPECT_LE(made, 1 + 5);

    // The sound went on throughout.
    expectSoundUpToTheElapsedTime(1000);
}

TEST_F(WorkerFixture, SoundFollowsANewDefaultOutputFromTheNextCheck)
{
    deliverToneFromEachSource();
    const std::int64_t start = world.clock;
    world.defaultMoved = [&](int sound) { return sound == 1 && world.clock >= start + 25'000'000; };
    stopAfterPass(1000);
    run();

    // Checked at the start and once a second: the move at 2.5 s is seen at 3 s, and the first
    // source delivered everything up to that moment.
    ASSERT_EQ(world.soundStarts.size(), 2u);
    EXPECT_EQ(world.soundStarts[1] - start, 30'000'000);
    expectFirstThenSecondSource(144'000);
}

TEST_F(WorkerFixture, InvalidatedDeviceIsReplacedAndAMissingOneTriedAgainEachSecond)
{
    deliverToneFromEachSource();
    const std::int64_t start = world.clock;
    // The 300th pass (at 1.495 s) finds the device gone; at that moment there is no other output
    // yet, and a second later there is.
    world.failAt["drain"] = {
        300, stageFailure(DeviceInvalidatedResult, RecordingStage::NextAudioPacket)};
    world.failAt["sound"] = {2, stageFailure(hr(0x80070490u), RecordingStage::NoAudioOutput)};
    stopAfterPass(1000);
    run();

    EXPECT_EQ(world.calls["sound"], 3);
    ASSERT_EQ(world.soundStarts.size(), 2u);
    EXPECT_EQ(world.soundStarts[1] - start, 24'950'000);
    // 149 packets up to 1.49 s, silence from there to 2.495 s, then the new device's tone.
    expectFirstThenSecondSource(71'520);
}

class DrainFailure : public WorkerFixture, public ::testing::WithParamInterface<RecordingStage> {};

TEST_P(DrainFailure, ReopensTheCaptureInsteadOfEndingTheRecording)
{
    // The audio service restarting, a read refused, a release refused: each is survived as a
    // removed device is.
    deliverToneFromEachSource();
    const std::int64_t start = world.clock;
    world.failAt["drain"] = {300, stageFailure(hr(0x88890001u), GetParam())};
    stopAfterPass(1000);
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(world.soundStarts.size(), 2u);
    EXPECT_EQ(world.soundStarts[1] - start, 14'950'000);
    // The failed source handed over what it still held before it was closed, and the second
    // one at the end of the recording.
    EXPECT_THAT(world.streamEnds, ElementsAre(1, 2));
    expectFirstThenSecondSource(71'520);
}

INSTANTIATE_TEST_SUITE_P(EveryDrainStep, DrainFailure,
                         ::testing::Values(RecordingStage::AudioRead,
                                           RecordingStage::AudioPacketRead,
                                           RecordingStage::AudioPacketRelease,
                                           RecordingStage::NextAudioPacket));

TEST_F(WorkerFixture, WhatTheConversionHoldsBackIsWrittenAtTheEndAndAtAReopen)
{
    // Each source's held-back sound is the last 24 frames before its last packet ended, as 777.
    deliverToneFromEachSource();
    world.onEndStream = [this](AudioChunkQueue& queue, int sound) {
        AudioChunk chunk;
        const std::int64_t origin = world.soundStarts.at(static_cast<std::size_t>(sound - 1));
        chunk.startFrame =
            (origin - world.soundStarts[0]) * 48'000 / 10'000'000 + plays[sound].packets * 480 - 24;
        chunk.samples.assign(48, 777);
        queue.push_back(std::move(chunk));
    };
    const std::int64_t start = world.clock;
    world.defaultChangeReported = [&](int sound) {
        return sound == 1 && world.clock >= start + 25'000'000;
    };
    world.defaultMoved = [&](int sound) { return sound == 1 && world.clock >= start + 25'000'000; };
    stopAfterPass(1000);
    run();

    // The reported change is followed on the pass that hears of it, not a second later.
    ASSERT_EQ(world.soundStarts.size(), 2u);
    EXPECT_EQ(world.soundStarts[1] - start, 25'000'000);
    EXPECT_THAT(world.streamEnds, ElementsAre(1, 2));
    const auto left = audioLeft();
    const std::int64_t firstEnd = plays[1].packets * 480;
    ASSERT_GT(static_cast<std::int64_t>(left.size()), firstEnd);
    EXPECT_EQ(left[static_cast<std::size_t>(firstEnd - 24)], 777);
    EXPECT_EQ(left[static_cast<std::size_t>(firstEnd - 1)], 777);
    // The last source's tail is in the track too, up to its end: the final write covers it.
    const std::int64_t secondEnd =
        std::min((world.soundStarts[1] - start) * 48'000 / 10'000'000 + plays[2].packets * 480,
                 static_cast<std::int64_t>(left.size()));
    EXPECT_EQ(left[static_cast<std::size_t>(secondEnd - 1)], 777);
}

TEST_F(WorkerFixture, LowDiskSpaceEndsAndSavesTheRecordingWithItsReason)
{
    // Free space is read at the start and about once a second; it falls below the reserve at
    // 2.2 s and is seen at 3 s. Nothing else stops the recording.
    const std::int64_t start = world.clock;
    world.onSleep = [&](int pass) {
        if (world.clock >= start + 22'000'000) {
            world.freeDiskBytes = DiskSpaceReserve - 1;
        }
        if (pass > 100'000) {
            session.requestStop(); // keeps a regression from hanging the test run
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readStopReason(), StopReason::LowDiskSpace);
    EXPECT_EQ(session.readErrorText(), L"");
    EXPECT_EQ(world.diskChecks.size(), 5u);
    EXPECT_TRUE(
        std::all_of(world.diskChecks.begin(), world.diskChecks.end(),
                    [](const std::wstring& path) { return path == L"C:\\Videos\\Video_1.mp4"; }));
    // The pass at 3 s (the 601st) asks for the stop and is the last, as after "Zakoncz i zapisz".
    EXPECT_EQ(world.passes, 601);
    EXPECT_EQ(world.video.back().time, 90 * Period);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "finalize"), 1);
    expectContiguousAudio();
}

TEST_F(WorkerFixture, StartWithLessThanTheReserveFailsBeforeAnyFile)
{
    world.freeDiskBytes = DiskSpaceReserve - 1;
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Malo miejsca na dysku (0x80070070)");
    EXPECT_THAT(world.log, ElementsAre("make runtime", "COM", "Media Foundation", "abandon",
                                       "writer released", "runtime shut down"));
}

TEST_F(WorkerFixture, UnknownFreeSpaceDoesNotStopTheRecording)
{
    world.freeDiskBytes = std::nullopt;
    stopAfterPass(300);
    run();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readStopReason(), StopReason::Requested);
    EXPECT_EQ(world.passes, 300);
}

TEST_F(WorkerFixture, MissingOutputDeviceFailsBeforeAnyFile)
{
    world.failAt["sound"] = {1, stageFailure(hr(0x80070490u), RecordingStage::NoAudioOutput)};
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Brak wyjscia audio (0x80070490)");
    EXPECT_THAT(world.log, ElementsAre("make runtime", "COM", "Media Foundation", "sound",
                                       "abandon", "writer released", "runtime shut down"));
}

TEST_F(WorkerFixture, OddRegionIsRoundedDownToEvenFrames)
{
    region = {0, 0, 3841, 2161};
    stopAfterPass(1);
    run();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(world.log.at(6), "file 3840x2160");
    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].bytes.size(), 12'441'600u);
}

TEST_F(WorkerFixture, RegionOutsideTheLimitsFailsBeforeTheSound)
{
    region = {0, 0, 15, 100};
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(),
              L"Obszar musi miec od 16x16 do 3840x2160 pikseli (0x80070057)");
    EXPECT_THAT(world.log, ElementsAre("make runtime", "COM", "Media Foundation", "abandon",
                                       "writer released", "runtime shut down"));
}

struct OutOfMemoryCase {
    const char* step;
    bool fileWasWriting;
    bool frameWritten = false; // the file holds video: it is saved as far as it got
};

class OutOfMemory : public WorkerFixture, public ::testing::WithParamInterface<OutOfMemoryCase> {};

TEST_P(OutOfMemory, AnyOtherExceptionBecomesTheUnexpectedText)
{
    world.failAt[GetParam().step] = {1, Failure{0, nullptr}, true};
    stopAfterPass(40);
    run();
    EXPECT_EQ(session.readState(),
              GetParam().frameWritten ? RecordingState::Saved : RecordingState::Failed);
    EXPECT_EQ(session.readStopReason(),
              GetParam().frameWritten ? StopReason::Failure : StopReason::Requested);
    EXPECT_EQ(session.readErrorText(), L"Nieoczekiwany blad nagrywania (np. brak pamieci).");
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon finalizes"),
              GetParam().fileWasWriting ? 1 : 0);
    EXPECT_EQ(platform.completedPaths.size(), GetParam().frameWritten ? 1u : 0u);
}

// Readable, stable case names for ctest: the index and the step, letters and digits only.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = std::to_string(info.index) + "_";
    for (const char* c = info.param.step; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfStep, OutOfMemory,
    ::testing::Values(OutOfMemoryCase{"make runtime", false}, OutOfMemoryCase{"sound", false},
                      OutOfMemoryCase{"open", false}, OutOfMemoryCase{"grab", true},
                      OutOfMemoryCase{"drain", true}, OutOfMemoryCase{"audio sample", true, true},
                      OutOfMemoryCase{"finalize", true, true}),
    caseName<OutOfMemoryCase>);

struct StageCase {
    const char* step;
    int call;
    RecordingStage stage;
    std::uint32_t code;
    bool fileWasWriting;
    int lastCall = 0;          // the encoder's steps are tried twice: the second failure ends it
    bool frameWritten = false; // the file holds video: it is saved as far as it got
};

class StageFailure : public WorkerFixture, public ::testing::WithParamInterface<StageCase> {};

TEST_P(StageFailure, EndsFailedWithTheStageTextAndClosesAWrittenFile)
{
    const StageCase& c = GetParam();
    world.failAt[c.step] = {c.call, stageFailure(hr(c.code), c.stage), false, c.lastCall};
    stopAfterPass(60);
    run();

    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08X", c.code);
    EXPECT_EQ(session.readState(), c.frameWritten ? RecordingState::Saved : RecordingState::Failed);
    EXPECT_EQ(session.readStopReason(),
              c.frameWritten ? StopReason::Failure : StopReason::Requested);
    EXPECT_EQ(session.readErrorText(), std::wstring(stageText(c.stage)) + L" (" + code + L")");
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon finalizes"),
              c.fileWasWriting ? 1 : 0);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon"), c.fileWasWriting ? 0 : 1);
    EXPECT_EQ(world.log.back(), "runtime shut down");
    // A file with video is completed once the writer has let go of it; one without is not.
    const std::size_t released = c.frameWritten ? 3 : 2;
    EXPECT_EQ(world.log.at(world.log.size() - released), "writer released");
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "complete file"),
              c.frameWritten ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, StageFailure,
    ::testing::Values(
        StageCase{"COM", 1, RecordingStage::Com, 0x80010106u, false},
        StageCase{"Media Foundation", 1, RecordingStage::MediaFoundation, 0xC00D36E3u, false},
        StageCase{"sound", 1, RecordingStage::AudioDevices, 0x80040154u, false},
        StageCase{"sound", 1, RecordingStage::SystemSound, 0x88890004u, false},
        StageCase{"sound", 1, RecordingStage::SystemSoundFormat, 0x8007000Eu, false},
        StageCase{"sound", 1, RecordingStage::UnsupportedAudioFormat, 0x88890008u, false},
        StageCase{"sound", 1, RecordingStage::SystemSoundCapture, 0x88890002u, false},
        StageCase{"sound", 1, RecordingStage::SystemSoundBuffer, 0x88890003u, false},
        StageCase{"sound", 1, RecordingStage::SystemSoundStart, 0x88890001u, false},
        StageCase{"desktop", 1, RecordingStage::DesktopCapture, 0x8007000Eu, false},
        StageCase{"open", 1, RecordingStage::Mp4Settings, 0x8007000Eu, false},
        StageCase{"open", 1, RecordingStage::Mp4Create, 0x80070057u, false},
        StageCase{"open", 1, RecordingStage::VideoFormat, 0x8007000Eu, false},
        StageCase{"open", 1, RecordingStage::H264Encoder, 0xC00D5212u, false, 2},
        StageCase{"open", 1, RecordingStage::Nv12VideoInput, 0xC00D36B4u, false, 2},
        StageCase{"open", 1, RecordingStage::AudioFormat, 0x8007000Eu, false},
        StageCase{"open", 1, RecordingStage::AacEncoder, 0x80040154u, false},
        StageCase{"open", 1, RecordingStage::PcmAudioInput, 0xC00D36B4u, false},
        StageCase{"open", 1, RecordingStage::Mp4WriteStart, 0x80004005u, false, 2},
        StageCase{"grab", 1, RecordingStage::DesktopImageRead, 0x80070006u, true},
        StageCase{"video sample", 1, RecordingStage::RecordingBuffer, 0x8007000Eu, true, 2},
        StageCase{"video sample", 2, RecordingStage::BufferLock, 0x80004005u, true, 0, true},
        StageCase{"audio sample", 1, RecordingStage::RecordingSample, 0x8007000Eu, true, 0, true},
        StageCase{"audio sample", 2, RecordingStage::Mp4SampleWrite, 0xC00D4A44u, true, 0, true},
        StageCase{"finalize", 1, RecordingStage::Mp4Finalize, 0xC00D4A44u, true, 0, true}),
    caseName<StageCase>);

struct RefusalCase {
    const char* step;
    RecordingStage stage;
};

class HardwareEncoderRefusal : public WorkerFixture,
                               public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(HardwareEncoderRefusal, FileIsMadeAnewWithTheSoftwareEncoder)
{
    world.failAt[GetParam().step] = {1, stageFailure(hr(0xC00D36B4u), GetParam().stage)};
    stopAfterPass(30);
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_THAT(world.encoderChoices,
                ElementsAre(VideoEncoders::HardwareAllowed, VideoEncoders::SoftwareOnly));
    // The refused writer is gone before the file is created again.
    const auto firstOpen = std::find(world.log.begin(), world.log.end(), "open");
    const auto secondOpen = std::find(firstOpen + 1, world.log.end(), "open");
    ASSERT_NE(secondOpen, world.log.end());
    EXPECT_NE(std::find(firstOpen, secondOpen, "writer released"), secondOpen);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon finalizes"), 0);
    // The file starts with the first frame and its sound, all of it on the second writer.
    ASSERT_EQ(world.video.size(), 5u);
    EXPECT_EQ(world.video[0].time, 0);
    expectContiguousAudio();
}

INSTANTIATE_TEST_SUITE_P(EveryEncoderStep, HardwareEncoderRefusal,
                         ::testing::Values(RefusalCase{"open", RecordingStage::H264Encoder},
                                           RefusalCase{"open", RecordingStage::Nv12VideoInput},
                                           RefusalCase{"open", RecordingStage::Mp4WriteStart},
                                           RefusalCase{"video sample",
                                                       RecordingStage::Mp4SampleWrite}),
                         caseName<RefusalCase>);

TEST_F(WorkerFixture, SoftwareEncoderIsNotTriedTwice)
{
    world.failAt["open"] = {1, stageFailure(hr(0xC00D5212u), RecordingStage::H264Encoder)};
    world.failAt["video sample"] = {1,
                                    stageFailure(hr(0xC00D36B4u), RecordingStage::Mp4SampleWrite)};
    stopAfterPass(30);
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Zapis probki MP4 (0xC00D36B4)");
    EXPECT_THAT(world.encoderChoices,
                ElementsAre(VideoEncoders::HardwareAllowed, VideoEncoders::SoftwareOnly));
}
