// Packet conversion (the device clock followed, the resampler steered) and track writing over
// arbitrary mix formats, flags, frame counts, positions and bytes. The packet goes through the
// converter in several parts whose positions continue each other, give or take a jitter and a
// jump taken from the input, so the filter's state, the clock's estimate and the steering are
// carried across seams, a jump is held and judged, and the stream is ended after it.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target audio_packet_fuzz
//   mkdir -p build/fuzz/corpus && build/fuzz/bin/audio_packet_fuzz build/fuzz/corpus
//   -max_total_time=240
//
// The packet bytes are exactly what follows the header in the input, so any read beyond what the
// packet claims to hold lands outside the input and is caught by AddressSanitizer.
#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_resampler.h"
#include "recording/sound/audio_track_writer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

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

// The rates devices use. Their filter tables are designed once and kept for the whole run, as a
// recording keeps its own; any other rate is fuzzed too, at the cost of a table of its own.
constexpr std::array<std::uint32_t, 12> CommonRates = {8000,  11025, 16000, 22050, 24000,  32000,
                                                       44100, 48000, 88200, 96000, 176400, 192000};
const auto KeptTables = [] {
    std::array<std::shared_ptr<const ResamplerFilter>, CommonRates.size()> tables;
    for (std::size_t i = 0; i < CommonRates.size(); ++i) {
        tables[i] = ResamplerFilter::forRate(CommonRates[i]);
    }
    return tables;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ByteReader reader(data, size);
    MixFormat mix;
    mix.formatTag = reader.take<std::uint16_t>();
    mix.extensibleSubFormat = static_cast<SampleKind>(reader.take<std::uint8_t>() % 3);
    mix.channels = reader.take<std::uint16_t>();
    const auto rateChoice = reader.take<std::uint8_t>();
    const auto anyRate = reader.take<std::uint32_t>();
    // One input in 256 designs a table for a rate of its own, which costs as much as hundreds of
    // inputs.
    mix.samplesPerSec = rateChoice < 255 ? CommonRates[rateChoice % CommonRates.size()] : anyRate;
    mix.blockAlign = reader.take<std::uint16_t>();
    mix.bitsPerSample = reader.take<std::uint16_t>();

    AudioPacket packet;
    packet.frames = reader.take<std::uint32_t>();
    packet.flags = reader.take<std::uint32_t>();
    packet.position = reader.take<std::uint64_t>();
    packet.readTime = reader.take<std::int64_t>();
    const auto startTime = reader.take<std::int64_t>();
    const auto pausedTotal = reader.take<std::int64_t>();
    const std::uint32_t parts = 1 + reader.take<std::uint8_t>() % 8;
    const auto jitter = static_cast<std::int64_t>(reader.take<std::int16_t>()); // 100-ns units
    const std::uint32_t jumpingPart = reader.take<std::uint8_t>() % 16; // beyond parts: none
    const auto jump = static_cast<std::int64_t>(reader.take<std::int32_t>());
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
    // The engine hands out one period at a time (10 ms); a tenth of a second in parts covers
    // every seam, larger packets would only slow the search down. Rates far beyond any device's
    // would only test the filter's design.
    if (packet.frames > format->samplesPerSec / 10 + 1 || spanned(packet.frames) > 4801 ||
        format->samplesPerSec > 384'000) {
        return 0;
    }

    AudioStreamConverter converter(*format);
    AudioChunkQueue queue;
    std::uint32_t done = 0;
    std::size_t consumed = 0;
    for (std::uint32_t p = 0; p < parts; ++p) {
        AudioPacket part = packet;
        part.frames = (packet.frames - done) / (parts - p);
        part.data = packet.data + consumed;
        part.byteCount = std::min<std::size_t>(packet.byteCount - consumed,
                                               std::size_t{part.frames} * format->blockAlign);
        part.position = packet.position + std::uint64_t{done} * 10'000'000 / format->samplesPerSec +
                        static_cast<std::uint64_t>(p % 2 == 0 ? jitter : -jitter) +
                        static_cast<std::uint64_t>(p >= jumpingPart ? jump : 0);
        converter.convert(part, startTime, pausedTotal, queue);
        done += part.frames;
        consumed += part.byteCount;
    }
    converter.endStream(queue);
    // The chunks hold every output frame the packet spans, once, give or take a frame at each
    // seam where the stream broke or the step was steered.
    std::uint64_t converted = 0;
    for (const AudioChunk& chunk : queue) {
        if (chunk.samples.size() % 2 != 0) {
            std::abort();
        }
        converted += chunk.samples.size() / 2;
    }
    const std::uint64_t expected = spanned(packet.frames);
    const std::uint64_t slack = 2 * parts + 1;
    if (converted + slack < expected || converted > expected + slack) {
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
