#include "recording/audio_seam_placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

AudioChunk chunkAt(std::int64_t startFrame, std::int64_t frames = 480)
{
    AudioChunk chunk;
    chunk.startFrame = startFrame;
    chunk.samples.assign(static_cast<std::size_t>(frames * 2), 1);
    return chunk;
}

} // namespace

TEST(AudioSeamPlacer, JoinsPacketsWithinTheToleranceAndLeavesGapsAndOverlapsBeyondIt)
{
    AudioSeamPlacer seams;
    AudioChunk first = chunkAt(1000);
    EXPECT_EQ(seams.place(first), SeamPlacement::ByPosition);
    EXPECT_EQ(first.startFrame, 1000);

    struct Case {
        std::int64_t position;
        SeamPlacement placement;
        std::int64_t placedAt;
    };
    // Each case follows the one before; the previous chunk ends 480 frames after where it was
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
        AudioChunk chunk = chunkAt(c.position);
        EXPECT_EQ(seams.place(chunk), c.placement);
        EXPECT_EQ(chunk.startFrame, c.placedAt);
        EXPECT_EQ(chunk.endFrame(), c.placedAt + 480);
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
        AudioChunk chunk = chunkAt(position);
        const SeamPlacement placement = seams.place(chunk);
        if (placement == SeamPlacement::Corrected) {
            ++corrections;
            firstCorrection = firstCorrection < 0 ? k : firstCorrection;
            EXPECT_EQ(chunk.startFrame, position);
        } else if (k > 0) {
            EXPECT_EQ(placement, SeamPlacement::Joined) << k;
        }
        worst = std::max(worst, std::abs(chunk.startFrame - position));
    }
    EXPECT_EQ(worst, SeamToleranceFrames);
    EXPECT_EQ(firstCorrection, SeamToleranceFrames + 1);
    EXPECT_EQ(corrections, 999 / (SeamToleranceFrames + 1));
}
