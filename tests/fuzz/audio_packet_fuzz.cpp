// Packet conversion (with the resampler at every rate but 48 kHz) and track writing over arbitrary
// mix formats, flags, frame counts and bytes. The packet goes through the converter in two parts
// that continue each other, so the filter's state is carried across a seam, and the stream is
// ended after it.
//
//   cmake --preset fuzz && cmake --build build/fuzz -j2
//   mkdir -p build/fuzz/corpus && build/fuzz/bin/audio_packet_fuzz build/fuzz/corpus
//   -max_total_time=240
//
// The packet bytes are exactly what follows the header in the input, so any read beyond what the
// packet claims to hold lands outside the input and is caught by AddressSanitizer.
#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_track_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : at(data), left(size) {}

    template <typename T>
    T take()
    {
        T value{};
        const std::size_t n = std::min(sizeof(T), left);
        std::memcpy(&value, at, n);
        at += n;
        left -= n;
        return value;
    }

    const std::uint8_t* rest() const { return at; }
    std::size_t restSize() const { return left; }

private:
    const std::uint8_t* at;
    std::size_t left;
};

class CheckingSink final : public SampleSink {
public:
    void writeSample(std::uint32_t, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override
    {
        if (length == 0 || length > MaxAudioBlockFrames * 4 || time != expectedTime ||
            duration <= 0) {
            std::abort();
        }
        volatile std::uint8_t sink = 0;
        for (std::uint32_t i = 0; i < length; ++i) {
            sink = static_cast<std::uint8_t>(sink ^ bytes[i]);
        }
        expectedTime = time + duration;
    }

private:
    std::int64_t expectedTime = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteReader reader(data, size);
    MixFormat mix;
    mix.formatTag = reader.take<std::uint16_t>();
    mix.extensibleSubFormat = static_cast<SampleKind>(reader.take<std::uint8_t>() % 3);
    mix.channels = reader.take<std::uint16_t>();
    mix.samplesPerSec = reader.take<std::uint32_t>();
    mix.blockAlign = reader.take<std::uint16_t>();
    mix.bitsPerSample = reader.take<std::uint16_t>();

    AudioPacket packet;
    packet.frames = reader.take<std::uint32_t>();
    packet.flags = reader.take<std::uint32_t>();
    packet.position = reader.take<std::uint64_t>();
    packet.readTime = reader.take<std::int64_t>();
    const auto startTime = reader.take<std::int64_t>();
    const auto pausedTotal = reader.take<std::int64_t>();
    packet.data = reader.rest();
    packet.byteCount = reader.restSize();

    const std::optional<PacketFormat> format = acceptMixFormat(mix);
    if (!format) {
        return 0;
    }
    // The output frames whose time lies within `frames` input frames from a stream's start.
    const auto spanned = [&](std::uint64_t frames) {
        return (frames * OutputSampleRate + format->samplesPerSec - 1) / format->samplesPerSec;
    };
    // The engine's buffer holds one second; larger packets cannot come, and would only test
    // the allocator.
    if (packet.frames > format->samplesPerSec || packet.frames > (1u << 20) ||
        spanned(packet.frames) > (1u << 20)) {
        return 0;
    }

    AudioStreamConverter converter(*format);
    AudioChunkQueue queue;
    AudioPacket first = packet;
    first.frames = packet.frames / 2;
    first.byteCount =
        std::min<std::size_t>(packet.byteCount, std::size_t{first.frames} * format->blockAlign);
    AudioPacket second = packet;
    second.frames = packet.frames - first.frames;
    second.data = packet.data + first.byteCount;
    second.byteCount = packet.byteCount - first.byteCount;
    second.position =
        packet.position + std::uint64_t{first.frames} * 10'000'000 / format->samplesPerSec;
    converter.convert(first, startTime, pausedTotal, queue);
    const PacketPlacement placed = converter.convert(second, startTime, pausedTotal, queue);
    converter.endStream(queue);
    // The chunks hold every output frame the packet spans, once: as one stream when the second
    // part continues the first, as two otherwise.
    const std::uint64_t outFrames = placed.placement == SeamPlacement::ByPosition
                                        ? spanned(first.frames) + spanned(second.frames)
                                        : spanned(packet.frames);
    std::uint64_t converted = 0;
    for (const AudioChunk& chunk : queue) {
        if (chunk.samples.size() % 2 != 0) {
            std::abort();
        }
        converted += chunk.samples.size() / 2;
    }
    if (converted != outFrames) {
        std::abort();
    }

    // Write the track up to the end of the chunks when that is near the start of the timeline.
    std::int64_t end = 0;
    for (const AudioChunk& chunk : queue) {
        end = std::max(end, std::clamp<std::int64_t>(chunk.endFrame(), 0, 96'000));
    }
    CheckingSink sink;
    AudioTrackWriter writer(queue, sink, 1);
    writer.writeUpTo(end * 10'000'000 / 48'000 + 1);
    if (writer.framesWritten() < end) {
        std::abort();
    }
    return 0;
}
