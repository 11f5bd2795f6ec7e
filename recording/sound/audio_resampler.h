#pragma once
// Band-limited conversion of a stereo stream from any rate to the track's 48 kHz: a polyphase
// windowed-sinc filter (Kaiser window, 100 dB stopband) that passes everything up to 0.8 times
// the lower of the two Nyquist frequencies and stops everything above it, so an input above
// 48 kHz is low-pass filtered before it is decimated and the images of an input below 48 kHz
// are removed. Its state runs on from one call to the next: a stream converted in pieces comes
// out exactly as if converted in one go.
//
// Output frame m stands for the input's time m x rate / 48000 (in input frames from the
// stream's first frame), so the output is not delayed against the input. What the filter needs
// is the input up to halfLength() frames after that time: each call hands out the output frames
// that the input so far determines and holds the last few back until more input (or the end of
// the stream) arrives.
#include "recording/core/audio_chunk.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class AudioResampler {
public:
    explicit AudioResampler(std::uint32_t inputRate);

    // Output frames whose time lies before the end of the first `inputFrames` input frames:
    // ceil(inputFrames x 48000 / rate). Exact for streams of up to 2^64 / 48000 frames.
    std::uint64_t outputFramesSpanned(std::uint64_t inputFrames) const noexcept;

    // Takes `frames` interleaved stereo frames and appends to `output` (interleaved stereo)
    // every output frame whose filter the input now covers.
    void push(const float* stereo, std::size_t frames, std::vector<float>& output);
    // Ends the stream as if silence followed: appends the output frames still held back, up to
    // the end of the input, and starts a new stream.
    void finish(std::vector<float>& output);

    std::uint64_t inputFrames() const noexcept { return received; }
    std::uint64_t outputFrames() const noexcept { return produced; }
    std::uint32_t halfLength() const noexcept { return half; }
    std::uint32_t phaseCount() const noexcept { return phases; }

private:
    void restart();
    void emit(std::vector<float>& output);

    std::uint32_t rate;
    std::uint32_t half = 0;   // taps on either side of an output frame's time, in input frames
    std::uint32_t phases = 0; // rows of the coefficient table: fractions of an input frame
    std::vector<float> table; // (phases + 1) rows of 2 x half taps
    std::vector<float> interpolated;

    // The stream: input frames received, output frames handed out, and the time of the next
    // output frame as a whole input frame plus a fraction in 48000ths.
    std::uint64_t received = 0;
    std::uint64_t produced = 0;
    std::int64_t whole = 0;
    std::uint32_t fraction = 0;
    // Interleaved input frames from the frame `historyStart` on; those before the stream's first
    // frame are silence.
    std::vector<float> history;
    std::int64_t historyStart = 0;
};
