#include "recording/sound/audio_conversion.h"

#include "recording/core/media_clock.h"

#include <algorithm>
#include <cstring>

namespace {

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

// One frame as left and right: channels 0 and 1 at full weight on their side (a mono mix feeds
// both), every further channel at half weight on both, each sum divided by the weights' total.
void decodeFrame(const PacketFormat& format, const std::uint8_t* frame, float& left,
                 float& right) noexcept
{
    const std::uint32_t channels = format.channels;
    const std::uint32_t bytesPerSample = format.bitsPerSample / 8u;
    const float divisor = 1.0f + 0.5f * static_cast<float>(channels > 2 ? channels - 2 : 0);
    float values[2] = {};
    for (std::uint32_t c = 0; c < 2; ++c) {
        const std::uint32_t channel = c < channels - 1 ? c : channels - 1;
        float value = decodeSample(format.encoding, frame + channel * bytesPerSample);
        if (channels > 2) {
            for (std::uint32_t k = 2; k < channels; ++k) {
                value += 0.5f * decodeSample(format.encoding, frame + k * bytesPerSample);
            }
            value /= divisor;
        }
        values[c] = value;
    }
    left = values[0];
    right = values[1];
}

float limited(float value) noexcept
{
    return std::clamp(value, -1.0f, 1.0f);
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
    return outputFramesIn(offset);
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

AudioStreamConverter::AudioStreamConverter(const PacketFormat& packetFormat) : format(packetFormat)
{
    if (format.samplesPerSec != OutputSampleRate) {
        resampler.emplace(format.samplesPerSec);
    }
}

PacketPlacement AudioStreamConverter::convert(const AudioPacket& packet, std::int64_t startTime,
                                              std::int64_t pausedTotal, AudioChunkQueue& queue)
{
    const std::int64_t position = startFrameOf(format, packet, startTime, pausedTotal);
    const SeamPlacement placement = seams.placementOf(position);
    if (placement == SeamPlacement::ByPosition) {
        endStream(queue); // the sound broke off: what follows has no past in the filter
    }
    // The packet spans the output frames whose time lies within it; counted from the stream's
    // start, so the spans of continuous packets add up without a frame lost or doubled.
    const std::uint64_t spanStart =
        resampler ? resampler->outputFramesSpanned(resampler->inputFrames()) : 0;
    const std::uint64_t spanEnd =
        resampler ? resampler->outputFramesSpanned(resampler->inputFrames() + packet.frames)
                  : packet.frames;
    const std::int64_t start =
        seams.place(position, static_cast<std::int64_t>(spanEnd - spanStart));

    const bool silent = (packet.flags & AudioPacketSilent) != 0 || packet.data == nullptr;
    // Only whole frames inside the readable bytes are decoded; the rest of the packet stays
    // silent but keeps its length, so the timeline after it is unchanged.
    const std::uint64_t readable =
        silent ? 0 : std::min<std::uint64_t>(packet.frames, packet.byteCount / format.blockAlign);

    AudioChunk chunk;
    if (!resampler) {
        chunk.startFrame = start;
        chunk.samples.assign(std::size_t{packet.frames} * 2, 0);
        for (std::uint64_t i = 0; i < readable; ++i) {
            float left = 0.0f;
            float right = 0.0f;
            decodeFrame(format, packet.data + i * format.blockAlign, left, right);
            chunk.samples[static_cast<std::size_t>(2 * i)] = toPcm16(left);
            chunk.samples[static_cast<std::size_t>(2 * i + 1)] = toPcm16(right);
        }
    } else {
        origin = start - static_cast<std::int64_t>(spanStart);
        chunk.startFrame = origin + static_cast<std::int64_t>(resampler->outputFrames());
        decoded.assign(std::size_t{packet.frames} * 2, 0.0f);
        for (std::uint64_t i = 0; i < readable; ++i) {
            float left = 0.0f;
            float right = 0.0f;
            decodeFrame(format, packet.data + i * format.blockAlign, left, right);
            decoded[static_cast<std::size_t>(2 * i)] = limited(left);
            decoded[static_cast<std::size_t>(2 * i + 1)] = limited(right);
        }
        resampled.clear();
        resampler->push(decoded.data(), packet.frames, resampled);
        chunk.samples.resize(resampled.size());
        std::transform(resampled.begin(), resampled.end(), chunk.samples.begin(), toPcm16);
    }
    queue.push_back(std::move(chunk));
    return PacketPlacement{placement, start - position};
}

void AudioStreamConverter::endStream(AudioChunkQueue& queue)
{
    if (!resampler || resampler->inputFrames() == 0) {
        return;
    }
    AudioChunk chunk;
    chunk.startFrame = origin + static_cast<std::int64_t>(resampler->outputFrames());
    resampled.clear();
    resampler->finish(resampled);
    chunk.samples.resize(resampled.size());
    std::transform(resampled.begin(), resampled.end(), chunk.samples.begin(), toPcm16);
    if (!chunk.samples.empty()) {
        queue.push_back(std::move(chunk));
    }
}
