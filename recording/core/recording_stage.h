#pragma once
// The steps of a recording that can fail, by value. Code decides on the enumerator; the Polish
// text the user reads comes from one table (stageText), and a Failure carries that table's own
// pointer, so stageOf gives the enumerator back without comparing texts.
#include "common/failure.h"

#include <cstdint>
#include <optional>

enum class RecordingStage : std::uint8_t {
    Com,
    MediaFoundation,
    AudioDevices,
    NoAudioOutput,
    SystemSound,
    SystemSoundFormat,
    UnsupportedAudioFormat,
    SystemSoundCapture,
    SystemSoundBuffer,
    SystemSoundStart,
    AudioRead,
    AudioPacketRead,
    AudioPacketRelease,
    NextAudioPacket,
    DesktopCapture,
    DesktopImageRead,
    Mp4Settings,
    Mp4Create,
    VideoFormat,
    H264Encoder,
    Nv12VideoInput,
    AudioFormat,
    AacEncoder,
    PcmAudioInput,
    Mp4WriteStart,
    RecordingBuffer,
    BufferLock,
    RecordingSample,
    Mp4SampleWrite,
    Mp4Finalize,
    AreaSize,
    LowDiskSpace,
};

inline constexpr std::size_t RecordingStageCount =
    static_cast<std::size_t>(RecordingStage::LowDiskSpace) + 1;

// The stage's text, a literal with static storage duration.
const wchar_t* stageText(RecordingStage stage) noexcept;

// The stage a Failure was thrown for; empty when its text is not one of stageText's.
std::optional<RecordingStage> stageOf(const Failure& failure) noexcept;

inline Failure stageFailure(std::int32_t hr, RecordingStage stage) noexcept
{
    return Failure{hr, stageText(stage)};
}

// A stage's platform call: a failure code (negative) ends the stage.
inline void throwIfFailed(std::int32_t hr, RecordingStage stage)
{
    if (hr < 0) {
        throw stageFailure(hr, stage);
    }
}
