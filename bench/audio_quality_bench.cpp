// How clean the sound is after conversion to 48 kHz: one second of a half-scale sine in 10 ms
// packets through the packet conversion, the seam placement and the track writer, for the usual
// mix rates and tones up to 0.8 times the lower of the two Nyquist frequencies. The residual after
// the best-fitting sine (in frequency too: the steered resampler may run a hundredth of a ppm
// off, which is no noise) counts as noise and distortion (SINAD). Also
// prints what one 10 ms packet costs at each rate, and the length of the filter.
//
//   cmake --preset native && cmake --build --preset native --target audio_quality_bench
//   build/native/bin/audio_quality_bench
#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_resampler.h"
#include "recording/sound/audio_track_writer.h"
#include "tone/test_tone.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr std::int64_t StartTime = 1'000'000'000;

// Source frames of packet k: the 10 ms packets of a rate that is no multiple of 100 alternate in
// length, as the engine's do.
std::int64_t packetStart(std::int64_t k, std::uint32_t rate)
{
    return k * rate / 100;
}

// Packet k of a stereo float source, with the position the engine would give it.
AudioPacket packetOf(const std::vector<float>& source, std::int64_t k, std::uint32_t rate)
{
    const std::int64_t first = packetStart(k, rate);
    AudioPacket packet;
    packet.data = reinterpret_cast<const std::uint8_t*>(source.data() + 2 * first);
    packet.frames = static_cast<std::uint32_t>(packetStart(k + 1, rate) - first);
    packet.byteCount = std::size_t{packet.frames} * 8;
    packet.position = static_cast<std::uint64_t>(StartTime + first * UnitsPerSecond / rate);
    return packet;
}

std::vector<float> stereoTone(double frequency, std::uint32_t rate, std::int64_t frames)
{
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (std::int64_t n = 0; n < frames; ++n) {
        const auto value =
            static_cast<float>(0.5 * std::sin(2.0 * Pi * frequency * static_cast<double>(n) /
                                              static_cast<double>(rate)));
        samples[static_cast<std::size_t>(2 * n)] = value;
        samples[static_cast<std::size_t>(2 * n + 1)] = value;
    }
    return samples;
}

// Sends `packets` 10 ms packets of `source` (float stereo at `rate`) through the conversion;
// returns what the track writer wrote of the left channel.
std::vector<std::int16_t> convertTone(const std::vector<float>& source, std::uint32_t rate,
                                      std::int64_t packets)
{
    const PacketFormat format{SampleEncoding::Float32, 2, rate, 8, 32};
    AudioChunkQueue queue;
    tone::LeftChannelSink sink;
    AudioTrackWriter track(queue, sink, 1);
    AudioStreamConverter converter(format);
    for (std::int64_t k = 0; k < packets; ++k) {
        converter.convert(packetOf(source, k, rate), StartTime, 0, queue);
    }
    converter.endStream(queue);
    track.writeUpTo((packets + 1) * UnitsPerSecond / 100);
    return sink.left;
}

// Signal to noise and distortion of `output` (48 kHz) against the best-fitting sine near
// `frequency` (fitted in frequency, amplitude and phase) plus a constant, over the frames from
// `first` up to `last`.
double sinad(const std::vector<std::int16_t>& output, double frequency, std::size_t first,
             std::size_t last)
{
    const std::vector<double> window(output.begin() + static_cast<std::ptrdiff_t>(first),
                                     output.begin() + static_cast<std::ptrdiff_t>(last));
    return tone::fittedSinad(window, 2.0 * Pi * frequency / 48000.0);
}

// Microseconds to convert one 10 ms packet of a continuous stream at `rate`.
double microsPerPacket(std::uint32_t rate)
{
    constexpr std::int64_t Packets = 3000;
    const std::vector<float> source = stereoTone(1000.0, rate, packetStart(Packets + 1, rate));
    const PacketFormat format{SampleEncoding::Float32, 2, rate, 8, 32};
    AudioStreamConverter converter(format);
    AudioChunkQueue queue;
    std::int64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t k = 0; k < Packets; ++k) {
        converter.convert(packetOf(source, k, rate), StartTime, 0, queue);
        const AudioChunk& chunk = queue.back();
        checksum += chunk.samples.empty() ? 0 : chunk.samples[chunk.samples.size() / 2];
        queue.pop_front();
    }
    const auto end = std::chrono::steady_clock::now();
    if (checksum == 1) {
        std::printf(" ");
    }
    return std::chrono::duration<double, std::micro>(end - start).count() / Packets;
}

} // namespace

int main()
{
    const std::uint32_t rates[] = {16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};
    constexpr std::int64_t Packets = 100; // one second
    std::printf("one second of a half-scale sine in 10 ms packets; SINAD in dB\n");
    std::printf("%9s %9s %9s %9s %9s %16s %14s %14s\n", "rate", "100 Hz", "1 kHz", "5 kHz", "high",
                "(high tone Hz)", "us per packet", "filter");
    double minimum = 1000.0;
    for (const std::uint32_t rate : rates) {
        const double highest = 0.8 * std::min(rate / 2.0, 24000.0);
        const double tones[] = {100.0, 1000.0, 5000.0, highest};
        std::printf("%9u", rate);
        for (const double frequency : tones) {
            const std::vector<float> source =
                stereoTone(frequency, rate, packetStart(Packets, rate));
            const std::vector<std::int16_t> output = convertTone(source, rate, Packets);
            // The first and the last 10 ms hold the start and the end of the tone, not its sound.
            const double value = sinad(output, frequency, 480, 48000 - 480);
            minimum = std::min(minimum, value);
            std::printf(" %9.1f", value);
        }
        std::printf(" %16.0f %14.2f", highest, microsPerPacket(rate));
        const AudioResampler resampler(rate);
        std::printf(" %4u taps x %4u phases\n", 2 * resampler.halfLength(), resampler.phaseCount());
    }
    const double cdPacket = microsPerPacket(44100);
    std::printf("one 10 ms packet at 44.1 kHz: %.2f us (%.2f %% of its duration)\n", cdPacket,
                cdPacket / 100.0);
    std::printf("minimum SINAD: %.1f dB\n", minimum);
    return minimum >= 80.0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
