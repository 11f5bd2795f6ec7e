#pragma once
// Band-limited conversion of a stereo stream from any rate to the track's 48 kHz at a ratio that
// may be steered from one call to the next: a polyphase windowed-sinc filter (Kaiser window,
// 100 dB stopband) that passes everything up to 0.8 times the lower of the two Nyquist
// frequencies and stops everything above it, so an input above 48 kHz is low-pass filtered before
// it is decimated and the images of an input below 48 kHz are removed. Its state runs on from one
// call to the next: a stream converted in pieces at one ratio comes out exactly as if converted
// in one go.
//
// Output frame m stands for the input's time x(m), in input frames from the stream's first
// frame: x(0) = 0, and each output frame moves x on by the step in force when it is made. The
// output is therefore not delayed against the input. What the filter needs is the input up to
// halfLength() frames after x(m): each call hands out the output frames that the input so far
// determines and holds the last few back until more input (or the end of the stream) arrives.
//
// The step is kept in 2^-32 of an input frame, and the filter's taps are interpolated between
// 512 phases of an input frame, at every rate: the ratio can move by a fraction of a ppm and the
// phase of every output frame is honoured.
#include "recording/core/audio_chunk.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The coefficients for one input rate, designed once and shared by every resampler of that rate
// (a capture that is reopened gets the same table back).
struct ResamplerFilter {
    std::uint32_t half = 0;   // taps on either side of an output frame's time, in input frames
    std::uint32_t phases = 0; // rows of the table: fractions of an input frame
    std::vector<float> table; // (phases + 1) rows of 2 x half taps, each stored twice

    // The table for `inputRate`: the one a resampler of that rate still uses, or one of the few
    // last asked for, or else designed now.
    static std::shared_ptr<const ResamplerFilter> forRate(std::uint32_t inputRate);
};

class AudioResampler {
public:
    explicit AudioResampler(std::uint32_t inputRate);

    // Input frames per output frame from the next output frame on; the nominal step is
    // rate / 48000. Steps outside 1/64 to 64 times the nominal one are limited to them.
    void setStep(double inputFramesPerOutputFrame) noexcept;
    double step() const noexcept;
    double nominalStep() const noexcept;

    // Takes `frames` interleaved stereo frames and appends to `output` (interleaved stereo)
    // every output frame whose filter the input now covers.
    void push(const float* stereo, std::size_t frames, std::vector<float>& output);
    // Ends the stream as if silence followed: appends the output frames still held back whose
    // time lies before the end of the input, and starts a new stream at the nominal step.
    void finish(std::vector<float>& output);

    std::uint64_t inputFrames() const noexcept { return received; }
    std::uint64_t outputFrames() const noexcept { return produced; }
    // x of the next output frame, in input frames from the stream's start.
    double nextOutputTime() const noexcept;
    std::uint32_t halfLength() const noexcept { return filter->half; }
    std::uint32_t phaseCount() const noexcept { return filter->phases; }

private:
    void restart();
    void emit(std::vector<float>& output);

    std::uint32_t rate;
    std::shared_ptr<const ResamplerFilter> filter;
    std::uint64_t nominalStepFixed = 0; // rate / 48000 in 2^-32 input frames
    std::uint64_t stepFixed = 0;

    // The stream: input frames received, output frames handed out, and the time of the next
    // output frame as a whole input frame plus a fraction in 2^-32.
    std::uint64_t received = 0;
    std::uint64_t produced = 0;
    std::int64_t whole = 0;
    std::uint32_t fraction = 0;
    // Interleaved input frames from the frame `historyStart` on; those before the stream's first
    // frame are silence.
    std::vector<float> history;
    std::int64_t historyStart = 0;
};
