#include "recording/core/recording_clock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

namespace {

std::int64_t counterIn100ns(const LARGE_INTEGER& counter)
{
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<std::int64_t>((10'000'000.0 / static_cast<double>(frequency.QuadPart)) *
                                     static_cast<double>(counter.QuadPart));
}

} // namespace

TEST(RecordingClock, LiesBetweenPerformanceCounterReadingsTakenAroundIt)
{
    for (int i = 0; i < 1000; ++i) {
        LARGE_INTEGER before{};
        LARGE_INTEGER after{};
        ::QueryPerformanceCounter(&before);
        const std::int64_t now = nowIn100ns();
        ::QueryPerformanceCounter(&after);
        ASSERT_LE(counterIn100ns(before), now);
        ASSERT_GE(counterIn100ns(after), now);
    }
}

TEST(RecordingClock, NeverGoesBackwards)
{
    std::int64_t previous = nowIn100ns();
    for (int i = 0; i < 100'000; ++i) {
        const std::int64_t now = nowIn100ns();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

TEST(RecordingClock, CountsHundredNanosecondUnitsOfRealTime)
{
    const std::int64_t start = nowIn100ns();
    ::Sleep(50);
    const std::int64_t elapsed = nowIn100ns() - start;
    // Sleep may overshoot on a busy machine, never undershoot by more than a tick.
    EXPECT_GE(elapsed, 400'000);
    EXPECT_LT(elapsed, 50'000'000);
}
