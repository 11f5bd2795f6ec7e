#pragma once
// Layouts are written for 96 DPI and scaled to the DPI of the monitor their window is on.
#include <cstdint>

inline constexpr std::uint32_t DefaultDpi = 96;

// value * dpi / 96, rounded half away from zero as the platform's MulDiv rounds, so a layout
// scaled here matches one scaled with MulDiv pixel for pixel.
constexpr std::int32_t scaleForDpi(std::int32_t value, std::uint32_t dpi) noexcept
{
    const std::int64_t product = static_cast<std::int64_t>(value) * dpi;
    const std::int64_t half = DefaultDpi / 2;
    return static_cast<std::int32_t>(product >= 0 ? (product + half) / DefaultDpi
                                                  : -((half - product) / DefaultDpi));
}

// The LOGFONT height of the 8-point dialog font at `dpi`: -MulDiv(8, dpi, 72), a character
// height (negative) as the stock GUI font has at 96 DPI (-11).
constexpr std::int32_t dialogFontHeight(std::uint32_t dpi) noexcept
{
    return -static_cast<std::int32_t>((std::int64_t{8} * dpi + 36) / 72);
}
