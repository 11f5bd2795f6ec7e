#include "recording/sound/device_clock_estimator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

struct Following {
    double largestOffset = 0.0;        // frames between the placed sound and the device's clock
    double largestPacketStep = 0.0;    // relative change of the step from one packet to the next
    double largestSettledSecond = 0.0; // relative change within any second after the fifth
    double finalStep = 0.0;
};

// Packets of 10 ms from a device at `rate` whose clock runs `ppm(seconds)` fast against the
// counter, stamped with up to 50 us of jitter, followed by the estimator and the steering as the
// conversion drives them; the resampler is stood in for by the output frames each packet spans
// at the step in force.
template <typename Drift>
Following follow(std::uint32_t rate, double hours, Drift ppm)
{
    const std::uint32_t packetFrames = rate / 100;
    const auto packets = static_cast<std::int64_t>(hours * 3600.0 * 100.0);
    std::mt19937 random(5);
    std::uniform_real_distribution<double> jitter(-2.4, 2.4); // 50 us in 48 kHz frames
    DeviceClockEstimator clock(rate);
    Following result;
    double step = static_cast<double>(rate) / 48000.0;
    double placed = 0.0;     // timeline frame of the packet's first frame in the output
    double deviceTime = 0.0; // timeline frame at which the device captured it
    std::vector<double> steps;
    for (std::int64_t k = 0; k < packets; ++k) {
        const std::int64_t first = k * packetFrames;
        const double seconds = static_cast<double>(k) / 100.0;
        clock.add(first, deviceTime + jitter(random));
        const double error = placed - clock.timelineFrameOf(static_cast<double>(first));
        const double next = steeredStep(step, clock.slope(), error, seconds, 0.01);
        result.largestPacketStep = std::max(result.largestPacketStep, std::abs(next / step - 1.0));
        step = next;
        steps.push_back(step);
        if (k >= 600) {
            const double second = steps[static_cast<std::size_t>(k - 100)];
            result.largestSettledSecond =
                std::max(result.largestSettledSecond, std::abs(step / second - 1.0));
        }
        result.largestOffset = std::max(result.largestOffset, std::abs(placed - deviceTime));
        placed += packetFrames / step;
        deviceTime += packetFrames * 48000.0 / (rate * (1.0 + ppm(seconds) * 1e-6));
    }
    result.finalStep = step;
    return result;
}

} // namespace

TEST(DeviceClock, DriftingClocksAreFollowedForHoursWithinAMillisecondAndSmoothly)
{
    for (const std::uint32_t rate : {44100u, 48000u}) {
        for (const double drift : {-300.0, -50.0, 0.0, 20.0, 300.0}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, " << drift << " ppm");
            const Following result = follow(rate, 2.0, [drift](double) { return drift; });
            EXPECT_LE(result.largestOffset, 48.0);
            EXPECT_LE(result.largestPacketStep, MaxStepChange * 1.0001);
            // After the fifth second the pitch moves by no more than 0.1 ppm within a second.
            EXPECT_LE(result.largestSettledSecond, 0.11e-6);
            const double exact = rate * (1.0 + drift * 1e-6) / 48000.0;
            // The line through 30 s of stamps jittered by 50 us is good to about 0.1 ppm.
            EXPECT_NEAR(result.finalStep / exact - 1.0, 0.0, 0.3e-6);
        }
    }
}

TEST(DeviceClock, ARateThatJumpsIsCaughtBeforeTheSoundStraysAMillisecond)
{
    // A device that jumps from -20 to +20 ppm after ten minutes: beyond the slow steering of a
    // settled stream, so the sound strays, and is steered back at the faster slew.
    const Following result =
        follow(44100, 0.5, [](double seconds) { return seconds < 600.0 ? -20.0 : 20.0; });
    EXPECT_LE(result.largestOffset, 48.0);
    EXPECT_NEAR(result.finalStep / (44100.0 * (1.0 + 20e-6) / 48000.0) - 1.0, 0.0, 0.3e-6);
}

TEST(DeviceClock, AStampFarOffPullsTheLineNoHarderThanAMillisecond)
{
    DeviceClockEstimator clock(48000);
    for (std::int64_t k = 0; k < 1000; ++k) {
        clock.add(k * 480, static_cast<double>(k * 480));
    }
    clock.add(1000 * 480, 1000 * 480 + 9600.0); // 200 ms off
    const double shift = clock.timelineFrameOf(1000 * 480) - 1000 * 480;
    EXPECT_GT(shift, 0.0);
    EXPECT_LT(shift, 48.0 * 4.0 / 1000.0 + 1e-9); // a 1 ms pull shared by a thousand stamps
    EXPECT_NEAR(clock.slope(), 1.0, 1e-6);
}
