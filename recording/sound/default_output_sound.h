#pragma once
// The system sound of whichever device is the default output. When the user switches outputs (a
// headset, a dock) or the captured device goes away, the loopback capture is opened anew on the
// current default, so the rest of the recording is not silently mute.
#include "recording/core/audio_chunk.h"
#include "recording/core/recording_ports.h"
#include "recording/core/media_clock.h"

#include <cstdint>
#include <memory>

// AUDCLNT_E_DEVICE_INVALIDATED, spelled out because this file stays free of platform headers:
// what any capture call answers once its device was removed or disabled. Like every other failure
// of a drain, it has the capture opened anew.
inline constexpr std::int32_t DeviceInvalidatedResult = static_cast<std::int32_t>(0x88890004u);

// About once a second, in 100-ns units: how often the default output is compared with the
// captured device, and how often a missing source is tried again. The system reports a switch of
// outputs at once; this check is the safety net for a report that never came, and costs a few
// calls into the device enumerator.
inline constexpr std::int64_t SoundDeviceCheckPeriod = UnitsPerSecond;

class DefaultOutputSound {
public:
    // `first` is the source the start opened: only the start requires an output device.
    DefaultOutputSound(RecordingPlatform& platform, std::unique_ptr<SoundSource> first) noexcept;

    // Drains the current source as SoundSource::drain does; `now` is the recording clock. A source
    // whose drain fails in any way (its device invalidated, the audio service restarted) is
    // opened anew at once; a change of the default output that the system reports is followed on
    // the same pass, and about once a second the default output is checked anyway. Where there
    // is no source (no output device, or a mix format that is refused) nothing is queued, so the
    // track is silent there, and opening one is tried again about once a second. A source that is
    // closed first hands over what its conversion still held; a new one starts its own stream.
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal, std::int64_t now);

    // The end of the recording: queues what the source's conversion still holds back.
    void finish(AudioChunkQueue& queue);

private:
    void reopen(AudioChunkQueue& queue, std::int64_t now);
    std::unique_ptr<SoundSource> tryStartSound();

    RecordingPlatform& platform;
    std::unique_ptr<SoundSource> source;
    std::int64_t nextCheck = 0; // the first drain checks at once
};
