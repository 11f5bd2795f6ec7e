#include "recording/sound/audio_conversion.h"

#include "recording/core/media_clock.h"

#include <algorithm>
#include <cmath>
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

// The packet's time on the recording timeline in 100-ns units. Positions come from the audio
// engine; wrapping arithmetic keeps a nonsensical one from being undefined behaviour.
std::int64_t packetTimeOf(const PacketFormat& format, const AudioPacket& packet,
                          std::int64_t startTime, std::int64_t pausedTotal) noexcept
{
    std::uint64_t packetTime = packet.position;
    if ((packet.flags & AudioPacketTimestampError) != 0) {
        const std::uint64_t duration =
            std::uint64_t{packet.frames} * UnitsPerSecond / format.samplesPerSec;
        packetTime = static_cast<std::uint64_t>(packet.readTime) - duration;
    }
    return static_cast<std::int64_t>(packetTime - static_cast<std::uint64_t>(startTime) -
                                     static_cast<std::uint64_t>(pausedTotal));
}

} // namespace

// Rounded, not truncated: truncation would put a dead zone round zero and distort quiet sound.
std::int16_t toPcm16(float value) noexcept
{
    if (value > 1.0f) {
        value = 1.0f;
    } else if (value < -1.0f) {
        value = -1.0f;
    }
    const float scaled = value * 32767.0f;
    return static_cast<std::int16_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

void decodePacket(const PacketFormat& format, const AudioPacket& packet, std::vector<float>& stereo)
{
    const bool silent = (packet.flags & AudioPacketSilent) != 0 || packet.data == nullptr;
    // Only whole frames inside the readable bytes are decoded; the rest of the packet stays
    // silent but keeps its length, so the timeline after it is unchanged.
    const std::uint64_t readable =
        silent ? 0 : std::min<std::uint64_t>(packet.frames, packet.byteCount / format.blockAlign);
    stereo.assign(std::size_t{packet.frames} * 2, 0.0f);
    for (std::uint64_t i = 0; i < readable; ++i) {
        float left = 0.0f;
        float right = 0.0f;
        decodeFrame(format, packet.data + i * format.blockAlign, left, right);
        stereo[static_cast<std::size_t>(2 * i)] = limited(left);
        stereo[static_cast<std::size_t>(2 * i + 1)] = limited(right);
    }
}

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

AudioStreamConverter::AudioStreamConverter(const PacketFormat& packetFormat)
    : format(packetFormat), resampler(packetFormat.samplesPerSec), clock(packetFormat.samplesPerSec)
{}

PacketPlacement AudioStreamConverter::convert(const AudioPacket& packet, std::int64_t startTime,
                                              std::int64_t pausedTotal, AudioChunkQueue& queue)
{
    const std::int64_t time = packetTimeOf(format, packet, startTime, pausedTotal);
    current.stampFrame = outputFramesIn(time);
    current.stamp =
        static_cast<double>(time) * (OutputSampleRate / static_cast<double>(UnitsPerSecond));

    decodePacket(format, packet, current.samples);

    const auto departs = [this](double stamp, std::uint64_t inputFrame) {
        const double expected =
            static_cast<double>(origin) + clock.timelineFrameOf(static_cast<double>(inputFrame));
        return !(std::abs(stamp - expected) <= static_cast<double>(SeamToleranceFrames));
    };
    if (holding) {
        holding = false;
        const auto heldFrames = static_cast<std::uint64_t>(held.samples.size() / 2);
        const double heldEnd = held.stamp + static_cast<double>(heldFrames) * clock.nominalSlope();
        const bool confirmed = departs(current.stamp, resampler.inputFrames() + heldFrames) &&
                               std::abs(current.stamp - heldEnd) <= SeamToleranceFrames;
        if (!confirmed) {
            // The held stamp was a lone outlier: its sound continues the stream, unstamped, and
            // this packet is judged on its own (under Wine the next one can be off the other way).
            continueStream(held.samples, nullptr, queue);
        } else {
            // The stream broke off before the held packet, which starts the next one.
            flushFilter(queue);
            startStream(held, queue);
        }
    }
    if (!streaming) {
        return startStream(current, queue);
    }
    if (departs(current.stamp, resampler.inputFrames())) {
        std::swap(held, current);
        holding = true;
        return PacketPlacement{SeamPlacement::Held, 0.0, 0.0};
    }
    return continueStream(current.samples, &current.stamp, queue);
}

PacketPlacement AudioStreamConverter::startStream(const StampedSound& sound, AudioChunkQueue& queue)
{
    ++streams;
    streaming = true;
    origin = sound.stampFrame;
    clock.restart();
    clock.add(0, sound.stamp - static_cast<double>(origin));
    const std::int64_t chunkStart = origin + static_cast<std::int64_t>(resampler.outputFrames());
    resampled.clear();
    resampler.push(sound.samples.data(), sound.samples.size() / 2, resampled);
    appendChunk(chunkStart, queue);
    const auto placed = static_cast<double>(origin);
    return PacketPlacement{SeamPlacement::ByPosition, placed, placed - sound.stamp};
}

PacketPlacement AudioStreamConverter::continueStream(const std::vector<float>& samples,
                                                     const double* stamp, AudioChunkQueue& queue)
{
    const auto first = static_cast<double>(resampler.inputFrames());
    if (stamp != nullptr) {
        clock.add(static_cast<std::int64_t>(resampler.inputFrames()),
                  *stamp - static_cast<double>(origin));
    }
    // Where the output puts this packet's first frame at the step in force, against where the
    // clock puts it; the step is then steered towards the clock.
    const auto placedAt = [this, first] {
        return static_cast<double>(resampler.outputFrames()) +
               (first - resampler.nextOutputTime()) / resampler.step();
    };
    const double error = placedAt() - clock.timelineFrameOf(first);
    const double rate = format.samplesPerSec;
    const std::size_t frames = samples.size() / 2; // interleaved stereo
    resampler.setStep(steeredStep(resampler.step(), clock.slope(), error, first / rate,
                                  static_cast<double>(frames) / rate));
    const double placed = static_cast<double>(origin) + placedAt();

    const std::int64_t chunkStart = origin + static_cast<std::int64_t>(resampler.outputFrames());
    resampled.clear();
    resampler.push(samples.data(), samples.size() / 2, resampled);
    appendChunk(chunkStart, queue);
    return PacketPlacement{SeamPlacement::Joined, placed, stamp != nullptr ? placed - *stamp : 0.0};
}

void AudioStreamConverter::appendChunk(std::int64_t startFrame, AudioChunkQueue& queue)
{
    AudioChunk chunk;
    chunk.startFrame = startFrame;
    chunk.samples.resize(resampled.size());
    std::transform(resampled.begin(), resampled.end(), chunk.samples.begin(), toPcm16);
    queue.push_back(std::move(chunk));
}

void AudioStreamConverter::flushFilter(AudioChunkQueue& queue)
{
    streaming = false;
    const std::int64_t chunkStart = origin + static_cast<std::int64_t>(resampler.outputFrames());
    resampled.clear();
    resampler.finish(resampled);
    if (!resampled.empty()) {
        appendChunk(chunkStart, queue);
    }
}

void AudioStreamConverter::endStream(AudioChunkQueue& queue)
{
    if (holding) {
        // Nothing came to confirm its jump.
        holding = false;
        continueStream(held.samples, nullptr, queue);
    }
    flushFilter(queue);
}
