#include "recording/sound/audio_seam_placement.h"

namespace {

// Frame values come from scaled 64-bit times (at most about 2^55 in magnitude), so the
// difference cannot overflow.
bool withinTolerance(std::int64_t a, std::int64_t b) noexcept
{
    const std::int64_t difference = a - b;
    return difference >= -SeamToleranceFrames && difference <= SeamToleranceFrames;
}

} // namespace

SeamPlacement AudioSeamPlacer::placementOf(std::int64_t position) const noexcept
{
    if (placedAny) {
        if (withinTolerance(position, placedEnd)) {
            return SeamPlacement::Joined;
        }
        if (withinTolerance(position, positionEnd)) {
            return SeamPlacement::Corrected;
        }
    }
    return SeamPlacement::ByPosition;
}

std::int64_t AudioSeamPlacer::place(std::int64_t position, std::int64_t frames) noexcept
{
    const std::int64_t start =
        placementOf(position) == SeamPlacement::Joined ? placedEnd : position;
    placedAny = true;
    placedEnd = start + frames;
    positionEnd = position + frames;
    return start;
}
