#pragma once
// A 1 kHz test tone, two judges of its continuity and a sink that keeps what a track writer made
// of it, shared by the sound benchmarks and the tests that play the tone through a real sound
// path. Portable: no platform headers.
#include "recording/core/recording_ports.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

namespace tone {

inline constexpr double Frequency = 1000.0;
inline constexpr double Amplitude = 0.5;
// Starting off zero keeps every sample of the tone away from 0 at 48 and 44.1 kHz (the smallest
// is 13 at 44.1 kHz after conversion to 16 bits), so a zero inside the tone is always a fault.
inline constexpr double Phase = 0.3;

// Sample `index` of the tone at `rate` frames per second. The tone repeats exactly after `cycle`
// samples (48 at 48 kHz, 441 at 44.1 kHz), so long runs lose no precision.
inline float sample(std::int64_t index, std::uint32_t rate)
{
    const std::int64_t common = std::gcd(static_cast<std::int64_t>(rate), std::int64_t{1000});
    const std::int64_t cycle = rate / common;   // samples per whole number of periods
    const std::int64_t periods = 1000 / common; // periods in one cycle
    const double turn = static_cast<double>(((index % cycle) + cycle) % cycle * periods) /
                        static_cast<double>(cycle);
    return static_cast<float>(Amplitude * std::sin(2.0 * 3.14159265358979323846 * turn + Phase));
}

// The 16-bit value the packet conversion makes of a float sample: rounded to the nearest step.
inline std::int16_t pcm(float value)
{
    const float scaled = value * 32767.0f;
    return static_cast<std::int16_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

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
inline std::vector<Break> findBreaks(const std::vector<std::int16_t>& output)
{
    const double c = 2.0 * std::cos(2.0 * 3.14159265358979323846 * Frequency / 48000.0);
    const double threshold = Amplitude * 32767.0 / 200.0;
    std::int64_t first = 0;
    std::int64_t last = static_cast<std::int64_t>(output.size()) - 1;
    while (first <= last && output[static_cast<std::size_t>(first)] == 0) {
        ++first;
    }
    while (last >= first && output[static_cast<std::size_t>(last)] == 0) {
        --last;
    }
    const auto at = [&](std::int64_t n) {
        return static_cast<double>(output[static_cast<std::size_t>(n)]);
    };
    const auto remainder = [&](std::int64_t n) {
        return std::abs(at(n) - c * at(n - 1) + at(n - 2));
    };

    std::vector<Break> breaks;
    constexpr std::int64_t Confirm = 12;
    std::int64_t steady = 0; // samples in a row that the recurrence explains
    // Where the tone starts out of silence it rings for a filter's length: the judge begins once
    // the recurrence holds, as after a break.
    bool broken = true;
    for (std::int64_t n = first + 2; n + 1 <= last; ++n) {
        const bool holds = remainder(n) + remainder(n + 1) <= threshold;
        if (broken) {
            // Silence satisfies the recurrence too; only the tone's return ends a break.
            const bool sounding = at(n) != 0.0 || at(n - 1) != 0.0;
            steady = holds && sounding ? steady + 1 : 0;
            broken = steady < Confirm;
            continue;
        }
        if (holds) {
            continue;
        }
        // The silence of a gap begins where the sound before it has rung out: within a filter's
        // length of where the recurrence first failed.
        Break found{n, 0};
        constexpr std::int64_t RingFrames = 64;
        for (std::int64_t z = n; z <= last && z < n + RingFrames; ++z) {
            if (output[static_cast<std::size_t>(z)] == 0 && z + 1 <= last &&
                output[static_cast<std::size_t>(z + 1)] == 0) {
                while (z <= last && output[static_cast<std::size_t>(z)] == 0) {
                    ++found.silentFrames;
                    ++z;
                }
                break;
            }
        }
        breaks.push_back(found);
        broken = true;
        steady = 0;
    }
    return breaks;
}

// Clicks in decoded (lossy) sound of the 48 kHz tone: a sinusoid obeys
// x[n] = 2 cos(w) x[n-1] - x[n-2], so what remains of that prediction is coding noise, plus a
// burst wherever the tone was broken. Counted per millisecond block (one period of the tone) where
// the sound is steady; a block whose remainder stands out from the typical block by more than
// `factor` times, and above 1/40 of the tone's amplitude, is a click.
inline int countClicks(const std::vector<std::int16_t>& decoded, double factor = 4.0)
{
    constexpr std::size_t Block = 48;
    const double c = 2.0 * std::cos(2.0 * 3.14159265358979323846 * Frequency / 48000.0);
    const std::size_t blocks = decoded.size() / Block;
    std::vector<double> level(blocks);
    std::vector<double> remainder(blocks);
    for (std::size_t b = 0; b < blocks; ++b) {
        double signal = 0.0;
        double rest = 0.0;
        for (std::size_t i = b * Block; i < (b + 1) * Block; ++i) {
            const double x = decoded[i];
            signal += x * x;
            if (i >= 2) {
                const double r = x - c * decoded[i - 1] + decoded[i - 2];
                rest += r * r;
            }
        }
        level[b] = std::sqrt(signal / Block);
        remainder[b] = std::sqrt(rest / Block);
    }
    const auto median = [](std::vector<double> values) {
        if (values.empty()) {
            return 0.0;
        }
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    const double typicalLevel = median(level);
    // Only blocks well inside the steady tone: its start and end are not seams.
    std::vector<bool> steady(blocks, false);
    for (std::size_t b = 2; b + 2 < blocks; ++b) {
        bool all = true;
        for (std::size_t n = b - 2; n <= b + 2; ++n) {
            all = all && std::abs(level[n] - typicalLevel) < 0.2 * typicalLevel;
        }
        steady[b] = all;
    }
    std::vector<double> steadyRemainders;
    for (std::size_t b = 0; b < blocks; ++b) {
        if (steady[b]) {
            steadyRemainders.push_back(remainder[b]);
        }
    }
    const double typicalRemainder = median(steadyRemainders);
    const double amplitude = typicalLevel * std::sqrt(2.0);
    int clicks = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        if (steady[b] && remainder[b] > factor * typicalRemainder &&
            remainder[b] > amplitude / 40.0) {
            ++clicks;
        }
    }
    return clicks;
}

// Keeps the left channel of the 16-bit stereo samples a track writer writes.
class LeftChannelSink final : public SampleSink {
public:
    void writeSample(std::uint32_t, const std::uint8_t* bytes, std::uint32_t length, std::int64_t,
                     std::int64_t) override
    {
        for (std::uint32_t i = 0; i + 3 < length; i += 4) {
            left.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        }
    }
    std::vector<std::int16_t> left;
};

} // namespace tone
