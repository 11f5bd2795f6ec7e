#pragma once
// The complete moov of the finished file: the first moov's track headers, sample descriptions
// and timescales with the sample tables built from the fragments. Version-1 headers are written
// only where a duration or time no longer fits in 32 bits, co64 only where a chunk starts past
// 4 GiB.
#include "recording/mp4/fragment_index.h"
#include "recording/mp4/initial_moov.h"

#include <cstdint>
#include <vector>

// `tracks` is in the order of `movie.tracks`.
std::vector<std::uint8_t> writeCompleteMoov(const MovieDescription& movie,
                                            const std::vector<TrackSamples>& tracks);

// value x to / from, rounded down, without overflow for 32-bit timescales (saturates).
std::uint64_t rescaleTime(std::uint64_t value, std::uint32_t to, std::uint32_t from) noexcept;
