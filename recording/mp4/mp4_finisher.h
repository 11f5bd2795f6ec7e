#pragma once
// Completes a fragmented MP4 in place as an ordinary one. The order keeps the file playable at
// every moment: a partly written last fragment is cut off, one complete moov is appended after
// the fragments, the whole file is flushed, and only then do the first bytes of the initial moov
// become the header of one mdat that holds the old moov, every fragment and any mfra. A file
// interrupted at any of these steps is recognised and completed from where it stopped.
// Only top-level box headers, the initial moov and every moof are read, never sample data.
#include "recording/mp4/mp4_file.h"

#include <cstdint>
#include <string>
#include <vector>

enum class FinishResult : std::uint8_t {
    Completed, // the file was fragmented (or interrupted while being completed) and is now ordinary
    AlreadyOrdinary, // nothing to do; the file was not changed
    NotMp4,          // cannot be read as MP4; not changed
    NoWholeFragment, // an MP4 without one whole fragment; not changed
    Unsupported,     // a valid-looking file the finisher refuses (e.g. avcC without SPS/PPS); not
                     // changed
    IoError,         // a read, write, truncate or flush failed
};

struct FinishReport {
    FinishResult result = FinishResult::NotMp4;
    std::string reason; // one line for people, empty when Completed/AlreadyOrdinary
    std::vector<std::uint64_t> samplesPerTrack; // in track order, when Completed
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesWritten = 0;
};

FinishReport finishFragmentedMp4(Mp4File& file);
