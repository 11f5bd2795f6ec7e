#pragma once
// A 1 kHz test tone, the judges of its continuity and of its quality, and a sink that keeps what a
// track writer made of it: a small library shared by the sound benchmarks and the tests that play
// the tone through a real sound path. Portable: no platform headers.
#include "recording/core/recording_ports.h"

#include <cstdint>
#include <vector>

namespace tone {

inline constexpr double Frequency = 1000.0;
inline constexpr double Amplitude = 0.5;
// Starting off zero keeps every sample of the tone away from 0 at 48 and 44.1 kHz (the smallest
// is 13 at 44.1 kHz after conversion to 16 bits), so a zero inside the tone is always a fault.
inline constexpr double Phase = 0.3;

// Sample `index` of the tone at `rate` frames per second. The tone repeats exactly after `cycle`
// samples (48 at 48 kHz, 441 at 44.1 kHz), so long runs lose no precision.
float sample(std::int64_t index, std::uint32_t rate);

// The 16-bit value the packet conversion makes of a float sample: rounded to the nearest step.
std::int16_t pcm(float value);

struct Break {
    std::int64_t frame = 0;        // output frame at which the continuation failed
    std::int64_t silentFrames = 0; // zeros that start there (0: a skipped or repeated sample)
};

// Follows the phase of the tone through every output sample (one channel at 48 kHz), from the
// first to the last non-zero sample. A sinusoid obeys x[n] = 2 cos(w) x[n-1] - x[n-2] whatever
// its phase, and still within a fraction of a 16-bit step when its pitch is off by the few
// hundred ppm of a steered or drifting clock, so the sound need not be sample-exact: what the
// recurrence leaves over is the rounding, plus a burst wherever the tone was broken. A lone
// skipped or repeated sample leaves at least 1.7 % of the amplitude over two samples in a row, a
// zero inside the tone far more; a break is counted where the two samples' remainders pass 1/200
// of the tone's amplitude. At the start, and after a break, the judge waits until the recurrence
// holds for a few samples, and goes on.
std::vector<Break> findBreaks(const std::vector<std::int16_t>& output);

// Clicks in decoded (lossy) sound of the 48 kHz tone: a sinusoid obeys
// x[n] = 2 cos(w) x[n-1] - x[n-2], so what remains of that prediction is coding noise, plus a
// burst wherever the tone was broken. Counted per millisecond block (one period of the tone) where
// the sound is steady; a block whose remainder stands out from the typical block by more than
// `factor` times, and above 1/40 of the tone's amplitude, is a click.
int countClicks(const std::vector<std::int16_t>& decoded, double factor = 4.0);

// Keeps the left channel of the 16-bit stereo samples a track writer writes.
class LeftChannelSink final : public SampleSink {
public:
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override;
    std::vector<std::int16_t> left;
};

// The sine that best fits a window of samples, in frequency, amplitude, phase and offset, and the
// signal to noise and distortion ratio of the window against it. Fitting the frequency too keeps
// a tiny residual rate error (a steered resampler a fraction of a ppm off) from counting as
// noise.
// The least-squares sine y = a cos(w t) + b sin(w t) + c of one window, t counted from the
// window's middle; with `refine`, also corrects w by one Gauss-Newton step. The sines are
// rotated from one sample to the next rather than evaluated.
struct SineFit {
    double w = 0.0; // radians per sample
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;

    void step(const std::vector<double>& y, bool refine);
    double sinad(const std::vector<double>& y) const;
};

// SINAD of `y` against the sine fitted from the angular frequency `w` (radians per sample).
double fittedSinad(const std::vector<double>& y, double w);

} // namespace tone
