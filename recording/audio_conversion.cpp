#include "recording/audio_conversion.h"

#include "recording/audio_track_writer.h"

#include <cstring>

namespace {

constexpr std::int64_t UnitsPerSecond = 10'000'000;

float decodeSample(SampleEncoding encoding, const std::uint8_t* at) noexcept
{
    switch (encoding) {
    case SampleEncoding::Float32: {
        std::uint32_t bits = 0;
        std::memcpy(&bits, at, sizeof bits);
        if ((bits & 0x7F80'0000u) == 0x7F80'0000u) {
            return 0.0f; // infinity or NaN
        }
        float value = 0.0f;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    case SampleEncoding::Pcm16: {
        const auto value = static_cast<std::int16_t>(at[0] | (at[1] << 8));
        return static_cast<float>(value) * (1.0f / 32768.0f);
    }
    case SampleEncoding::Pcm24: {
        const std::uint32_t bits = (std::uint32_t{at[0]} << 8) | (std::uint32_t{at[1]} << 16) |
                                   (std::uint32_t{at[2]} << 24);
        return static_cast<float>(static_cast<std::int32_t>(bits)) * (1.0f / 2147483648.0f);
    }
    case SampleEncoding::Pcm32: {
        const std::uint32_t bits = std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) |
                                   (std::uint32_t{at[2]} << 16) | (std::uint32_t{at[3]} << 24);
        return static_cast<float>(static_cast<std::int32_t>(bits)) * (1.0f / 2147483648.0f);
    }
    }
    return 0.0f;
}

std::int16_t toPcm16(float value) noexcept
{
    if (value > 1.0f) {
        value = 1.0f;
    } else if (value < -1.0f) {
        value = -1.0f;
    }
    return static_cast<std::int16_t>(value * 32767.0f);
}

// The packet's place on the recording timeline in 48 kHz frames. Positions come from the audio
// engine; wrapping arithmetic keeps a nonsensical one from being undefined behaviour.
std::int64_t startFrameOf(const PacketFormat& format, const AudioPacket& packet,
                          std::int64_t startTime, std::int64_t pausedTotal) noexcept
{
    std::uint64_t packetTime = packet.position;
    if ((packet.flags & AudioPacketTimestampError) != 0) {
        const std::uint64_t duration =
            std::uint64_t{packet.frames} * UnitsPerSecond / format.samplesPerSec;
        packetTime = static_cast<std::uint64_t>(packet.readTime) - duration;
    }
    const auto offset =
        static_cast<std::int64_t>(packetTime - static_cast<std::uint64_t>(startTime) -
                                  static_cast<std::uint64_t>(pausedTotal));
    return scaleTruncated(offset, OutputSampleRate, UnitsPerSecond);
}

} // namespace

SampleKind sampleKindOf(const MixFormat& format) noexcept
{
    if (format.formatTag == WaveFormatExtensibleTag) {
        return format.extensibleSubFormat;
    }
    if (format.formatTag == WaveFormatIeeeFloatTag) {
        return SampleKind::IeeeFloat;
    }
    return SampleKind::Pcm;
}

std::optional<PacketFormat> acceptMixFormat(const MixFormat& format) noexcept
{
    SampleEncoding encoding = SampleEncoding::Float32;
    switch (sampleKindOf(format)) {
    case SampleKind::IeeeFloat:
        if (format.bitsPerSample != 32) {
            return std::nullopt;
        }
        encoding = SampleEncoding::Float32;
        break;
    case SampleKind::Pcm:
        if (format.bitsPerSample == 16) {
            encoding = SampleEncoding::Pcm16;
        } else if (format.bitsPerSample == 24) {
            encoding = SampleEncoding::Pcm24;
        } else if (format.bitsPerSample == 32) {
            encoding = SampleEncoding::Pcm32;
        } else {
            return std::nullopt;
        }
        break;
    case SampleKind::Other:
        return std::nullopt;
    }
    // The decoder reads each channel at its fixed place inside the frame's block: a block too
    // small for every channel would make it read into the next frame or past the packet.
    const std::uint32_t frameBytes = std::uint32_t{format.channels} * format.bitsPerSample / 8;
    if (format.channels == 0 || format.samplesPerSec == 0 || format.blockAlign < frameBytes) {
        return std::nullopt;
    }
    return PacketFormat{encoding, format.channels, format.samplesPerSec, format.blockAlign,
                        format.bitsPerSample};
}

AudioChunk convertAudioPacket(const PacketFormat& format, const AudioPacket& packet,
                              std::int64_t startTime, std::int64_t pausedTotal)
{
    AudioChunk chunk;
    chunk.startFrame = startFrameOf(format, packet, startTime, pausedTotal);
    const std::uint64_t outFrames =
        std::uint64_t{packet.frames} * OutputSampleRate / format.samplesPerSec;
    chunk.samples.assign(static_cast<std::size_t>(outFrames * 2), 0);
    if ((packet.flags & AudioPacketSilent) != 0 || packet.data == nullptr || outFrames == 0) {
        return chunk;
    }

    // Only whole frames inside the readable bytes are decoded; the rest of the packet stays
    // silent but keeps its length, so the timeline after it is unchanged.
    const std::uint64_t readableFrames = packet.byteCount / format.blockAlign;
    const std::uint32_t channels = format.channels;
    const std::uint32_t bytesPerSample = format.bitsPerSample / 8u;
    const float divisor = 1.0f + 0.5f * static_cast<float>(channels > 2 ? channels - 2 : 0);
    for (std::uint64_t i = 0; i < outFrames; ++i) {
        std::uint64_t source = i * format.samplesPerSec / OutputSampleRate;
        if (source > packet.frames - 1u) {
            source = packet.frames - 1u;
        }
        if (source >= readableFrames) {
            break; // every later output frame maps to the same or a later source frame
        }
        const std::uint8_t* frame = packet.data + source * format.blockAlign;
        for (std::uint32_t c = 0; c < 2; ++c) {
            const std::uint32_t channel = c < channels - 1 ? c : channels - 1;
            float value = decodeSample(format.encoding, frame + channel * bytesPerSample);
            if (channels > 2) {
                for (std::uint32_t k = 2; k < channels; ++k) {
                    value += 0.5f * decodeSample(format.encoding, frame + k * bytesPerSample);
                }
                value /= divisor;
            }
            chunk.samples[static_cast<std::size_t>(2 * i + c)] = toPcm16(value);
        }
    }
    return chunk;
}
