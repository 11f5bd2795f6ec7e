#pragma once
// The local time as the platform reports it, field for field, without the platform's headers,
// and the stamp that screenshot and video file names carry.
#include <cstdint>
#include <string>

struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// "YYYY-MM-DD_HH-MM-SS_mmm": month to second with two digits, milliseconds with three, the year
// with at least `yearDigits`; zero-padded, independent of the global locale.
std::wstring formatTimestamp(const LocalTime& time, int yearDigits);
