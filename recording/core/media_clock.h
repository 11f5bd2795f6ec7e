#pragma once
// The recording's units of time: 100-ns units (Media Foundation's sample times and the packet
// positions the audio engine reports), the 30 fps frame grid and the 48 kHz sound track.
#include <cstdint>

inline constexpr std::int64_t UnitsPerSecond = 10'000'000;

inline constexpr std::uint32_t FramesPerSecond = 30;
inline constexpr std::int64_t FramePeriod = 333'333; // UnitsPerSecond / FramesPerSecond, truncated

inline constexpr std::uint32_t OutputSampleRate = 48000;
inline constexpr std::uint32_t OutputChannels = 2;
inline constexpr std::uint32_t OutputBitsPerSample = 16;
inline constexpr std::uint32_t OutputBytesPerFrame = OutputChannels * OutputBitsPerSample / 8;

// value x multiplier / divisor truncated toward zero, exact and without overflow for every
// timeline value (multiplier and divisor positive and below 2^31).
constexpr std::int64_t scaleTruncated(std::int64_t value, std::int64_t multiplier,
                                      std::int64_t divisor) noexcept
{
    // Quotient and remainder share the sign of value, so the two truncated parts add up to the
    // truncated whole.
    return value / divisor * multiplier + value % divisor * multiplier / divisor;
}

// 48 kHz frames in `time` (100-ns units), truncated.
constexpr std::int64_t outputFramesIn(std::int64_t time) noexcept
{
    return scaleTruncated(time, OutputSampleRate, UnitsPerSecond);
}

// The time (100-ns units) at which 48 kHz frame `frame` starts, truncated.
constexpr std::int64_t timeOfOutputFrame(std::int64_t frame) noexcept
{
    return scaleTruncated(frame, UnitsPerSecond, OutputSampleRate);
}
