#include "recording/audio_seam_placement.h"

namespace {

// Frame values come from scaled 64-bit times (at most about 2^55 in magnitude), so the
// difference cannot overflow.
bool withinTolerance(std::int64_t a, std::int64_t b) noexcept
{
    const std::int64_t difference = a - b;
    return difference >= -SeamToleranceFrames && difference <= SeamToleranceFrames;
}

} // namespace

SeamPlacement AudioSeamPlacer::place(AudioChunk& chunk) noexcept
{
    const std::int64_t position = chunk.startFrame;
    SeamPlacement placement = SeamPlacement::ByPosition;
    if (placedAny) {
        if (withinTolerance(position, placedEnd)) {
            chunk.startFrame = placedEnd;
            placement = SeamPlacement::Joined;
        } else if (withinTolerance(position, positionEnd)) {
            placement = SeamPlacement::Corrected;
        }
    }
    placedAny = true;
    placedEnd = chunk.endFrame();
    positionEnd = position + (chunk.endFrame() - chunk.startFrame);
    return placement;
}
