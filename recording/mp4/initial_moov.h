#pragma once
// What the first moov of a fragmented file says about its tracks: the fields the complete moov
// keeps (times, timescales, handlers, sample descriptions, edit lists) and the defaults that
// fragments fall back on. The header fields are read, not copied, so that a duration past 32 bits
// can be written with version-1 boxes.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct TrackDefaults {
    std::uint32_t sampleDescriptionIndex = 1;
    std::uint32_t sampleDuration = 0;
    std::uint32_t sampleSize = 0;
    std::uint32_t sampleFlags = 0;
};

struct EditEntry {
    std::uint64_t segmentDuration = 0; // in the movie's timescale
    std::int64_t mediaTime = 0;        // -1: an empty edit
    std::uint32_t rate = 0x00010000;   // media_rate_integer and media_rate_fraction as written
};

struct BoxTimes {
    std::uint64_t creation = 0;
    std::uint64_t modification = 0;
};

struct TrackDescription {
    std::uint32_t trackId = 0;
    std::uint32_t mediaTimescale = 0;
    std::uint32_t headerFlags = 0;
    BoxTimes headerTimes;
    std::vector<std::uint8_t> headerTail; // tkhd after its duration
    BoxTimes mediaTimes;
    std::vector<std::uint8_t> mediaHeaderTail; // mdhd after its duration (language)
    bool hasEditList = false;
    std::vector<EditEntry> edits;
    std::vector<std::uint8_t> handler;        // the whole hdlr box
    std::vector<std::uint8_t> mediaInfoBoxes; // minf's whole children but stbl (vmhd, smhd, dinf)
    std::vector<std::uint8_t> sampleDescriptions; // the whole stsd box
    std::vector<std::uint8_t> otherTrackBoxes;    // trak's whole children but tkhd, edts, mdia
    TrackDefaults defaults;
};

struct MovieDescription {
    BoxTimes times;
    std::uint32_t timescale = 0;
    std::vector<std::uint8_t> headerTail; // mvhd after its duration (rate ... next_track_ID)
    std::vector<TrackDescription> tracks;
    std::vector<std::uint8_t> otherMovieBoxes; // moov's whole children but mvhd, trak, mvex
    bool fragmented = false;                   // an mvex is present
};

enum class MoovFault : std::uint8_t { Malformed, Unsupported };

struct MoovReading {
    std::optional<MovieDescription> movie;
    MoovFault fault = MoovFault::Malformed;
    std::string reason;
};

// Reads a moov's payload. A moov without mvex is returned with `fragmented` false and its tracks
// unread: it describes an ordinary file.
MoovReading readInitialMoov(std::span<const std::uint8_t> payload);

// True when an avcC holds at least one SPS and one PPS.
bool avcConfigurationHasParameterSets(std::span<const std::uint8_t> avcC) noexcept;
