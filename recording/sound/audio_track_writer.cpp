#include "recording/sound/audio_track_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

void AudioTrackWriter::writeUpTo(std::int64_t time)
{
    const std::int64_t target = outputFramesIn(time);
    std::vector<std::int16_t> block;
    while (written < target) {
        const std::int64_t n = std::min(target - written, MaxAudioBlockFrames);
        block.assign(static_cast<std::size_t>(n * 2), 0);
        for (const AudioChunk& chunk : queue) {
            const std::int64_t lo = std::max(written, chunk.startFrame);
            const std::int64_t hi = std::min(written + n, chunk.endFrame());
            if (hi > lo) {
                std::memcpy(block.data() + (lo - written) * 2,
                            chunk.samples.data() + (lo - chunk.startFrame) * 2,
                            static_cast<std::size_t>(hi - lo) * 2 * sizeof(std::int16_t));
            }
        }
        const std::int64_t t0 = timeOfOutputFrame(written);
        const std::int64_t t1 = timeOfOutputFrame(written + n);
        sink.writeSample(stream, reinterpret_cast<const std::uint8_t*>(block.data()),
                         static_cast<std::uint32_t>(n * 4), t0, t1 - t0);
        written += n;
        // A chunk that ends at or before what is written can no longer contribute, wherever it
        // stands: one placed far ahead must not pin everything queued behind it.
        std::erase_if(queue,
                      [this](const AudioChunk& chunk) { return chunk.endFrame() <= written; });
    }
}
