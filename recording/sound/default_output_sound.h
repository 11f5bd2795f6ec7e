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
// what any capture call answers once its device was removed or disabled.
inline constexpr std::int32_t DeviceInvalidatedResult = static_cast<std::int32_t>(0x88890004u);

// About once a second, in 100-ns units: how often the default output is compared with the
// captured device, and how often a missing source is tried again. A switch of outputs costs at
// most that much sound; the check itself is a few calls into the device enumerator.
inline constexpr std::int64_t SoundDeviceCheckPeriod = UnitsPerSecond;

class DefaultOutputSound {
public:
    // `first` is the source the start opened: only the start requires an output device.
    DefaultOutputSound(RecordingPlatform& platform, std::unique_ptr<SoundSource> first) noexcept;

    // Drains the current source as SoundSource::drain does; `now` is the recording clock. An
    // invalidated device is reopened at once; about once a second the default output is checked,
    // and a source that no longer captures it is replaced. Where there is no source (no output
    // device, or a mix format that is refused) nothing is queued, so the track is silent there,
    // and opening one is tried again about once a second. A new source starts with its own
    // packet and seam state. Other failures of the source end the recording as before.
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal, std::int64_t now);

private:
    void reopen(std::int64_t now);
    std::unique_ptr<SoundSource> tryStartSound();

    RecordingPlatform& platform;
    std::unique_ptr<SoundSource> source;
    std::int64_t nextCheck = 0; // the first drain checks at once
};
