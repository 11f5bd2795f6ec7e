#pragma once
// Turns what the audio engine delivers, in its own mix format, into 48 kHz stereo 16-bit chunks
// on the recording timeline. The Windows capture copies the mix format and each packet's
// GetBuffer results into the plain structures below and calls these functions.
#include "recording/audio_chunk.h"

#include <cstddef>
#include <cstdint>
#include <optional>

inline constexpr std::uint32_t OutputSampleRate = 48000;

// The sample kind a format tag or an extensible format's SubFormat names.
enum class SampleKind : std::uint8_t {
    Pcm,       // KSDATAFORMAT_SUBTYPE_PCM
    IeeeFloat, // KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
    Other,     // any other SubFormat
};

inline constexpr std::uint16_t WaveFormatIeeeFloatTag = 0x0003;
inline constexpr std::uint16_t WaveFormatExtensibleTag = 0xFFFE;

// The fields of the engine's mix format (WAVEFORMATEX, possibly WAVEFORMATEXTENSIBLE).
struct MixFormat {
    std::uint16_t formatTag = 0;
    SampleKind extensibleSubFormat = SampleKind::Other; // read only when formatTag is extensible
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
};

enum class SampleEncoding : std::uint8_t {
    Float32,
    Pcm16,
    Pcm24,
    Pcm32,
};

// A mix format the conversion can read.
struct PacketFormat {
    SampleEncoding encoding = SampleEncoding::Float32;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    bool isFloat() const noexcept { return encoding == SampleEncoding::Float32; }
};

// Tag 0xFFFE gives the SubFormat, tag 3 gives float, any other tag counts as integer PCM.
SampleKind sampleKindOf(const MixFormat& format) noexcept;

// The accepted decoding, or nothing when the format must be refused (the capture then fails with
// AUDCLNT_E_UNSUPPORTED_FORMAT and "Nieobslugiwany format audio"). Accepted: float 32 and PCM
// 16, 24 or 32, any channel count from 1 and any sample rate from 1, with a block at least as
// large as one sample of every channel, so that decoding never reads past a frame.
std::optional<PacketFormat> acceptMixFormat(const MixFormat& format) noexcept;

// AUDCLNT_BUFFERFLAGS_SILENT and AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR.
inline constexpr std::uint32_t AudioPacketSilent = 0x2;
inline constexpr std::uint32_t AudioPacketTimestampError = 0x4;

// One packet as GetBuffer hands it out.
struct AudioPacket {
    const std::uint8_t* data = nullptr; // may be null when the packet is silent
    std::size_t byteCount = 0;          // bytes readable at data: frames x blockAlign normally
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    std::uint64_t position = 0; // performance-counter position, 100-ns units
    std::int64_t readTime = 0;  // nowIn100ns() when the packet was read
};

// Converts one packet into a chunk placed on the recording timeline: the packet's time minus
// startTime and pausedTotal, or, with a timestamp error, the read time minus the packet's
// duration. Source frames that lie beyond the packet's readable bytes stay silent.
AudioChunk convertAudioPacket(const PacketFormat& format, const AudioPacket& packet,
                              std::int64_t startTime, std::int64_t pausedTotal);
