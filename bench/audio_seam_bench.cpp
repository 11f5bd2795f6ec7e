// Seams of continuous sound: 60 s of a 1 kHz tone as 10 ms packets through the packet
// conversion (which follows the device clock) and the track writer, with the engine's positions
// exact, jittered, from a 44.1 kHz mix, drifting, and with one real gap. Prints, per engine, the
// broken seams (a zero, a missing or a repeated sample inside the tone, judged by the tone's
// phase), the packets placed by their position again while the sound was continuous, and the
// largest and final offset between where the sound was placed and where its unjittered positions
// put it.
//
//   cmake --preset native && cmake --build --preset native --target audio_seam_bench
//   build/native/bin/audio_seam_bench
#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_track_writer.h"
#include "tone/test_tone.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t Duration = 60 * UnitsPerSecond;
constexpr std::int64_t PassLength = 50'000;  // the worker's 5 ms pass
constexpr std::int64_t WriteLag = 1'000'000; // the worker writes 0.1 s behind
constexpr std::int64_t StartTime = 1'000'000'000;

struct Engine {
    const char* name;
    std::uint32_t rate = 48000;
    std::uint32_t packetFrames = 480;
    std::int64_t jitter = 0;    // positions off by up to this many 100-ns units either way
    double driftPpm = 0.0;      // positions run this much faster than the samples
    std::int64_t gapStart = -1; // packets starting in [gapStart, gapStart + gapLength) are lost
    std::int64_t gapLength = 0;
};

struct Result {
    std::vector<tone::Break> breaks;
    int replaced = 0;           // streams begun after the first, gaps included
    double largestOffset = 0.0; // frames
    double finalOffset = 0.0;
};

Result run(const Engine& engine)
{
    const PacketFormat format{SampleEncoding::Float32, 2, engine.rate, 8, 32};
    std::mt19937 random(9);
    std::uniform_int_distribution<std::int64_t> jitter(-engine.jitter, engine.jitter);

    AudioChunkQueue queue;
    tone::LeftChannelSink sink;
    AudioTrackWriter track(queue, sink, 1);
    AudioStreamConverter converter(format);
    Result result;
    std::vector<float> samples(static_cast<std::size_t>(engine.packetFrames) * 2);

    std::int64_t packet = 0;
    // Where the performance counter stands when the device has captured `frames` frames.
    const auto deviceTime = [&](std::int64_t frames) {
        const std::int64_t exact = frames * UnitsPerSecond / engine.rate;
        return exact + std::llround(static_cast<double>(exact) * engine.driftPpm * 1e-6);
    };
    for (std::int64_t now = StartTime; now <= StartTime + Duration; now += PassLength) {
        // The engine hands out a packet once its last frame has been captured.
        while (StartTime + deviceTime((packet + 1) * engine.packetFrames) <= now) {
            const std::int64_t first = packet * engine.packetFrames;
            const std::int64_t start = deviceTime(first);
            ++packet;
            if (engine.gapStart >= 0 && start >= engine.gapStart &&
                start < engine.gapStart + engine.gapLength) {
                continue;
            }
            for (std::uint32_t i = 0; i < engine.packetFrames; ++i) {
                const float value = tone::sample(first + i, engine.rate);
                samples[2 * i] = value;
                samples[2 * i + 1] = value;
            }
            AudioPacket delivered;
            delivered.data = reinterpret_cast<const std::uint8_t*>(samples.data());
            delivered.byteCount = samples.size() * sizeof(float);
            delivered.frames = engine.packetFrames;
            delivered.position = static_cast<std::uint64_t>(StartTime + start + jitter(random));
            const PacketPlacement placed = converter.convert(delivered, StartTime, 0, queue);
            if (placed.placement != SeamPlacement::Held) {
                result.finalOffset =
                    placed.placedFrame - static_cast<double>(start) * 48.0 / 10'000;
                result.largestOffset = std::max(result.largestOffset, std::abs(result.finalOffset));
            }
        }
        track.writeUpTo(std::max<std::int64_t>(0, now - StartTime - WriteLag));
    }
    converter.endStream(queue);
    track.writeUpTo(Duration + UnitsPerSecond);
    result.replaced = static_cast<int>(converter.streamsStarted()) - 1;
    // The tone's own start and end are no seams; resampled, they ring for the filter's length.
    constexpr std::int64_t Edge = 480;
    const std::vector<std::int16_t> judged(sink.left.begin() + Edge,
                                           sink.left.begin() + Duration * 48 / 10'000 - Edge);
    result.breaks = tone::findBreaks(judged);
    return result;
}

double micros(double frames)
{
    return frames * 1e6 / 48000.0;
}

} // namespace

int main()
{
    const Engine engines[] = {
        {"exact positions", 48000, 480, 0, 0.0},
        {"+/-50 us jitter", 48000, 480, 500, 0.0},
        {"44.1 kHz, 441 frames, +/-50 us", 44100, 441, 500, 0.0},
        {"+50 ppm drift", 48000, 480, 0, 50.0},
        {"-50 ppm drift", 48000, 480, 0, -50.0},
        // Drift that would use up the seam tolerance within the minute if it were not followed.
        {"+200 ppm drift", 48000, 480, 0, 200.0},
        {"-200 ppm drift", 48000, 480, 0, -200.0},
        {"one 200 ms gap at 30 s", 48000, 480, 0, 0.0, 30 * UnitsPerSecond, 2'000'000},
    };
    std::printf("60 s of a 1 kHz tone in 10 ms packets; a stamp %.0f us off the clock is a gap "
                "once the next packet confirms it\n",
                micros(static_cast<double>(SeamToleranceFrames)));
    std::size_t continuousBreaks = 0;
    bool ok = true;
    for (const Engine& engine : engines) {
        const Result result = run(engine);
        std::printf("%-32s broken seams %5zu  re-placed %3d  largest offset %6.0f us  "
                    "final offset %6.0f us\n",
                    engine.name, result.breaks.size(), result.replaced,
                    micros(result.largestOffset), micros(result.finalOffset));
        // Continuous sound stays on its clock, within a millisecond, and is never placed anew.
        const bool gap = engine.gapStart >= 0;
        ok = ok && result.largestOffset <= 48.0 && result.replaced == (gap ? 1 : 0);
        if (!gap) {
            continuousBreaks += result.breaks.size();
        } else {
            // The gap must stay a gap: one break, silent for the lost 200 ms (9600 frames, give or
            // take the filter's ringing), and nothing else broken.
            const bool kept =
                result.breaks.size() == 1 && std::abs(result.breaks[0].silentFrames - 9600) <= 64;
            std::printf("%-32s the gap in the output: %s (%.1f ms of silence)\n", "",
                        kept ? "kept" : "NOT KEPT",
                        result.breaks.empty()
                            ? 0.0
                            : micros(static_cast<double>(result.breaks[0].silentFrames)) / 1000);
            ok = ok && kept;
        }
    }
    std::printf("broken seams: %zu\n", continuousBreaks);
    return ok && continuousBreaks == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
