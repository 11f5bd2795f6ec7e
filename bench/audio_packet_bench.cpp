// Microseconds to convert one 10 ms packet of loopback sound into a 48 kHz stereo chunk, for the
// usual mix formats, each a continuous stream of packets (rates other than 48 kHz go through the
// resampler).
//
//   cmake --preset native -B build/native && cmake --build build/native -j2 --target
//   audio_packet_bench build/native/bin/audio_packet_bench
#include "recording/sound/audio_conversion.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int Rounds = 20'000;

void report(const char* name, SampleEncoding encoding, std::uint16_t channels, std::uint32_t rate,
            std::uint16_t bits)
{
    const std::uint32_t frames = rate / 100;
    const auto blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * blockAlign);
    std::mt19937 random(3);
    if (encoding == SampleEncoding::Float32) {
        std::uniform_real_distribution<float> level(-1.0f, 1.0f);
        auto* samples = reinterpret_cast<float*>(bytes.data());
        for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
            samples[i] = level(random);
        }
    } else {
        for (auto& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
    }
    const PacketFormat format{encoding, channels, rate, blockAlign, bits};
    AudioPacket packet;
    packet.data = bytes.data();
    packet.byteCount = bytes.size();
    packet.frames = frames;

    AudioStreamConverter converter(format);
    AudioChunkQueue queue;
    std::int64_t checksum = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Rounds; ++i) {
        packet.position = 10'000'000 + 100'000 * static_cast<std::uint64_t>(i);
        converter.convert(packet, 0, 0, queue);
        const AudioChunk& chunk = queue.back();
        checksum += chunk.samples[static_cast<std::size_t>(i) % chunk.samples.size()];
        queue.pop_front();
    }
    const auto end = std::chrono::steady_clock::now();
    const double micros = std::chrono::duration<double, std::micro>(end - start).count() / Rounds;
    std::printf("%-30s %5u frames  %7.2f us per packet  (checksum %lld)\n", name, frames, micros,
                static_cast<long long>(checksum));
}

} // namespace

int main()
{
    report("float stereo 48 kHz", SampleEncoding::Float32, 2, 48000, 32);
    report("float 5.1 48 kHz", SampleEncoding::Float32, 6, 48000, 32);
    report("float 7.1 192 kHz", SampleEncoding::Float32, 8, 192000, 32);
    report("PCM 16 stereo 44.1 kHz", SampleEncoding::Pcm16, 2, 44100, 16);
    report("PCM 24 stereo 96 kHz", SampleEncoding::Pcm24, 2, 96000, 24);
    return 0;
}
