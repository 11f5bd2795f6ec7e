#include "recording/sound/audio_seam_placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

TEST(AudioSeamPlacer, JoinsPacketsWithinTheToleranceAndLeavesGapsAndOverlapsBeyondIt)
{
    AudioSeamPlacer seams;
    EXPECT_EQ(seams.placementOf(1000), SeamPlacement::ByPosition);
    EXPECT_EQ(seams.place(1000, 480), 1000);

    struct Case {
        std::int64_t position;
        SeamPlacement placement;
        std::int64_t placedAt;
    };
    // Each case follows the one before; the previous packet ends 480 frames after where it was
    // placed.
    const Case cases[] = {
        {1482, SeamPlacement::Joined, 1480},                       // one jittered frame over
        {1958, SeamPlacement::Joined, 1960},                       // two frames short
        {2440 + SeamToleranceFrames, SeamPlacement::Joined, 2440}, // at the tolerance
        {2920 - SeamToleranceFrames, SeamPlacement::Joined, 2920},
        {3400 + SeamToleranceFrames + 1, SeamPlacement::ByPosition, 3641}, // a real gap
        {4121 - 9600, SeamPlacement::ByPosition, 4121 - 9600},             // far back
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        EXPECT_EQ(seams.placementOf(c.position), c.placement);
        EXPECT_EQ(seams.place(c.position, 480), c.placedAt);
    }
}

TEST(AudioSeamPlacer, DriftIsCorrectedOnceTheOffsetWouldPassTheTolerance)
{
    // Positions that run one frame per packet ahead of the samples: joining lets the offset grow
    // by a frame each time, and the packet that would take it past the tolerance is placed by
    // its position again; then joining starts over.
    AudioSeamPlacer seams;
    std::int64_t worst = 0;
    int corrections = 0;
    int firstCorrection = -1;
    for (int k = 0; k < 1000; ++k) {
        const std::int64_t position = 5000 + 481LL * k;
        const SeamPlacement placement = seams.placementOf(position);
        const std::int64_t start = seams.place(position, 480);
        if (placement == SeamPlacement::Corrected) {
            ++corrections;
            firstCorrection = firstCorrection < 0 ? k : firstCorrection;
            EXPECT_EQ(start, position);
        } else if (k > 0) {
            EXPECT_EQ(placement, SeamPlacement::Joined) << k;
        }
        worst = std::max(worst, std::abs(start - position));
    }
    EXPECT_EQ(worst, SeamToleranceFrames);
    EXPECT_EQ(firstCorrection, SeamToleranceFrames + 1);
    EXPECT_EQ(corrections, 999 / (SeamToleranceFrames + 1));
}
