#pragma once
// The name of a new video file, made from the local time at which Start was pressed.
#include <string>

// The fields of the platform's local time that the name uses (the weekday is not).
struct LocalTimeParts {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned millisecond = 0;
};

// The subfolder of the Videos folder that holds the recordings, with its leading separator.
inline constexpr const wchar_t* VideoSubfolder = L"\\Kestrova";

// "\Video_YYYY-MM-DD_hh-mm-ss_mmm.mp4", separator included so it can follow the folder path.
std::wstring formatVideoFileName(const LocalTimeParts& time);
