#pragma once
// Follows the clock of an audio device against the performance counter. The engine stamps every
// packet with the counter's time of its first frame; those stamps jitter by tens of microseconds,
// and the device's frames run a little fast or slow against the counter (tens of ppm is common,
// hundreds on cheap USB and Bluetooth devices). The estimator fits a straight line through the
// stamps of one continuous stream: the timeline frame (48 kHz) of any input frame, averaged over
// a window that grows to WindowSeconds, so the jitter of single stamps cancels out while a clock
// that wanders slowly is still followed. Pure arithmetic: no platform, no allocation per packet
// beyond the window.
#include <cstdint>
#include <deque>

class DeviceClockEstimator {
public:
    // The window over which the line is fitted: long enough to average the jitter of 3000
    // packets down to a fraction of a ppm, short enough to follow a device that warms up.
    static constexpr double WindowSeconds = 30.0;
    // A stamp further than this (1 ms) from the line counts only as this far: a stamp that the
    // engine got wrong pulls at the line no harder than an honest one far out.
    static constexpr double StampLimitFrames = 48.0;

    // `inputRate`: the device's nominal frames per second.
    explicit DeviceClockEstimator(std::uint32_t inputRate);

    // Forgets every stamp: a new stream begins.
    void restart() noexcept;
    bool empty() const noexcept { return points.empty(); }

    // Input frame `inputFrame` of the stream (counted from its first) was stamped at
    // `timelineFrame` (48 kHz frames, fractional, from any origin the caller keeps).
    void add(std::int64_t inputFrame, double timelineFrame);

    // Where the line puts input frame `inputFrame` (fractional) on the timeline; before any
    // stamp, nothing can be said and 0 is returned.
    double timelineFrameOf(double inputFrame) const noexcept;
    // Timeline frames per input frame: 48000 / rate for a device whose clock keeps time.
    double slope() const noexcept { return fittedSlope; }
    double nominalSlope() const noexcept { return nominal; }

private:
    struct Point {
        double input = 0.0; // from `reference`
        double timeline = 0.0;
    };
    void refit() noexcept;
    void rebase() noexcept;

    double nominal;
    double windowFrames;
    // Weight of the nominal slope against the stamps: as much as the stamps of the first tenth of
    // a second or so, so a line through two jittered stamps does not tilt by a percent.
    double prior;
    std::deque<Point> points;
    std::int64_t reference = 0; // input frame that Point::input counts from
    std::size_t removedSinceRebase = 0;
    double sumInput = 0.0;
    double sumTimeline = 0.0;
    double sumInputInput = 0.0;
    double sumInputTimeline = 0.0;
    double fittedSlope;
    double fittedOffset = 0.0; // timeline frame at input frame `reference`
};

// The step (input frames per output frame) that makes the placed sound converge on the estimated
// clock: the clock's own step, corrected by the placement error `errorFrames` (placed minus
// estimated, 48 kHz frames) spread over a horizon that lengthens with the stream, and moved from
// `previousStep` no faster than the slew allowed at the stream's age `streamSeconds`, for a packet
// lasting `packetSeconds`.
//
// The slew is what keeps the steering inaudible: a step that changes within a second bends the
// phase of every tone, and a change of 0.2 ppm within one second already costs a 1 kHz tone its
// 85 dB. While the stream is young the step follows the estimate as it settles (up to
// MaxStepChange per packet, InitialSlew a second up to SlewKneeSeconds, falling with the square
// of the age after that); from SettledSeconds on, when the estimate is good to a ppm or two, it
// moves no faster than SlewFloor: ample for a device that warms up, and the 1 ms that the placed
// sound may stray from the clock leaves all the time the last corrections need. Only a sound that
// has strayed by more than StrayFrames (a device whose rate jumped) is steered back at the faster
// slew of a young stream again: in step with the picture comes before the purity of a tone.
inline constexpr double MaxStepChange = 10e-6; // per packet
inline constexpr double InitialSlew = 1000e-6; // per second, while the stream is young
inline constexpr double SlewKneeSeconds = 0.5; // the age up to which InitialSlew holds
inline constexpr double SettledSeconds = 4.0;  // the age from which SlewFloor holds
inline constexpr double SlewFloor = 0.1e-6;    // per second, once the estimate has settled
inline constexpr double StrayFrames = 24.0;    // 0.5 ms
double steeredStep(double previousStep, double clockSlope, double errorFrames, double streamSeconds,
                   double packetSeconds) noexcept;
