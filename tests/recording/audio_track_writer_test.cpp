#include "recording/sound/audio_track_writer.h"

#include "support/recording_fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace test_support;

namespace {

AudioChunk chunkOf(std::int64_t startFrame, std::int64_t frames, std::int16_t left,
                   std::int16_t right)
{
    AudioChunk chunk;
    chunk.startFrame = startFrame;
    for (std::int64_t i = 0; i < frames; ++i) {
        chunk.samples.push_back(left);
        chunk.samples.push_back(right);
    }
    return chunk;
}

// 100-ns time of a 48 kHz frame count, as the writer converts it back.
constexpr std::int64_t timeOfFrames(std::int64_t frames)
{
    return frames * 10'000'000 / 48'000;
}

struct TrackFixture : ::testing::Test {
    AudioChunkQueue queue;
    RecordingSink sink;
    AudioTrackWriter writer{queue, sink, 7};

    // Every written frame's left value, in order.
    std::vector<std::int16_t> leftValues() const
    {
        std::vector<std::int16_t> values;
        for (const WrittenSample& sample : sink.samples) {
            const auto pcm = sample.pcm();
            for (std::size_t i = 0; i < pcm.size(); i += 2) {
                values.push_back(pcm[i]);
            }
        }
        return values;
    }
};

} // namespace

TEST_F(TrackFixture, TenThousandFramesAreWrittenAsThreeContiguousBlocks)
{
    writer.writeUpTo(timeOfFrames(10'000) + 1);
    ASSERT_EQ(sink.samples.size(), 3u);
    EXPECT_EQ(sink.samples[0].bytes.size(), 4800u * 4);
    EXPECT_EQ(sink.samples[1].bytes.size(), 4800u * 4);
    EXPECT_EQ(sink.samples[2].bytes.size(), 400u * 4);
    std::int64_t expectedTime = 0;
    for (const WrittenSample& sample : sink.samples) {
        EXPECT_EQ(sample.stream, 7u);
        EXPECT_EQ(sample.time, expectedTime);
        expectedTime = sample.time + sample.duration;
    }
    EXPECT_EQ(sink.samples[2].time + sink.samples[2].duration, timeOfFrames(10'000));
    EXPECT_EQ(writer.framesWritten(), 10'000);
}

TEST_F(TrackFixture, BlockAtOneSecondHasExactTimeAndDuration)
{
    writer.writeUpTo(10'000'000);
    ASSERT_EQ(sink.samples.size(), 10u);
    EXPECT_EQ(sink.samples.back().time, 9'000'000);
    writer.writeUpTo(11'000'000);
    ASSERT_EQ(sink.samples.size(), 11u);
    EXPECT_EQ(sink.samples.back().time, 10'000'000);
    EXPECT_EQ(sink.samples.back().duration, 1'000'000);
    EXPECT_EQ(sink.samples.back().bytes.size(), 19'200u);
}

TEST_F(TrackFixture, DurationsFollowTruncatedFrameTimes)
{
    // 100 units is 0.48 frames: nothing; 1,000 units is 4.8 frames: four.
    writer.writeUpTo(100);
    EXPECT_TRUE(sink.samples.empty());
    writer.writeUpTo(1'000);
    ASSERT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(sink.samples[0].time, 0);
    EXPECT_EQ(sink.samples[0].duration, 833); // 4 frames: 833.33 truncated
    writer.writeUpTo(2'000);
    ASSERT_EQ(sink.samples.size(), 2u);
    EXPECT_EQ(sink.samples[1].time, 833);
    EXPECT_EQ(sink.samples[1].duration, 1'875 - 833); // frames 4..9
}

TEST_F(TrackFixture, TargetAtOrBelowWrittenWritesNothing)
{
    writer.writeUpTo(timeOfFrames(480) + 1);
    ASSERT_EQ(sink.samples.size(), 1u);
    writer.writeUpTo(timeOfFrames(480) + 1);
    writer.writeUpTo(0);
    writer.writeUpTo(-5'000'000);
    EXPECT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(writer.framesWritten(), 480);
}

TEST_F(TrackFixture, UncoveredStretchesAreSilentAndChunksLandAtTheirFrames)
{
    queue.push_back(chunkOf(100, 50, 1000, -1000));
    writer.writeUpTo(timeOfFrames(200) + 1);
    const auto pcm = sink.samples.at(0).pcm();
    ASSERT_EQ(pcm.size(), 400u);
    for (std::size_t frame = 0; frame < 200; ++frame) {
        const bool inside = frame >= 100 && frame < 150;
        ASSERT_EQ(pcm[2 * frame], inside ? 1000 : 0) << frame;
        ASSERT_EQ(pcm[2 * frame + 1], inside ? -1000 : 0) << frame;
    }
}

TEST_F(TrackFixture, LaterChunkWinsWhereChunksOverlap)
{
    queue.push_back(chunkOf(0, 100, 1, 1));
    queue.push_back(chunkOf(50, 100, 2, 2));
    queue.push_back(chunkOf(120, 10, 3, 3));
    writer.writeUpTo(timeOfFrames(160) + 1);
    const auto left = leftValues();
    ASSERT_EQ(left.size(), 160u);
    EXPECT_EQ(left[0], 1);
    EXPECT_EQ(left[49], 1);
    EXPECT_EQ(left[50], 2);
    EXPECT_EQ(left[119], 2);
    EXPECT_EQ(left[120], 3);
    EXPECT_EQ(left[129], 3);
    EXPECT_EQ(left[130], 2);
    EXPECT_EQ(left[149], 2);
    EXPECT_EQ(left[150], 0);
}

TEST_F(TrackFixture, ChunkSpanningBlocksIsSplitAcrossThem)
{
    queue.push_back(chunkOf(4700, 200, 9, 9));
    writer.writeUpTo(timeOfFrames(5000) + 1);
    ASSERT_EQ(sink.samples.size(), 2u);
    const auto left = leftValues();
    EXPECT_EQ(left[4699], 0);
    EXPECT_EQ(left[4700], 9);
    EXPECT_EQ(left[4800], 9);
    EXPECT_EQ(left[4899], 9);
    EXPECT_EQ(left[4900], 0);
}

TEST_F(TrackFixture, NegativeAndLatePartsAreDroppedAndTheRestKept)
{
    queue.push_back(chunkOf(-100, 150, 4, 4)); // frames -100..49: only 0..49 can be written
    writer.writeUpTo(timeOfFrames(20) + 1);
    queue.push_back(chunkOf(10, 20, 5, 5)); // arrives after frames 10..19 were written
    writer.writeUpTo(timeOfFrames(60) + 1);
    const auto left = leftValues();
    ASSERT_EQ(left.size(), 60u);
    EXPECT_EQ(left[0], 4);
    EXPECT_EQ(left[19], 4);
    EXPECT_EQ(left[20], 5);
    EXPECT_EQ(left[29], 5);
    EXPECT_EQ(left[30], 4);
    EXPECT_EQ(left[49], 4);
    EXPECT_EQ(left[50], 0);
}

TEST_F(TrackFixture, WrittenChunksAreRemovedAndLaterOnesKept)
{
    queue.push_back(chunkOf(0, 100, 1, 1));
    queue.push_back(chunkOf(100, 100, 2, 2));
    queue.push_back(chunkOf(300, 100, 3, 3));
    writer.writeUpTo(timeOfFrames(100) + 1);
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.front().startFrame, 100);
    writer.writeUpTo(timeOfFrames(350) + 1);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front().startFrame, 300);
    writer.writeUpTo(timeOfFrames(400) + 1);
    EXPECT_TRUE(queue.empty());
}

TEST_F(TrackFixture, ChunkFarAheadDoesNotPinWrittenChunksBehindIt)
{
    queue.push_back(chunkOf(48'000'000, 10, 1, 1)); // a bogus position, 1000 s ahead
    for (int i = 0; i < 50; ++i) {
        queue.push_back(chunkOf(i * 10, 10, 2, 2));
    }
    writer.writeUpTo(timeOfFrames(500) + 1);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.front().startFrame, 48'000'000);
}

TEST_F(TrackFixture, EmptyChunksDoNotLinger)
{
    queue.push_back(chunkOf(10, 0, 0, 0));
    writer.writeUpTo(timeOfFrames(10) + 1);
    EXPECT_TRUE(queue.empty());
}

TEST(ScaleTruncated, TruncatesTowardZeroWithoutOverflow)
{
    EXPECT_EQ(scaleTruncated(10'000'000, 48'000, 10'000'000), 48'000);
    EXPECT_EQ(scaleTruncated(-1'000, 48'000, 10'000'000), -4);
    EXPECT_EQ(scaleTruncated(-1, 48'000, 10'000'000), 0);
    EXPECT_EQ(scaleTruncated(4, 10'000'000, 48'000), 833);
    // Far beyond what value x multiplier can hold in 64 bits.
    const std::int64_t huge = INT64_MAX / 1000;
    EXPECT_EQ(scaleTruncated(huge, 48'000, 10'000'000),
              huge / 10'000'000 * 48'000 + huge % 10'000'000 * 48'000 / 10'000'000);
    EXPECT_EQ(scaleTruncated(-huge, 48'000, 10'000'000), -scaleTruncated(huge, 48'000, 10'000'000));
}
