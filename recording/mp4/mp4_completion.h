#pragma once
// A recording's fragmented MP4 made an ordinary one in place, by the finisher over the file
// opened for writing with others allowed only to read.
#include <cstdint>
#include <string>

enum class Mp4Completion : std::uint8_t {
    Completed,       // it was fragmented (or its completion interrupted) and is now ordinary
    AlreadyOrdinary, // nothing to do, nothing changed
    InUse,           // another program writes it (or a recording still does): skipped
    LeftAsItIs,      // not an MP4 the finisher can complete: not changed
    Failed,          // it could not be opened, or a read or write failed (it still plays)
};

// Never throws; out of memory counts as Failed.
Mp4Completion completeMp4InPlace(const std::wstring& path) noexcept;
