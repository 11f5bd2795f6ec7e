#include "recording/mp4/com_media_scope.h"
#include "common/failure.h"
#include "fake_sink_writer.h"
#include "recording/sound/loopback_audio_capture.h"
#include "recording/mp4/mp4_sink_writer.h"
#include "recording/engine/recording_session.h"
#include "recording/engine/recording_worker.h"
#include "recording/engine/timer_resolution_scope.h"
#include "support/pass_through_recording_platform.h"
#include "support/pattern_window.h"
#include "tone_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <timeapi.h>

using Microsoft::WRL::ComPtr;
using namespace test_support;

// The real worker on the real Windows bindings, with only what Wine lacks replaced: the sink
// writer keeps its samples instead of encoding them, and the sound comes from the null sink's
// monitor (or nothing) instead of a loopback stream. COM, Media Foundation, the GDI capture,
// the NV12 frames, the media buffers and samples, the clock and the pacing are all real.
namespace {

class KeptMp4Writer final : public MediaFileWriter {
public:
    KeptMp4Writer(FakeSinkWriter& kept, const MediaFoundationFunctions& mediaFoundation)
        : sink(kept), writer(mediaFoundation)
    {}
    void open(const std::wstring&, std::int32_t width, std::int32_t height, VideoEncoders) override
    {
        writer.openStreams(ComPtr<IMFSinkWriter>(&sink), width, height);
    }
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override
    {
        writer.writeSample(stream, bytes, length, time, duration);
    }
    void finalize() override { writer.finalize(); }
    void abandon() noexcept override { writer.abandon(); }
    std::uint32_t videoStream() const noexcept override { return writer.videoStream(); }
    std::uint32_t audioStream() const noexcept override { return writer.audioStream(); }

private:
    FakeSinkWriter& sink;
    Mp4SinkWriter writer;
};

class NoSound final : public SoundSource {
public:
    void drain(AudioChunkQueue&, bool, std::int64_t, std::int64_t) override {}
};

class WinePlatform final : public test_support::PassThroughRecordingPlatform {
public:
    WinePlatform(FakeSinkWriter& kept, bool monitoredSound)
        : sink(kept), withMonitoredSound(monitoredSound)
    {}
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override
    {
        return std::make_unique<test_support::RuntimeWithOwnWriter>(
            [this](const MediaFoundationFunctions& mediaFoundation) {
                return std::make_unique<KeptMp4Writer>(sink, mediaFoundation);
            });
    }
    std::unique_ptr<SoundSource> startSound() override
    {
        if (!withMonitoredSound) {
            return std::make_unique<NoSound>();
        }
        ComPtr<IMMDeviceEnumerator> enumerator;
        ComPtr<IMMDevice> monitor;
        if (FAILED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      IID_PPV_ARGS(&enumerator))) ||
            FAILED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &monitor))) {
            throw Failure{E_FAIL, L"Monitor"};
        }
        auto capture = std::make_unique<LoopbackAudioCapture>();
        capture->startOnDevice(*monitor.Get(), 0);
        return capture;
    }

private:
    FakeSinkWriter& sink;
    bool withMonitoredSound;
};

constexpr PixelRect PatternRegion{200, 150, 200 + QuadrantPatternWidth,
                                  150 + QuadrantPatternHeight};
constexpr std::int64_t FramePeriodUnits = 333'333;

// Records the pattern window for the given recording time and stops.
RecordingState recordPattern(FakeSinkWriter& sink, bool withMonitoredSound, std::int64_t duration)
{
    const PatternWindow pattern(PatternRegion.left, PatternRegion.top, quadrantPixels());
    RecordingSession session(
        [&sink, withMonitoredSound](RecordingSession& s, PixelRect region, std::wstring path) {
            WinePlatform platform(sink, withMonitoredSound);
            runRecordingWorkerWith(s, region, path, platform);
        });
    if (!session.start(PatternRegion, L"kept-in-memory.mp4")) {
        return RecordingState::Idle;
    }
    pumpUntil([&] { return !isActive(session.readState()) || session.readElapsed() >= duration; },
              Milliseconds{10'000}, Milliseconds{10});
    session.requestStop();
    pumpUntil([&] { return !isActive(session.readState()); }, Milliseconds{10'000},
              Milliseconds{10});
    session.join();
    return session.readState();
}

std::vector<WrittenSample> samplesOf(const FakeSinkWriter& sink, DWORD stream)
{
    std::vector<WrittenSample> found;
    std::copy_if(sink.samples.begin(), sink.samples.end(), std::back_inserter(found),
                 [stream](const WrittenSample& sample) { return sample.stream == stream; });
    return found;
}

void expectVideoOnTheFrameGrid(const std::vector<WrittenSample>& video)
{
    ASSERT_GE(video.size(), 2u);
    EXPECT_EQ(video.front().time, 0);
    for (std::size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(video[i].time % FramePeriodUnits, 0);
        EXPECT_EQ(video[i].duration, FramePeriodUnits);
        EXPECT_EQ(video[i].bytes.size(),
                  static_cast<std::size_t>(QuadrantPatternWidth * QuadrantPatternHeight * 3 / 2));
        if (i > 0) {
            EXPECT_GT(video[i].time, video[i - 1].time);
        }
    }
}

void expectContiguousAudioUpToTheLastFrame(const std::vector<WrittenSample>& audio,
                                           std::int64_t lastFrameEnd)
{
    ASSERT_FALSE(audio.empty());
    EXPECT_EQ(audio.front().time, 0);
    for (std::size_t i = 0; i < audio.size(); ++i) {
        EXPECT_EQ(audio[i].bytes.size() % 4, 0u);
        EXPECT_LE(audio[i].bytes.size(), 19'200u);
        if (i > 0) {
            EXPECT_EQ(audio[i].time, audio[i - 1].time + audio[i - 1].duration);
        }
    }
    // Whole 48 kHz frames: the track ends within one frame (208 units) of the last video frame.
    EXPECT_GE(audio.back().time + audio.back().duration, lastFrameEnd - 208);
}

} // namespace

TEST(RecordingOnWine, RecordsTheScreenAsNv12FramesOnTheGridWithASilentTrack)
{
    FakeSinkWriter sink;
    ASSERT_EQ(recordPattern(sink, false, 5'000'000), RecordingState::Saved);
    ASSERT_GE(sink.calls.size(), 6u);
    EXPECT_EQ(sink.calls.back(), "Finalize");
    EXPECT_EQ(sink.countOf("Finalize"), 1u);

    const std::vector<WrittenSample> video = samplesOf(sink, 7);
    const std::vector<WrittenSample> audio = samplesOf(sink, 8);
    expectVideoOnTheFrameGrid(video);
    ASSERT_FALSE(video.empty());
    expectContiguousAudioUpToTheLastFrame(audio, video.back().time + FramePeriodUnits);
    for (const WrittenSample& sample : audio) {
        EXPECT_TRUE(std::all_of(sample.bytes.begin(), sample.bytes.end(),
                                [](std::uint8_t b) { return b == 0; }));
    }

    // The last frame shows the pattern: studio-range luma of red, green, blue and yellow, and
    // the chroma pair of a red block.
    const std::vector<std::uint8_t>& frame = video.back().bytes;
    const auto luma = [&frame](int x, int y) {
        return frame[static_cast<std::size_t>(y * QuadrantPatternWidth + x)];
    };
    EXPECT_EQ(luma(16, 12), 82);
    EXPECT_EQ(luma(48, 12), 144);
    EXPECT_EQ(luma(16, 36), 41);
    EXPECT_EQ(luma(48, 36), 210);
    const std::size_t redChroma =
        QuadrantPatternWidth * QuadrantPatternHeight + 6 * QuadrantPatternWidth + 16;
    EXPECT_EQ(frame[redChroma], 90);
    EXPECT_EQ(frame[redChroma + 1], 240);
}

TEST(PulseRecordingOnWine, RecordsTheMonitoredToneIntoTheAudioTrack)
{
    if (!hasAudioServer()) {
        GTEST_SKIP() << "needs Wine with a PulseAudio null sink: run with ORLIMO_PULSE=1";
    }
    ComMediaScope com;
    com.startCom();
    TonePlayer tone;
    ASSERT_TRUE(tone.start());
    FakeSinkWriter sink;
    // A PulseAudio stream takes a few hundred milliseconds to deliver its first packet.
    ASSERT_EQ(recordPattern(sink, true, 25'000'000), RecordingState::Saved);

    const std::vector<WrittenSample> video = samplesOf(sink, 7);
    const std::vector<WrittenSample> audio = samplesOf(sink, 8);
    expectVideoOnTheFrameGrid(video);
    ASSERT_FALSE(video.empty());
    expectContiguousAudioUpToTheLastFrame(audio, video.back().time + FramePeriodUnits);

    int peak = 0;
    for (const WrittenSample& sample : audio) {
        for (std::size_t i = 0; i + 1 < sample.bytes.size(); i += 2) {
            const auto value =
                static_cast<std::int16_t>(sample.bytes[i] | (sample.bytes[i + 1] << 8));
            peak = std::max(peak, std::abs(static_cast<int>(value)));
        }
    }
    // The tone of amplitude 0.5 reaches the track at 0.5 x 32767 rounded (16384); where it starts
    // out of silence the band limit lets it ring a little above that.
    EXPECT_GE(peak, 16000);
    EXPECT_LE(peak, 16384 + 164);
}

namespace {

// The timer resolution calls the worker makes, observed through the functions it looked up.
struct TimerCalls {
    std::vector<std::string> calls;
    bool refuse = false;
    TimerResolutionFunctions real;
};
TimerCalls timerCalls;

MMRESULT WINAPI ObservedTimeBeginPeriod(UINT period)
{
    timerCalls.calls.push_back("begin " + std::to_string(period));
    return timerCalls.refuse ? TIMERR_NOCANDO : timerCalls.real.beginPeriod(period);
}

MMRESULT WINAPI ObservedTimeEndPeriod(UINT period)
{
    timerCalls.calls.push_back("end " + std::to_string(period));
    return timerCalls.real.endPeriod(period);
}

class ObservedTimerResolution {
public:
    ObservedTimerResolution()
    {
        timerCalls = {};
        timerCalls.real = std::exchange(
            timerResolutionFunctions(),
            TimerResolutionFunctions{&ObservedTimeBeginPeriod, &ObservedTimeEndPeriod});
        patched = timerCalls.real.beginPeriod != nullptr && timerCalls.real.endPeriod != nullptr;
    }
    ~ObservedTimerResolution() { timerResolutionFunctions() = timerCalls.real; }
    bool patched = false;
};

} // namespace

// The loop sleeps 5 ms only with a 1 ms timer resolution; it is asked for once per recording and
// given back on every way out, but only when it was granted.
TEST(RecordingOnWine, TimerResolutionIsHeldForTheLoopAndGivenBackOnEveryWayOut)
{
    ObservedTimerResolution observed;
    ASSERT_TRUE(observed.patched);
    using Calls = std::vector<std::string>;
    {
        SCOPED_TRACE("saved");
        FakeSinkWriter sink;
        ASSERT_EQ(recordPattern(sink, false, 1'000'000), RecordingState::Saved);
        EXPECT_EQ(timerCalls.calls, (Calls{"begin 1", "end 1"}));
    }
    {
        SCOPED_TRACE("a sample write fails in the loop");
        timerCalls.calls.clear();
        FakeSinkWriter sink;
        sink.failingCall = "WriteSample#3";
        // After the first frame a failure keeps the file: saved as far as it got.
        ASSERT_EQ(recordPattern(sink, false, 1'000'000), RecordingState::Saved);
        EXPECT_EQ(timerCalls.calls, (Calls{"begin 1", "end 1"}));
    }
    {
        SCOPED_TRACE("the resolution is refused");
        timerCalls.calls.clear();
        timerCalls.refuse = true;
        FakeSinkWriter sink;
        ASSERT_EQ(recordPattern(sink, false, 1'000'000), RecordingState::Saved);
        EXPECT_EQ(timerCalls.calls, (Calls{"begin 1"}));
        timerCalls.refuse = false;
    }
    {
        SCOPED_TRACE("winmm.dll is missing");
        const TimerResolutionFunctions observing =
            std::exchange(timerResolutionFunctions(), TimerResolutionFunctions{});
        timerCalls.calls.clear();
        FakeSinkWriter sink;
        EXPECT_EQ(recordPattern(sink, false, 1'000'000), RecordingState::Saved);
        EXPECT_TRUE(timerCalls.calls.empty());
        timerResolutionFunctions() = observing;
    }
}
