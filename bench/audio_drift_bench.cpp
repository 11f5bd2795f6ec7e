// Sound over a long recording from a device whose clock is off: 30 minutes of a 1 kHz tone at
// -1 dBFS in 10 ms packets through the packet conversion and the track writer, driven as the
// worker drives them (a pass every 5 ms, the track written 0.1 s behind), for device clocks off by
// -300 to +300 ppm against the performance counter, at 44.1 and 48 kHz, with the positions
// jittered by up to 50 us either way. Prints per case the worst one-second SINAD from the fifth
// second on (against a sine fitted in frequency, amplitude and phase, so a tiny residual rate
// error is not counted as noise), whether the first five seconds hold a click, the largest offset
// between where the sound was placed and where the unjittered positions put it, and how many
// packets were placed by their position again while the sound was continuous.
//
//   cmake --preset native && cmake --build --preset native --target audio_drift_bench
//   build/native/bin/audio_drift_bench [minutes]
#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_track_writer.h"
#include "tone/test_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr std::int64_t PassLength = 50'000;  // the worker's 5 ms pass
constexpr std::int64_t WriteLag = 1'000'000; // the worker writes 0.1 s behind
constexpr std::int64_t StartTime = 1'000'000'000;
constexpr std::int64_t Jitter = 500; // 50 us either way
constexpr std::int64_t ClickSeconds = 5;
const double ToneAmplitude = std::pow(10.0, -1.0 / 20.0);

// Takes the left channel as the track writer writes it and judges it one second at a time.
class JudgingSink final : public SampleSink {
public:
    explicit JudgingSink(std::int64_t lastWholeSecond) : last(lastWholeSecond) {}

    void writeSample(std::uint32_t, const std::uint8_t* bytes, std::uint32_t length, std::int64_t,
                     std::int64_t) override
    {
        for (std::uint32_t i = 0; i + 3 < length; i += 4) {
            take(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        }
    }

    double worstSinad = 1000.0;
    double worstSecond = 0.0;
    std::vector<std::int16_t> opening; // the first seconds, for the click judge

private:
    void take(std::int16_t value)
    {
        if (frame < ClickSeconds * 48000) {
            opening.push_back(value);
        }
        const std::int64_t second = frame / 48000;
        ++frame;
        if (second < ClickSeconds || second >= last) {
            return;
        }
        window.push_back(value);
        if (window.size() == 48000) {
            judge(second);
            window.clear();
        }
    }

    void judge(std::int64_t second)
    {
        if (!fitted) {
            fit.w = 2.0 * Pi * tone::Frequency / 48000.0;
            fit.step(window, false);
            fit.step(window, true);
            fitted = true;
        }
        fit.step(window, true);
        fit.step(window, true);
        fit.step(window, false);
        const double value = fit.sinad(window);
        if (value < worstSinad) {
            worstSinad = value;
            worstSecond = static_cast<double>(second);
        }
    }

    std::int64_t last;
    std::int64_t frame = 0;
    std::vector<double> window;
    tone::SineFit fit;
    bool fitted = false;
};

struct Result {
    double worstSinad = 0.0;
    double worstSecond = 0.0;
    int clicks = 0;
    double largestOffset = 0.0; // 48 kHz frames
    int replaced = 0;
};

Result run(std::uint32_t rate, double driftPpm, std::int64_t duration)
{
    const PacketFormat format{SampleEncoding::Float32, 2, rate, 8, 32};
    const std::uint32_t packetFrames = rate / 100;
    std::mt19937 random(11);
    std::uniform_int_distribution<std::int64_t> jitter(-Jitter, Jitter);

    AudioChunkQueue queue;
    JudgingSink sink(duration / UnitsPerSecond - 1);
    AudioTrackWriter track(queue, sink, 1);
    AudioStreamConverter converter(format);
    Result result;
    std::vector<float> samples(static_cast<std::size_t>(packetFrames) * 2);
    // The device makes rate x (1 + drift) frames per second of the performance counter.
    const double unitsPerFrame =
        static_cast<double>(UnitsPerSecond) / (static_cast<double>(rate) * (1.0 + driftPpm * 1e-6));
    const double toneStep = 2.0 * Pi * tone::Frequency / static_cast<double>(rate);

    std::int64_t packet = 0;
    for (std::int64_t now = StartTime; now <= StartTime + duration; now += PassLength) {
        // The engine hands out a packet once its last frame has been captured.
        while (StartTime + static_cast<std::int64_t>(
                               static_cast<double>((packet + 1) * packetFrames) * unitsPerFrame) <=
               now) {
            const std::int64_t first = packet * packetFrames;
            const double exact = static_cast<double>(first) * unitsPerFrame;
            ++packet;
            for (std::uint32_t i = 0; i < packetFrames; ++i) {
                const std::int64_t n = (first + i) % static_cast<std::int64_t>(rate);
                const auto value = static_cast<float>(
                    ToneAmplitude * std::sin(toneStep * static_cast<double>(n) + tone::Phase));
                samples[2 * i] = value;
                samples[2 * i + 1] = value;
            }
            AudioPacket delivered;
            delivered.data = reinterpret_cast<const std::uint8_t*>(samples.data());
            delivered.byteCount = samples.size() * sizeof(float);
            delivered.frames = packetFrames;
            const std::int64_t position =
                StartTime + static_cast<std::int64_t>(std::llround(exact)) + jitter(random);
            delivered.position = static_cast<std::uint64_t>(position);
            const PacketPlacement placed = converter.convert(delivered, StartTime, 0, queue);
            // Where the packet's first frame stands in the output against where its unjittered
            // position puts it.
            if (placed.placement != SeamPlacement::Held) {
                const double trueFrame = exact * 48000.0 / static_cast<double>(UnitsPerSecond);
                result.largestOffset =
                    std::max(result.largestOffset, std::abs(placed.placedFrame - trueFrame));
            }
        }
        track.writeUpTo(std::max<std::int64_t>(0, now - StartTime - WriteLag));
    }
    converter.endStream(queue);
    track.writeUpTo(duration);
    result.replaced = static_cast<int>(converter.streamsStarted()) - 1;
    result.worstSinad = sink.worstSinad;
    result.worstSecond = sink.worstSecond;
    result.clicks = tone::countClicks(sink.opening);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30.0;
    const auto duration = static_cast<std::int64_t>(minutes * 60.0 * UnitsPerSecond);
    const double drifts[] = {-300, -100, -50, -20, 0, 20, 50, 100, 300};
    std::printf("%.0f min of a 1 kHz tone at -1 dBFS in 10 ms packets, positions jittered by "
                "+/-50 us\n",
                minutes);
    std::printf("%7s %6s %14s %8s %9s %18s %9s\n", "rate", "ppm", "worst SINAD dB", "at s",
                "clicks", "largest offset ms", "re-placed");
    double worstSinad = 1000.0;
    double largestOffset = 0.0;
    bool clicks = false;
    for (const std::uint32_t rate : {44100u, 48000u}) {
        for (const double drift : drifts) {
            const Result result = run(rate, drift, duration);
            const double offsetMs = result.largestOffset / 48.0;
            std::printf("%7u %+6.0f %14.1f %8.0f %9s %18.3f %9d\n", rate, drift, result.worstSinad,
                        result.worstSecond, result.clicks > 0 ? "click" : "none", offsetMs,
                        result.replaced);
            std::fflush(stdout);
            worstSinad = std::min(worstSinad, result.worstSinad);
            largestOffset = std::max(largestOffset, offsetMs);
            clicks = clicks || result.clicks > 0;
        }
    }
    std::printf("clicks in the first %lld s: %s\n", static_cast<long long>(ClickSeconds),
                clicks ? "yes" : "none");
    std::printf("worst one-second SINAD: %.1f dB\n", worstSinad);
    std::printf("largest offset: %.3f ms\n", largestOffset);
    return worstSinad >= 85.0 && largestOffset <= 1.0 && !clicks ? EXIT_SUCCESS : EXIT_FAILURE;
}
