#pragma once
// The name of a new video file, made from the local time at which Start was pressed.
#include "common/local_time.h"

#include <string>
#include <string_view>

// The subfolder of the Videos folder that holds the recordings, with its leading separator.
inline constexpr const wchar_t* VideoSubfolder = L"\\Kestrova";

// "\Video_YYYY-MM-DD_hh-mm-ss_mmm.mp4", separator included so it can follow the folder path.
std::wstring formatVideoFileName(const LocalTime& time);

// Whether `name` (without a folder) is one formatVideoFileName makes: "Video_", a year of four
// or more digits, "-MM-DD_hh-mm-ss_mmm" in digits, ".mp4" in any case (the file system's).
bool isVideoFileName(std::wstring_view name) noexcept;
