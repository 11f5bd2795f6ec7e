#pragma once
// The text of a tray balloon as the notification record can hold it.
#include <cstddef>
#include <string>
#include <string_view>

// Characters of szInfo, the terminator included.
inline constexpr std::size_t BalloonTextCapacity = 256;

// The part of `text` that fits the balloon: at most 255 characters, and nothing from the first
// null character on (the record holds a C string), never refused.
std::wstring_view balloonText(std::wstring_view text);

// "Odzyskano przerwane nagranie: <file name>", for a recording completed at the start.
std::wstring recoveredRecordingText(std::wstring_view fileName);
