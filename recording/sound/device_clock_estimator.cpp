#include "recording/sound/device_clock_estimator.h"

#include <algorithm>
#include <cmath>

namespace {

// The jitter of the stamps (about 30 us, 1.5 frames, as a standard deviation) against the spread
// of device clocks (about 300 ppm) sets how much the nominal slope weighs.
constexpr double StampDeviationFrames = 1.5;
constexpr double ClockSpreadPpm = 300.0;

} // namespace

DeviceClockEstimator::DeviceClockEstimator(std::uint32_t inputRate)
    : nominal(48000.0 / static_cast<double>(inputRate)),
      windowFrames(WindowSeconds * static_cast<double>(inputRate)),
      fittedSlope(nominal)
{
    const double slopeDeviation = ClockSpreadPpm * 1e-6 * nominal;
    prior = (StampDeviationFrames * StampDeviationFrames) / (slopeDeviation * slopeDeviation);
}

void DeviceClockEstimator::restart() noexcept
{
    points.clear();
    reference = 0;
    removedSinceRebase = 0;
    sumInput = sumTimeline = sumInputInput = sumInputTimeline = 0.0;
    fittedSlope = nominal;
    fittedOffset = 0.0;
}

void DeviceClockEstimator::add(std::int64_t inputFrame, double timelineFrame)
{
    if (points.empty()) {
        reference = inputFrame;
        fittedOffset = timelineFrame;
    } else {
        const double expected = timelineFrameOf(static_cast<double>(inputFrame));
        timelineFrame =
            expected + std::clamp(timelineFrame - expected, -StampLimitFrames, StampLimitFrames);
    }
    const Point point{static_cast<double>(inputFrame - reference), timelineFrame};
    points.push_back(point);
    sumInput += point.input;
    sumTimeline += point.timeline;
    sumInputInput += point.input * point.input;
    sumInputTimeline += point.input * point.timeline;
    while (points.size() > 1 && point.input - points.front().input > windowFrames) {
        const Point& old = points.front();
        sumInput -= old.input;
        sumTimeline -= old.timeline;
        sumInputInput -= old.input * old.input;
        sumInputTimeline -= old.input * old.timeline;
        points.pop_front();
        ++removedSinceRebase;
    }
    // Sums of points far from the reference lose their precision: once the window has moved on
    // by its own length, they are made again from the points, counted from the oldest.
    if (removedSinceRebase >= points.size()) {
        rebase();
    }
    refit();
}

void DeviceClockEstimator::rebase() noexcept
{
    const double shift = points.front().input;
    reference += static_cast<std::int64_t>(shift);
    sumInput = sumTimeline = sumInputInput = sumInputTimeline = 0.0;
    for (Point& point : points) {
        point.input -= shift;
        sumInput += point.input;
        sumTimeline += point.timeline;
        sumInputInput += point.input * point.input;
        sumInputTimeline += point.input * point.timeline;
    }
    removedSinceRebase = 0;
}

void DeviceClockEstimator::refit() noexcept
{
    // Least squares with the slope drawn towards the nominal one by `prior`.
    const auto count = static_cast<double>(points.size());
    const double meanInput = sumInput / count;
    const double meanTimeline = sumTimeline / count;
    const double spread = std::max(0.0, sumInputInput - count * meanInput * meanInput);
    const double covariance = sumInputTimeline - count * meanInput * meanTimeline;
    const double slope = (covariance + prior * nominal) / (spread + prior);
    if (std::isfinite(slope)) {
        fittedSlope = slope;
        fittedOffset = meanTimeline - slope * meanInput;
    }
}

double DeviceClockEstimator::timelineFrameOf(double inputFrame) const noexcept
{
    return fittedOffset + fittedSlope * (inputFrame - static_cast<double>(reference));
}

double steeredStep(double previousStep, double clockSlope, double errorFrames, double streamSeconds,
                   double packetSeconds) noexcept
{
    // Placed late (error above 0): take the input a little faster, so the output catches up.
    // The horizon grows with the stream, so the correction asks for little change of pitch.
    const double horizon = std::clamp(4.0 * streamSeconds, 2.0, 120.0) * 48000.0;
    double target = (1.0 + std::clamp(errorFrames / horizon, -1e-3, 1e-3)) / clockSlope;
    if (!std::isfinite(target)) {
        target = previousStep;
    }
    const bool strayed = std::abs(errorFrames) > StrayFrames;
    double age = std::max(streamSeconds, SlewKneeSeconds);
    if (strayed) {
        age = std::min(age, SettledSeconds);
    }
    const double settling = SlewKneeSeconds / age;
    const double perSecond =
        streamSeconds < SettledSeconds || strayed ? InitialSlew * settling * settling : SlewFloor;
    const double slew = std::min(MaxStepChange, perSecond * std::max(packetSeconds, 0.0));
    return std::clamp(target, previousStep * (1.0 - slew), previousStep * (1.0 + slew));
}
