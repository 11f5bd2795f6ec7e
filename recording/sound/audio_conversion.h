#pragma once
// Turns what the audio engine delivers, in its own mix format, into 48 kHz stereo 16-bit chunks
// on the recording timeline. The Windows capture copies the mix format and each packet's
// GetBuffer results into the plain structures below and hands them to an AudioStreamConverter.
#include "recording/core/audio_chunk.h"
#include "recording/sound/audio_resampler.h"
#include "recording/sound/audio_seam_placement.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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

// How a packet was placed: by the seam rule, and how far from where its position put it.
struct PacketPlacement {
    SeamPlacement placement = SeamPlacement::ByPosition;
    std::int64_t offset = 0; // 48 kHz frames, placed start minus the position's start
};

// Converts one capture's packets, in the order the engine hands them out, into chunks on the
// recording timeline. A packet's place is its time minus startTime and pausedTotal (with a
// timestamp error: the read time minus the packet's duration), joined to the sound before it by
// the seam rule (AudioSeamPlacer).
//
// A 48 kHz mix is converted frame by frame. Every other rate goes through the band-limited
// resampler, whose filter state runs on while the packets continue one another (the seam rule
// joins them, or corrects drift in sound that its positions show to be continuous) and starts
// afresh after a real gap. The resampler holds back the last few output frames of every packet
// until the next one arrives; the chunk of a packet therefore begins with the frames held back
// from the one before and is placed that much earlier, so every output frame sits exactly at the
// time of the input it stands for: the filter adds no delay against the picture.
class AudioStreamConverter {
public:
    explicit AudioStreamConverter(const PacketFormat& format);

    // Appends the packet's chunk to `queue`, also when it is silent or holds no frame; before it,
    // after a real gap, the frames still held back from the sound before the gap. Source frames
    // beyond the packet's readable bytes count as silence.
    PacketPlacement convert(const AudioPacket& packet, std::int64_t startTime,
                            std::int64_t pausedTotal, AudioChunkQueue& queue);

    // The sound stops being continuous here (a pause, a capture that is closed or reopened, the
    // end of the recording): appends the frames still held back as a chunk where they belong,
    // and the next packet starts a fresh filter. The seam rule still joins that packet to the
    // end of this sound when its position lands within the tolerance, as after a pause.
    void endStream(AudioChunkQueue& queue);

private:
    PacketFormat format;
    AudioSeamPlacer seams;
    std::optional<AudioResampler> resampler; // absent at 48 kHz
    std::int64_t origin = 0; // timeline frame of the resampled stream's first output frame
    std::vector<float> decoded;
    std::vector<float> resampled;
};
