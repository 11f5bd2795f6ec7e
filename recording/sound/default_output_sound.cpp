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
        } catch (const Failure&) {
            // Whatever the reason (the device removed, the audio service restarted), the sound
            // goes on from a capture opened anew, with silence until one opens.
            reopen(queue, now);
            return;
        }
        if (source->defaultOutputChangeReported() && source->defaultOutputMoved()) {
            reopen(queue, now);
            return;
        }
    }
    if (now < nextCheck) {
        return;
    }
    if (!source || source->defaultOutputMoved()) {
        reopen(queue, now);
    } else {
        nextCheck = now + SoundDeviceCheckPeriod;
    }
}

void DefaultOutputSound::finish(AudioChunkQueue& queue)
{
    if (source) {
        source->endStream(queue);
    }
}

void DefaultOutputSound::reopen(AudioChunkQueue& queue, std::int64_t now)
{
    nextCheck = now + SoundDeviceCheckPeriod;
    // What the conversion held back of the sound read so far is the end of that sound; then the
    // old stream stops before the new one starts.
    if (source) {
        source->endStream(queue);
    }
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
