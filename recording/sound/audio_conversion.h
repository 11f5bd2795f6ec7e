#pragma once
// Turns what the audio engine delivers, in its own mix format, into 48 kHz stereo 16-bit chunks
// on the recording timeline. The Windows capture copies the mix format and each packet's
// GetBuffer results into the plain structures below and hands them to an AudioStreamConverter.
#include "recording/core/audio_chunk.h"
#include "recording/sound/audio_resampler.h"
#include "recording/sound/device_clock_estimator.h"

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

// A sample in -1 to 1 as 16 bits: limited to that range and rounded to the nearest step, half
// away from zero; 1 becomes 32767, -1 becomes -32767 and 0.5 becomes 16384.
std::int16_t toPcm16(float value) noexcept;

// The packet's frames as interleaved stereo floats, each limited to -1 to 1: channels 0 and 1 on
// their sides (a mono mix feeds both), every further channel at half weight on both. `stereo`
// gets frames x 2 values; frames beyond the readable bytes, and every frame of a silent packet,
// are zeros.
void decodePacket(const PacketFormat& format, const AudioPacket& packet,
                  std::vector<float>& stereo);

// 5 ms at 48 kHz: how far a packet's stamp may lie from where the estimated device clock puts
// the continuation of the sound before it before the packet counts as a break of the stream. Far
// above the jitter of the engine's stamps (tens of microseconds) and under half of the engine's
// 10 ms period, so a packet that went missing still leaves its gap.
inline constexpr std::int64_t SeamToleranceFrames = 240;

enum class SeamPlacement : std::uint8_t {
    ByPosition, // starts a stream: the first packet, or the first after a confirmed break
    Joined,     // continues the stream, on the estimated device clock
    Held,       // its stamp departs from the clock: decided when the next packet comes
};

// How a packet was placed; for a held packet, nothing yet.
struct PacketPlacement {
    SeamPlacement placement = SeamPlacement::ByPosition;
    double placedFrame = 0.0; // timeline frame (48 kHz, fractional) its first frame stands at
    double offset = 0.0;      // placedFrame minus where the packet's own stamp puts it
};

// Converts one capture's packets, in the order the engine hands them out, into chunks on the
// recording timeline. A packet's stamp is its time minus startTime and pausedTotal (with a
// timestamp error: the read time minus the packet's duration).
//
// Packets that continue one another form a stream. The stream's first packet is placed at its
// stamp; from then on the device's clock is estimated from the stamps (DeviceClockEstimator) and
// every packet's sound follows on from the one before through the band-limited resampler, whose
// ratio is steered, a few ppm at a time, so the placed sound keeps to the estimated clock. No
// packet of a stream is ever moved to its stamp, so drift opens no hole and skips no sound. The
// resampler holds back the last few output frames of every packet until the next one arrives;
// the chunk of a packet therefore begins with the frames held back from the one before, and
// every output frame sits at the time of the input it stands for: the filter adds no delay.
//
// A stamp more than SeamToleranceFrames away from the clock's continuation is a break only when
// the next packet confirms it: its stamp continues the held packet's and is off the clock too.
// The stream then ends and a new one starts at the held packet's stamp, so a missing packet or a
// discontinuity still leaves its silence. A lone stamp off by that much, followed by one that is
// back on the clock or off it some other way, was jitter: the held packet is joined as any other
// (under Wine, packets cut from one engine period share one stamp, and of two packets in a row
// one can be 5 ms late and the next 5 ms early).
class AudioStreamConverter {
public:
    explicit AudioStreamConverter(const PacketFormat& format);

    // Appends the packet's chunk to `queue`, also when it is silent or holds no frame, unless the
    // packet is held; before it, the chunk of a held packet now decided and, after a break, the
    // frames still held back from the sound before it. Source frames beyond the packet's
    // readable bytes count as silence.
    PacketPlacement convert(const AudioPacket& packet, std::int64_t startTime,
                            std::int64_t pausedTotal, AudioChunkQueue& queue);

    // The sound stops being continuous here (a pause, a capture that is closed or reopened, the
    // end of the recording): a held packet is joined (nothing came to confirm its jump), the
    // frames still held back by the filter are appended as a chunk where they belong, and the
    // next packet starts a new stream at its stamp.
    void endStream(AudioChunkQueue& queue);

    // Streams begun so far: 1 for sound that was continuous from the first packet on.
    std::uint64_t streamsStarted() const noexcept { return streams; }
    // Input frames per output frame now in force.
    double step() const noexcept { return resampler.step(); }

private:
    struct StampedSound {
        std::vector<float> samples;  // interleaved stereo
        double stamp = 0.0;          // timeline frame, fractional
        std::int64_t stampFrame = 0; // the same, truncated toward zero
    };
    PacketPlacement startStream(const StampedSound& sound, AudioChunkQueue& queue);
    PacketPlacement continueStream(const std::vector<float>& samples, const double* stamp,
                                   AudioChunkQueue& queue);
    void flushFilter(AudioChunkQueue& queue);
    void appendChunk(std::int64_t startFrame, AudioChunkQueue& queue);

    PacketFormat format;
    AudioResampler resampler;
    DeviceClockEstimator clock;
    bool streaming = false;
    std::uint64_t streams = 0;
    std::int64_t origin = 0; // timeline frame of the stream's first output frame
    bool holding = false;
    StampedSound held;
    StampedSound current;
    std::vector<float> resampled;
};
