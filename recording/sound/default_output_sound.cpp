#include "recording/sound/default_output_sound.h"

#include "common/failure.h"

#include <utility>

DefaultOutputSound::DefaultOutputSound(RecordingPlatform& recordingPlatform,
                                       std::unique_ptr<SoundSource> first) noexcept
    : platform(recordingPlatform), source(std::move(first))
{}

void DefaultOutputSound::drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
                               std::int64_t pausedTotal, std::int64_t now)
{
    if (source) {
        try {
            source->drain(queue, discard, startTime, pausedTotal);
        } catch (const Failure& failure) {
            if (failure.hr != DeviceInvalidatedResult) {
                throw;
            }
            reopen(now);
            return;
        }
    }
    if (now < nextCheck) {
        return;
    }
    if (!source || source->defaultOutputMoved()) {
        reopen(now);
    } else {
        nextCheck = now + SoundDeviceCheckPeriod;
    }
}

void DefaultOutputSound::reopen(std::int64_t now)
{
    nextCheck = now + SoundDeviceCheckPeriod;
    // The old stream stops before the new one starts; what it still held is lost either way.
    source.reset();
    source = tryStartSound();
}

std::unique_ptr<SoundSource> DefaultOutputSound::tryStartSound()
{
    try {
        return platform.startSound();
    } catch (const Failure&) {
        // No output device at this moment, or one whose format cannot be read: silence until
        // the next try.
        return nullptr;
    }
}
