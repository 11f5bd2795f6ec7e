#include "recording/sound/audio_resampler.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double StopbandDecibels = 100.0;
// The band from 0.8 to 1.0 times the lower Nyquist frequency is the filter's transition.
constexpr double PassbandEdge = 0.8;
// Phases of an input frame in the table; the taps of a time between two phases are interpolated
// linearly, which leaves an error far below the stopband for every tone the filter passes.
constexpr std::uint32_t Phases = 512;
// Keeps the filter finite for rates far beyond any device's (a 1.5 MHz input would need more).
constexpr std::uint32_t MaxHalfLength = 1024;
// Partial sums of the filter, four frames of two channels.
constexpr std::size_t Lanes = 8;
constexpr double FractionUnit = 4294967296.0; // 2^32
// Tables kept alive for the rates last asked for, beyond those some resampler still uses: the
// program uses one rate; a capture opened anew finds its table again.
constexpr std::size_t KeptFilters = 4;

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

std::shared_ptr<const ResamplerFilter> designFilter(std::uint32_t rate)
{
    auto filter = std::make_shared<ResamplerFilter>();
    const double lowerNyquist = std::min<double>(rate, OutputSampleRate) / 2.0;
    const double transition = (1.0 - PassbandEdge) * lowerNyquist / rate; // cycles per frame
    const double cutoff = (1.0 + PassbandEdge) / 2.0 * lowerNyquist / rate;
    // Kaiser's estimates of the length and the window's shape for the stopband attenuation.
    const double length = (StopbandDecibels - 7.95) / (14.36 * transition);
    // An even half length makes the row a whole number of Lanes.
    const std::uint32_t half =
        std::min(MaxHalfLength, static_cast<std::uint32_t>(std::ceil(length / 4.0)) * 2);
    const double beta = 0.1102 * (StopbandDecibels - 8.7);
    filter->half = half;
    filter->phases = Phases;

    // Row k holds the taps for an output frame k / Phases of an input frame after input frame
    // n: tap j weighs input frame n - (half - 1) + j. Row Phases is row 0 one frame on, for the
    // interpolation between the last phase and the next whole frame. Each tap is stored twice,
    // once for the left and once for the right sample of the interleaved input.
    const std::uint32_t taps = 2 * half;
    filter->table.resize(static_cast<std::size_t>(Phases + 1) * taps * 2);
    const double window = besselI0(beta);
    std::vector<double> values(taps);
    for (std::uint32_t k = 0; k <= Phases; ++k) {
        float* row = filter->table.data() + static_cast<std::size_t>(k) * taps * 2;
        double sum = 0.0;
        std::fill(values.begin(), values.end(), 0.0);
        for (std::uint32_t j = 0; j < taps; ++j) {
            const double x =
                static_cast<double>(j) - (half - 1.0) - static_cast<double>(k) / Phases;
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
    return filter;
}

} // namespace

std::shared_ptr<const ResamplerFilter> ResamplerFilter::forRate(std::uint32_t inputRate)
{
    static std::mutex mutex;
    // Every table still in use, by rate, and the few last asked for, kept alive.
    static std::vector<std::pair<std::uint32_t, std::weak_ptr<const ResamplerFilter>>> known;
    static std::vector<std::shared_ptr<const ResamplerFilter>> kept;
    const std::lock_guard lock(mutex);
    std::shared_ptr<const ResamplerFilter> filter;
    for (const auto& [rate, table] : known) {
        if (rate == inputRate) {
            filter = table.lock();
            break;
        }
    }
    if (!filter) {
        std::erase_if(known, [](const auto& entry) { return entry.second.expired(); });
        filter = designFilter(inputRate);
        known.emplace_back(inputRate, filter);
    }
    std::erase(kept, filter);
    kept.push_back(filter);
    if (kept.size() > KeptFilters) {
        kept.erase(kept.begin());
    }
    return filter;
}

AudioResampler::AudioResampler(std::uint32_t inputRate)
    : rate(inputRate), filter(ResamplerFilter::forRate(inputRate))
{
    // Rounded up, so that at the nominal step no output frame's time falls a hair short of the
    // end of an input that spans a whole number of output frames.
    nominalStepFixed = (std::uint64_t{rate} << 32) / OutputSampleRate +
                       ((std::uint64_t{rate} << 32) % OutputSampleRate != 0 ? 1 : 0);
    restart();
}

void AudioResampler::setStep(double inputFramesPerOutputFrame) noexcept
{
    const double nominal = static_cast<double>(nominalStepFixed);
    double fixed = inputFramesPerOutputFrame * FractionUnit;
    if (!(fixed >= nominal / 64.0)) { // also a NaN
        fixed = nominal / 64.0;
    }
    fixed = std::min(fixed, nominal * 64.0);
    stepFixed = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(fixed)));
}

double AudioResampler::step() const noexcept
{
    return static_cast<double>(stepFixed) / FractionUnit;
}

double AudioResampler::nominalStep() const noexcept
{
    return static_cast<double>(nominalStepFixed) / FractionUnit;
}

double AudioResampler::nextOutputTime() const noexcept
{
    return static_cast<double>(whole) + static_cast<double>(fraction) / FractionUnit;
}

void AudioResampler::restart()
{
    received = 0;
    produced = 0;
    whole = 0;
    fraction = 0;
    stepFixed = nominalStepFixed;
    history.assign(static_cast<std::size_t>(filter->half - 1) * 2, 0.0f);
    historyStart = -static_cast<std::int64_t>(filter->half - 1);
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
        history.resize(history.size() + static_cast<std::size_t>(filter->half) * 2, 0.0f);
        emit(output);
    }
    restart();
}

void AudioResampler::emit(std::vector<float>& output)
{
    const std::uint32_t half = filter->half;
    const std::size_t rowLength = std::size_t{half} * 4; // 2 x half taps, each twice
    const std::int64_t historyEnd = historyStart + static_cast<std::int64_t>(history.size() / 2);
    const auto end = static_cast<std::int64_t>(received);
    const auto wholeStep = static_cast<std::int64_t>(stepFixed >> 32);
    const auto fractionStep = static_cast<std::uint32_t>(stepFixed & 0xFFFF'FFFFu);
    while (whole + half < historyEnd && whole < end) {
        // The two phases on either side of this output frame's time, and its place between them.
        const std::uint64_t rowPosition = std::uint64_t{fraction} * filter->phases;
        const auto k = static_cast<std::size_t>(rowPosition >> 32);
        const auto weight =
            static_cast<float>(static_cast<double>(rowPosition & 0xFFFF'FFFFu) / FractionUnit);
        const float* before = filter->table.data() + k * rowLength;
        const float* after = before + rowLength;
        const float* input =
            history.data() + static_cast<std::size_t>(whole - (half - 1) - historyStart) * 2;
        // Independent sums in lanes (even lanes left, odd lanes right), added in a fixed order:
        // the compiler can keep them in vector registers, and every build sums alike.
        float lanesBefore[Lanes] = {};
        float lanesAfter[Lanes] = {};
        for (std::size_t j = 0; j < rowLength; j += Lanes) {
            for (std::size_t l = 0; l < Lanes; ++l) {
                lanesBefore[l] += before[j + l] * input[j + l];
                lanesAfter[l] += after[j + l] * input[j + l];
            }
        }
        float left[2] = {};
        float right[2] = {};
        for (std::size_t l = 0; l < Lanes; l += 2) {
            left[0] += lanesBefore[l];
            right[0] += lanesBefore[l + 1];
            left[1] += lanesAfter[l];
            right[1] += lanesAfter[l + 1];
        }
        output.push_back(left[0] + weight * (left[1] - left[0]));
        output.push_back(right[0] + weight * (right[1] - right[0]));
        ++produced;
        const std::uint32_t previous = fraction;
        fraction += fractionStep;
        whole += wholeStep + (fraction < previous ? 1 : 0);
    }
    // Input frames before the next output frame's first tap are needed no more.
    const std::int64_t firstNeeded = std::min(whole - (half - 1), historyEnd);
    if (firstNeeded > historyStart) {
        history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(
                                                             (firstNeeded - historyStart) * 2));
        historyStart = firstNeeded;
    }
}
