#pragma once
// Keeps continuous sound continuous across packet seams. The positions the audio engine reports
// carry a little jitter and the device clock drifts against the performance counter, so packets
// that follow each other without a break land a frame apart or a frame over: a lone zero or a
// lost sample in the middle of the sound, which is heard as a click.
#include "recording/core/audio_chunk.h"

#include <cstdint>

// 5 ms at 48 kHz. Far below the 40 ms or so at which a viewer starts to notice sound out of step
// with the picture, far above the jitter of the engine's positions (tens of microseconds), and
// under half of the engine's 10 ms period, so a packet that went missing still leaves its gap.
// Drift of 50 ppm takes 100 s to use it up, so corrections stay rare.
inline constexpr std::int64_t SeamToleranceFrames = 240;

enum class SeamPlacement : std::uint8_t {
    ByPosition, // the first packet, or one that neither continues the sound nor its positions
    Joined,     // moved onto the end of the previous packet
    Corrected,  // its positions continue the previous packet's, but the accumulated offset would
                // have grown past the tolerance: placed by its position again
};

class AudioSeamPlacer {
public:
    // How a packet whose position puts its first frame at `position` would be placed now.
    SeamPlacement placementOf(std::int64_t position) const noexcept;

    // Places a packet of `frames` frames (48 kHz) whose position puts it at `position`, and
    // returns the frame it starts at. When the position lies within the tolerance of where the
    // previous packet was placed to end, it starts there, so sound that was continuous stays
    // continuous; otherwise (a real gap, a glitch of the engine, an offset that drift has used
    // up) it starts at its position. Either way the offset between where the sound is placed
    // and where its positions put it never exceeds the tolerance.
    //
    // Discarded packets (a pause) never come here: the timeline stands still while they are
    // read, so the last placed packet still ends where the recorded sound ends, and the first
    // packet after a resume joins it when it lands within the tolerance. A packet with a
    // timestamp error comes placed at its estimated start and follows the same rule.
    std::int64_t place(std::int64_t position, std::int64_t frames) noexcept;

private:
    bool placedAny = false;
    std::int64_t placedEnd = 0;   // where the previous packet was placed to end
    std::int64_t positionEnd = 0; // where the previous packet's position put its end
};
