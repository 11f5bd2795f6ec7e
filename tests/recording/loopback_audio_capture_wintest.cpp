#include "recording/mp4/com_media_scope.h"
#include "common/failure.h"
#include "recording/sound/audio_track_writer.h"
#include "recording/sound/loopback_audio_capture.h"
#include "recording/core/recording_clock.h"
#include "tone_player.h"
#include "tone/test_tone.h"
#include "support/runs_under_wine.h"
#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>
#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <optional>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

class ComOnThisThread {
public:
    ComOnThisThread()
    {
        scope.startCom();
        scope.startMediaFoundation();
    }

private:
    ComMediaScope scope;
};

std::optional<Failure> failureOfStart(LoopbackAudioCapture& capture)
{
    try {
        capture.start();
    } catch (const Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

} // namespace

TEST(LoopbackAudioCapture, DrainBeforeStartFailsInsteadOfCrashing)
{
    LoopbackAudioCapture capture;
    AudioChunkQueue queue;
    try {
        capture.drain(queue, false, 0, 0);
        FAIL() << "drain of a capture that never started succeeded";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.hr, static_cast<std::int32_t>(AUDCLNT_E_NOT_INITIALIZED));
        EXPECT_EQ(stageOf(failure), RecordingStage::AudioRead);
    }
    EXPECT_TRUE(queue.empty());
}

TEST(LoopbackAudioCapture, WithoutAnOutputDeviceFailsAtTheDefaultEndpoint)
{
    if (!test_support::runsUnderWine()) {
        GTEST_SKIP() << "relies on Wine without a sound server having no output device";
    }
    if (hasAudioServer()) {
        GTEST_SKIP() << "an audio server is running (PULSE_SERVER), so an output device exists";
    }
    ComOnThisThread com;
    LoopbackAudioCapture capture;
    const std::optional<Failure> failure = failureOfStart(capture);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(failure->hr), 0x80070490u);
    EXPECT_EQ(stageOf(*failure), RecordingStage::NoAudioOutput);
}

namespace {

// The tests that need the PulseAudio null sink. Its monitor, the default capture endpoint,
// carries what is played.
class PulseLoopbackAudioCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!hasAudioServer()) {
            GTEST_SKIP() << "needs Wine with a PulseAudio null sink: run with ORLIMO_PULSE=1";
        }
    }

    void openMonitor()
    {
        ComPtr<IMMDeviceEnumerator> enumerator;
        ASSERT_EQ(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                     IID_PPV_ARGS(&enumerator)),
                  S_OK);
        ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &monitor), S_OK);
    }

    ComOnThisThread com;
    ComPtr<IMMDevice> monitor;
};

} // namespace

TEST_F(PulseLoopbackAudioCapture, LoopbackStopsAtTheCaptureService)
{
    LoopbackAudioCapture capture;
    const std::optional<Failure> failure = failureOfStart(capture);
    ASSERT_TRUE(failure.has_value());
    // Wine 8 initializes the loopback client but offers no capture service on it.
    EXPECT_EQ(static_cast<std::uint32_t>(failure->hr), 0x88890003u);
    EXPECT_EQ(stageOf(*failure), RecordingStage::SystemSoundBuffer);
    EXPECT_TRUE(capture.isFloat()); // the null sink mixes in 32-bit float
}

namespace {

int peakOf(const AudioChunk& chunk)
{
    int peak = 0;
    for (const std::int16_t sample : chunk.samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

} // namespace

// Wine offers no loopback service, but the null sink's monitor is a capture endpoint that
// carries what is played: the drain, the packet positions and the conversion run on real
// packets from the audio engine.
TEST_F(PulseLoopbackAudioCapture, DrainsRealPacketsOfAPlayingToneOntoTheTimeline)
{
    ASSERT_NO_FATAL_FAILURE(openMonitor());

    TonePlayer tone;
    ASSERT_TRUE(tone.start());

    LoopbackAudioCapture capture;
    capture.startOnDevice(*monitor.Get(), 0);
    const std::int64_t startTime = nowIn100ns();

    // Keep polling as the worker does until the tone has come through in several packets.
    AudioChunkQueue queue;
    std::size_t chunksWithTone = 0;
    for (int pass = 0; pass < 1000 && chunksWithTone < 10; ++pass) {
        const std::size_t before = queue.size();
        capture.drain(queue, false, startTime, 0);
        for (std::size_t i = before; i < queue.size(); ++i) {
            chunksWithTone += peakOf(queue[i]) > 8000 ? 1 : 0;
        }
        ::Sleep(5);
    }
    ASSERT_GE(chunksWithTone, 10u);

    const std::int64_t endFrame = (nowIn100ns() - startTime) * 48 / 10'000;
    std::int64_t previousStart = std::numeric_limits<std::int64_t>::min();
    for (const AudioChunk& chunk : queue) {
        ASSERT_EQ(chunk.samples.size() % 2, 0u);
        EXPECT_FALSE(chunk.samples.empty());
        // Placed within the capture's own span, in the order the engine delivered them.
        EXPECT_GT(chunk.startFrame, -48'000);
        EXPECT_LE(chunk.endFrame(), endFrame + 480);
        EXPECT_GE(chunk.startFrame, previousStart);
        previousStart = chunk.startFrame;
        if (peakOf(chunk) > 8000) {
            // The float tone of amplitude 0.5 comes out at 0.5 x 32767 rounded, 16384, the same
            // on both sides; where it starts out of silence the band limit lets it ring a
            // little above that.
            EXPECT_GE(peakOf(chunk), 16000);
            EXPECT_LE(peakOf(chunk), 16384 + 164);
            for (std::size_t i = 0; i < chunk.samples.size(); i += 2) {
                ASSERT_EQ(chunk.samples[i], chunk.samples[i + 1]);
            }
        }
    }

    // Discarding reads the packets without queueing anything once the sound before them is out.
    ::Sleep(30);
    capture.endStream(queue);
    const std::size_t queued = queue.size();
    capture.drain(queue, true, startTime, 0);
    EXPECT_EQ(queue.size(), queued);
}

// Ten seconds of a continuous tone through real packets, the drain's placement and the track
// writer, polled and written the way the worker does it: every seam between packets must
// continue the tone.
TEST_F(PulseLoopbackAudioCapture, TenSecondsOfToneKeepEverySeam)
{
    ASSERT_NO_FATAL_FAILURE(openMonitor());
    TonePlayer tone;
    ASSERT_TRUE(tone.start());
    LoopbackAudioCapture capture;
    capture.startOnDevice(*monitor.Get(), 0);

    AudioChunkQueue queue;
    tone::LeftChannelSink sink;
    AudioTrackWriter track(queue, sink, 0);
    const std::int64_t startTime = nowIn100ns();
    capture.drain(queue, true, startTime, 0);
    // Seams where a chunk does not start where the previous one ended: the engine's positions
    // jumped by more than the seam tolerance there, and the packets after confirmed it, so the
    // sound is placed by them.
    constexpr std::int64_t Unset = std::numeric_limits<std::int64_t>::min();
    std::int64_t previousEnd = Unset;
    std::size_t discontinuities = 0;
    std::vector<std::int64_t> discontinuityFrames;
    std::int64_t elapsed = 0;
    while (elapsed < 100'000'000) {
        ASSERT_TRUE(tone.topUp());
        elapsed = nowIn100ns() - startTime;
        const std::size_t queuedBefore = queue.size();
        capture.drain(queue, false, startTime, 0);
        for (std::size_t q = queuedBefore; q < queue.size(); ++q) {
            if (previousEnd != Unset && queue[q].startFrame != previousEnd) {
                ++discontinuities;
                discontinuityFrames.push_back(queue[q].startFrame);
                std::cout << "discontinuity at frame " << queue[q].startFrame << " (previous end "
                          << previousEnd << ")\n";
            }
            previousEnd = queue[q].endFrame();
        }
        track.writeUpTo(std::max<std::int64_t>(0, elapsed - 1'000'000));
        ::Sleep(5);
    }
    capture.drain(queue, false, startTime, 0);
    // The end of the recording lets the filter ring out from the first frame whose taps reach
    // past the last packet: the tone fades there, which is its end and not a seam.
    const std::size_t queuedBeforeEnd = queue.size();
    capture.endStream(queue);
    const std::int64_t ringOutFrame = queue.size() > queuedBeforeEnd
                                          ? queue.back().startFrame
                                          : std::numeric_limits<std::int64_t>::max();
    track.writeUpTo(nowIn100ns() - startTime);

    const std::vector<tone::Break> breaks = tone::findBreaks(sink.left);
    for (const tone::Break& found : breaks) {
        std::cout << "broken seam at frame " << found.frame << ", silent for " << found.silentFrames
                  << "\n";
    }
    std::cout << "broken seams in 10 s of tone: " << breaks.size() << "; chunks placed by "
              << "positions more than the tolerance off: " << discontinuities
              << "; the filter rings out from frame " << ringOutFrame << "\n";
    EXPECT_GE(sink.left.size(), 9u * 48'000);
    // Wine reads the sound server in fragments of about 15 ms and gives every 10 ms packet cut
    // from one fragment the fragment's position: such a packet's stamp is off by up to 10 ms,
    // alone, and is taken for the jitter it is. Only a jump that the packets after it confirm
    // starts the sound anew, and may break the tone there; so may silence that the engine itself
    // delivered (the player or the server running dry on a loaded machine), and the filter lets
    // the tone fade out before that silence and fade in after it. Every other seam must hold: a
    // skipped or doubled sample, or a gap the placement opened, inside one stream.
    constexpr std::int64_t FadeFrames = 128; // the filter spans about 70 frames at 44.1 or 48 kHz
    std::int64_t fadeInEnd = std::numeric_limits<std::int64_t>::min();
    std::size_t unexplained = 0;
    for (const tone::Break& found : breaks) {
        // The judge looks at two frames at a time, so the fade shows one frame ahead of it.
        if (found.frame + 1 >= ringOutFrame || found.frame <= fadeInEnd) {
            continue;
        }
        const bool nearJump =
            std::any_of(discontinuityFrames.begin(), discontinuityFrames.end(),
                        [&](std::int64_t frame) { return std::abs(frame - found.frame) <= 2'400; });
        const bool engineSilence = found.silentFrames > 0 && !nearJump;
        if (engineSilence) {
            fadeInEnd = found.frame + FadeFrames + found.silentFrames + FadeFrames;
        }
        unexplained += nearJump || engineSilence ? 0 : 1;
    }
    EXPECT_EQ(unexplained, 0u);
}
