#pragma once
// Writes the audio stream as contiguous blocks of at most 0.1 s from time 0, taking the queued
// chunks where they exist and silence everywhere else.
#include "recording/core/audio_chunk.h"
#include "recording/core/media_clock.h"
#include "recording/core/recording_ports.h"

#include <cstdint>

inline constexpr std::int64_t MaxAudioBlockFrames = 4800;

class AudioTrackWriter {
public:
    AudioTrackWriter(AudioChunkQueue& chunks, SampleSink& audioSink,
                     std::uint32_t audioStream) noexcept
        : queue(chunks), sink(audioSink), stream(audioStream)
    {}

    // Writes until framesWritten reaches `time` (100-ns units) in 48 kHz frames. Where chunks
    // overlap the later one in the queue wins; chunks that can no longer contribute are removed.
    // Throws what the sink throws.
    void writeUpTo(std::int64_t time);

    std::int64_t framesWritten() const noexcept { return written; }

private:
    AudioChunkQueue& queue;
    SampleSink& sink;
    std::uint32_t stream;
    std::int64_t written = 0;
};
