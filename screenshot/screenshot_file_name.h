#pragma once
#include <cstdint>
#include <string>

// The local time as the platform reports it, field for field, without the platform's headers.
struct LocalTimeFields {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// "Screenshot_YYYY-MM-DD_HH-MM-SS_mmm.png"; the year keeps its own digits, everything else is
// zero-padded. Independent of the global locale.
std::wstring formatScreenshotFileName(const LocalTimeFields& time);
