#pragma once
// Keeps a recording from filling its disk. An MP4 gets its index only when it is finalized, and
// the finalizing of a file whose writes failed cannot be relied on, so a full disk could cost the
// whole recording: it is ended and saved while the index and the writer's data still fit.
#include "recording/core/recording_ports.h"
#include "recording/core/media_clock.h"

#include <cstdint>
#include <string>

// What must stay free on the file's volume, from the start to the end of the recording.
// - The index written at the end: per video sample about 20 bytes (its size, its composition
//   offset, at worst a chunk offset of its own), per AAC frame (1024 samples) about 12; at 30
//   frames and 46.9 AAC frames a second that is about 4.2 MB an hour, 100 MB for a day.
// - What the writer holds and what reaches the disk until the next check: a few seconds of the
//   encoded streams at the top rate of 16 Mbit/s (2 MB a second), about 10 MB.
// Twice the sum leaves room for what other programs write meanwhile and for the file system's
// own records: 256 MiB, a small part of any disk that holds recordings.
inline constexpr std::uint64_t DiskSpaceReserve = std::uint64_t{256} << 20;

// About once a second, in 100-ns units; at most 2 MB of the file are written in between.
inline constexpr std::int64_t DiskSpaceCheckPeriod = UnitsPerSecond;

// HRESULT_FROM_WIN32(ERROR_DISK_FULL), spelled out because this file stays free of platform
// headers.
inline constexpr std::int32_t DiskFullResult = static_cast<std::int32_t>(0x80070070u);

class DiskSpaceWatch {
public:
    DiskSpaceWatch(RecordingPlatform& platform, std::wstring filePath);

    // Before the file exists: throws Failure "Malo miejsca na dysku" with DiskFullResult when
    // less than the reserve is free. A volume whose free space cannot be read is let through.
    void requireReserve();
    // About once a second (`now` is the recording clock): whether less than the reserve is
    // free; false between the checks and when the free space cannot be read.
    bool runsLow(std::int64_t now);

private:
    bool belowReserve();

    RecordingPlatform& platform;
    std::wstring path;
    std::int64_t nextCheck = 0;
};
