#include "recording/engine/recording_worker.h"

#include "support/recording_fakes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>

using namespace test_support;

// One hour on the virtual clock: a pass every 5 ms, each delivering a 10 ms packet. The queue
// must stay as short as the write lag allows instead of growing with the recording.
TEST(WorkerMemory, ChunkQueueStaysBoundedForAnHour)
{
    constexpr std::int64_t Pass = 50'000;
    constexpr int PassesPerHour = 720'000;

    FakeWorld world;
    world.logging = false;
    world.keepSamples = false;
    FakePlatform platform(world);
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    world.onSleep = [&](int pass) {
        if (pass == PassesPerHour) {
            session.requestStop();
        }
    };
    world.onDrain = [&](AudioChunkQueue& queue, std::int64_t startTime, std::int64_t pausedTotal) {
        AudioChunk chunk;
        chunk.startFrame = (world.clock - 2 * Pass - startTime - pausedTotal) * 48'000 / 10'000'000;
        chunk.samples.assign(480 * 2, 100);
        queue.push_back(std::move(chunk));
    };

    runRecordingWorkerWith(session, PixelRect{0, 0, 16, 16}, L"C:\\v.mp4", platform);

    std::cout << "largest chunk queue over one hour: " << world.largestQueue << " chunks\n";
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    // The writer trails by 0.1 s (20 passes) and a packet spans 10 ms (2 passes).
    EXPECT_LE(world.largestQueue, 24u);
    EXPECT_GE(world.largestQueue, 20u);
    EXPECT_EQ(session.readElapsed(), (PassesPerHour - 1) * Pass);
    EXPECT_EQ(world.videoCount, 108'000); // 30 frames a second
    // The sound track reaches the end of the last frame, slot 107,999.
    EXPECT_TRUE(world.audioContiguous);
    const std::int64_t lastFrameEnd = 108'000LL * 333'333;
    EXPECT_EQ(world.audioEnd, lastFrameEnd * 48'000 / 10'000'000 * 10'000'000 / 48'000);
    EXPECT_EQ(world.liveObjects, 0);
}
