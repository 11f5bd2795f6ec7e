#pragma once
#include "recording/core/media_clock.h"

#include <cstdint>
#include <deque>
#include <vector>

// One captured packet converted to 48 kHz stereo 16-bit PCM and placed on the recording timeline.
struct AudioChunk {
    std::int64_t startFrame = 0;       // 48 kHz frames from the recording start; may be negative
    std::vector<std::int16_t> samples; // interleaved left, right

    std::int64_t endFrame() const noexcept
    {
        return startFrame + static_cast<std::int64_t>(samples.size() / 2);
    }
};

using AudioChunkQueue = std::deque<AudioChunk>;
