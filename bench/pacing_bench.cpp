// Frames per second that the recording worker writes over 60 s of its virtual clock, against the
// work time of a pass that writes a frame, when Sleep(5) wakes on a timer of 15.6 ms (the
// Windows default) and of 1 ms (what the worker asks for while it loops).
//
//   cmake --preset native && cmake --build --preset native --target pacing_bench
//   build/native/bin/pacing_bench
#include "recording/recording_fakes.h"
#include "recording/recording_worker.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr std::int64_t Millisecond = 10'000;
constexpr std::int64_t Recorded = 60 * 1000 * Millisecond;

// Sleep(5) ends at the first timer tick at or after 5 ms from now.
double framesPerSecond(std::int64_t workPerFrame, std::int64_t timerPeriod)
{
    FakeWorld world;
    world.logging = false;
    world.keepSamples = false;
    world.sleepStep = 5 * Millisecond;
    FakePlatform platform(world);
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    const std::int64_t start = world.clock;
    world.onNote = [&](const std::string& name) {
        if (name == "grab") {
            world.clock += workPerFrame; // grabbing, converting and encoding the frame
        }
    };
    world.onSleep = [&](int) {
        world.clock = (world.clock + timerPeriod - 1) / timerPeriod * timerPeriod;
        if (world.clock - start >= Recorded) {
            session.requestStop();
        }
    };
    runRecordingWorkerWith(session, PixelRect{0, 0, 16, 16}, L"pacing.mp4", platform);
    return static_cast<double>(world.videoCount) * 10'000'000.0 /
           static_cast<double>(session.readElapsed());
}

} // namespace

int main()
{
    constexpr std::int64_t DefaultTimer = 156'250; // 15.625 ms
    constexpr std::int64_t FineTimer = Millisecond;
    std::printf("work per frame   fps, 15.6 ms timer   fps, 1 ms timer\n");
    for (std::int64_t work = 5; work <= 30; ++work) {
        std::printf("%8lld ms      %14.2f      %14.2f\n", static_cast<long long>(work),
                    framesPerSecond(work * Millisecond, DefaultTimer),
                    framesPerSecond(work * Millisecond, FineTimer));
    }
    return 0;
}
