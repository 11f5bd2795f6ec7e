#include "recording/sound/audio_resampler.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double StopbandDecibels = 100.0;
// The band from 0.8 to 1.0 times the lower Nyquist frequency is the filter's transition.
constexpr double PassbandEdge = 0.8;
// Rates whose ratio to 48 kHz needs more phases than this (none that a sound device uses) take
// their coefficients interpolated between the two nearest phases.
constexpr std::uint32_t MaxPhases = 1024;
// Keeps the filter finite for rates far beyond any device's (a 1.5 MHz input would need more).
constexpr std::uint32_t MaxHalfLength = 1024;
// Partial sums of the filter, four frames of two channels.
constexpr std::size_t Lanes = 8;

// The modified Bessel function of the first kind, order 0, by its power series.
double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 100 && term > 1e-12 * sum; ++k) {
        const double factor = x / (2.0 * k);
        term *= factor * factor;
        sum += term;
    }
    return sum;
}

} // namespace

AudioResampler::AudioResampler(std::uint32_t inputRate) : rate(inputRate)
{
    const double lowerNyquist = std::min<double>(rate, OutputSampleRate) / 2.0;
    const double transition = (1.0 - PassbandEdge) * lowerNyquist / rate; // cycles per frame
    const double cutoff = (1.0 + PassbandEdge) / 2.0 * lowerNyquist / rate;
    // Kaiser's estimates of the length and the window's shape for the stopband attenuation.
    const double length = (StopbandDecibels - 7.95) / (14.36 * transition);
    // An even half length makes the row a whole number of Lanes.
    half = std::min(MaxHalfLength, static_cast<std::uint32_t>(std::ceil(length / 4.0)) * 2);
    const double beta = 0.1102 * (StopbandDecibels - 8.7);

    const std::uint32_t exactPhases =
        OutputSampleRate / std::gcd(rate, static_cast<std::uint32_t>(OutputSampleRate));
    phases = std::min(exactPhases, MaxPhases);

    // Row k holds the taps for an output frame k / phases of an input frame after input frame
    // n: tap j weighs input frame n - (half - 1) + j. Row `phases` is row 0 one frame on, for
    // the interpolation between the last phase and the next whole frame. Each tap is stored
    // twice, once for the left and once for the right sample of the interleaved input.
    const std::uint32_t taps = 2 * half;
    table.resize(static_cast<std::size_t>(phases + 1) * taps * 2);
    const double window = besselI0(beta);
    std::vector<double> values(taps);
    for (std::uint32_t k = 0; k <= phases; ++k) {
        float* row = table.data() + static_cast<std::size_t>(k) * taps * 2;
        double sum = 0.0;
        std::fill(values.begin(), values.end(), 0.0);
        for (std::uint32_t j = 0; j < taps; ++j) {
            const double x =
                static_cast<double>(j) - (half - 1.0) - static_cast<double>(k) / phases;
            const double edge = x / half;
            if (edge * edge >= 1.0) {
                continue;
            }
            const double arg = 2.0 * cutoff * x;
            const double sinc = arg == 0.0 ? 1.0 : std::sin(Pi * arg) / (Pi * arg);
            values[j] = sinc * besselI0(beta * std::sqrt(1.0 - edge * edge)) / window;
            sum += values[j];
        }
        // Every phase passes a constant unchanged, so no phase adds a ripple of its own.
        for (std::uint32_t j = 0; j < taps; ++j) {
            row[2 * j] = static_cast<float>(values[j] / sum);
            row[2 * j + 1] = row[2 * j];
        }
    }
    interpolated.resize(static_cast<std::size_t>(taps) * 2);
    restart();
}

std::uint64_t AudioResampler::outputFramesSpanned(std::uint64_t inputFrames) const noexcept
{
    return (inputFrames * OutputSampleRate + rate - 1) / rate;
}

void AudioResampler::restart()
{
    received = 0;
    produced = 0;
    whole = 0;
    fraction = 0;
    history.assign(static_cast<std::size_t>(half - 1) * 2, 0.0f);
    historyStart = -static_cast<std::int64_t>(half - 1);
}

void AudioResampler::push(const float* stereo, std::size_t frames, std::vector<float>& output)
{
    history.insert(history.end(), stereo, stereo + frames * 2);
    received += frames;
    emit(output);
}

void AudioResampler::finish(std::vector<float>& output)
{
    if (received > 0) {
        history.resize(history.size() + static_cast<std::size_t>(half) * 2, 0.0f);
        emit(output);
    }
    restart();
}

void AudioResampler::emit(std::vector<float>& output)
{
    const std::size_t rowLength = std::size_t{half} * 4; // 2 x half taps, each twice
    const std::int64_t historyEnd = historyStart + static_cast<std::int64_t>(history.size() / 2);
    const auto end = static_cast<std::int64_t>(received);
    const std::uint32_t wholeStep = rate / OutputSampleRate;
    const std::uint32_t fractionStep = rate % OutputSampleRate;
    while (whole + half < historyEnd && whole < end) {
        // The phase of this output frame; with exact phases the row position is whole.
        const std::uint64_t rowPosition = std::uint64_t{fraction} * phases;
        const auto k = static_cast<std::size_t>(rowPosition / OutputSampleRate);
        const auto weight = static_cast<float>(rowPosition % OutputSampleRate) /
                            static_cast<float>(OutputSampleRate);
        const float* coefficients = table.data() + k * rowLength;
        if (weight != 0.0f) {
            const float* next = coefficients + rowLength;
            for (std::size_t j = 0; j < rowLength; ++j) {
                interpolated[j] = coefficients[j] + weight * (next[j] - coefficients[j]);
            }
            coefficients = interpolated.data();
        }
        const float* input =
            history.data() + static_cast<std::size_t>(whole - (half - 1) - historyStart) * 2;
        // Independent sums in lanes (even lanes left, odd lanes right), added in a fixed order:
        // the compiler can keep them in vector registers, and every build sums alike.
        float lanes[Lanes] = {};
        for (std::size_t j = 0; j < rowLength; j += Lanes) {
            for (std::size_t l = 0; l < Lanes; ++l) {
                lanes[l] += coefficients[j + l] * input[j + l];
            }
        }
        float left = 0.0f;
        float right = 0.0f;
        for (std::size_t l = 0; l < Lanes; l += 2) {
            left += lanes[l];
            right += lanes[l + 1];
        }
        output.push_back(left);
        output.push_back(right);
        ++produced;
        whole += wholeStep;
        fraction += fractionStep;
        if (fraction >= OutputSampleRate) {
            fraction -= OutputSampleRate;
            ++whole;
        }
    }
    // Input frames before the next output frame's first tap are needed no more.
    const std::int64_t firstNeeded = std::min(whole - (half - 1), historyEnd);
    if (firstNeeded > historyStart) {
        history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(
                                                             (firstNeeded - historyStart) * 2));
        historyStart = firstNeeded;
    }
}
