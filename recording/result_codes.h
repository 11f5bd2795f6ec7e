#pragma once
// The fixed HRESULTs that recording stages raise without a failed platform call behind them,
// spelled out so the portable code needs no platform header.
#include <cstdint>

inline constexpr std::int32_t InvalidArgumentResult = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t OutOfMemoryResult = static_cast<std::int32_t>(0x8007000Eu);
inline constexpr std::int32_t UnsupportedAudioFormatResult =
    static_cast<std::int32_t>(0x88890008u);
