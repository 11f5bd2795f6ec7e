#include "tone/test_tone.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <utility>

namespace tone {

namespace {

// Solves the n x n system m (augmented with its right-hand side in column n) in place.
template <int N>
void solve(double (&m)[N][N + 1], double (&x)[N])
{
    for (int p = 0; p < N; ++p) {
        int best = p;
        for (int r = p + 1; r < N; ++r) {
            if (std::abs(m[r][p]) > std::abs(m[best][p])) {
                best = r;
            }
        }
        for (int c = 0; c <= N; ++c) {
            std::swap(m[p][c], m[best][c]);
        }
        for (int r = 0; r < N; ++r) {
            if (r != p && m[p][p] != 0.0) {
                const double factor = m[r][p] / m[p][p];
                for (int c = p; c <= N; ++c) {
                    m[r][c] -= factor * m[p][c];
                }
            }
        }
    }
    for (int r = 0; r < N; ++r) {
        x[r] = m[r][r] != 0.0 ? m[r][N] / m[r][r] : 0.0;
    }
}

} // namespace

float sample(std::int64_t index, std::uint32_t rate)
{
    const std::int64_t common = std::gcd(static_cast<std::int64_t>(rate), std::int64_t{1000});
    const std::int64_t cycle = rate / common;   // samples per whole number of periods
    const std::int64_t periods = 1000 / common; // periods in one cycle
    const double turn = static_cast<double>(((index % cycle) + cycle) % cycle * periods) /
                        static_cast<double>(cycle);
    return static_cast<float>(Amplitude * std::sin(2.0 * 3.14159265358979323846 * turn + Phase));
}

std::int16_t pcm(float value)
{
    const float scaled = value * 32767.0f;
    return static_cast<std::int16_t>(scaled + (scaled >= 0.0f ? 0.5f : -0.5f));
}

std::vector<Break> findBreaks(const std::vector<std::int16_t>& output)
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

int countClicks(const std::vector<std::int16_t>& decoded, double factor)
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

void LeftChannelSink::writeSample(std::uint32_t, const std::uint8_t* bytes, std::uint32_t length,
                                  std::int64_t, std::int64_t)
{
    for (std::uint32_t i = 0; i + 3 < length; i += 4) {
        left.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
}

void SineFit::step(const std::vector<double>& y, bool refine)
{
    const double t0 = -0.5 * static_cast<double>(y.size() - 1);
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    double cosine = std::cos(w * t0);
    double sine = std::sin(w * t0);
    double m[4][5] = {};
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double t = t0 + static_cast<double>(i);
        const double basis[4] = {cosine, sine, 1.0, t * (b * cosine - a * sine)};
        const int n = refine ? 4 : 3;
        for (int r = 0; r < n; ++r) {
            for (int col = r; col < n; ++col) {
                m[r][col] += basis[r] * basis[col];
            }
            m[r][4] += basis[r] * y[i];
        }
        const double next = cosine * cw - sine * sw;
        sine = sine * cw + cosine * sw;
        cosine = next;
    }
    if (refine) {
        for (int r = 0; r < 4; ++r) {
            for (int col = 0; col < r; ++col) {
                m[r][col] = m[col][r];
            }
        }
        double x[4] = {};
        solve<4>(m, x);
        a = x[0];
        b = x[1];
        c = x[2];
        w += x[3];
    } else {
        double m3[3][4] = {};
        for (int r = 0; r < 3; ++r) {
            for (int col = 0; col < 3; ++col) {
                m3[r][col] = col >= r ? m[r][col] : m[col][r];
            }
            m3[r][3] = m[r][4];
        }
        double x[3] = {};
        solve<3>(m3, x);
        a = x[0];
        b = x[1];
        c = x[2];
    }
}

double SineFit::sinad(const std::vector<double>& y) const
{
    const double t0 = -0.5 * static_cast<double>(y.size() - 1);
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    double cosine = std::cos(w * t0);
    double sine = std::sin(w * t0);
    double residual = 0.0;
    for (const double value : y) {
        const double error = value - (a * cosine + b * sine + c);
        residual += error * error;
        const double next = cosine * cw - sine * sw;
        sine = sine * cw + cosine * sw;
        cosine = next;
    }
    const double signal = (a * a + b * b) / 2.0;
    return 10.0 * std::log10(signal / (residual / static_cast<double>(y.size())));
}

double fittedSinad(const std::vector<double>& y, double w)
{
    SineFit fit;
    fit.w = w;
    fit.step(y, false);
    for (int i = 0; i < 4; ++i) {
        fit.step(y, true);
    }
    fit.step(y, false);
    return fit.sinad(y);
}

} // namespace tone
