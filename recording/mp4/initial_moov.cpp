#include "recording/mp4/initial_moov.h"

#include "recording/mp4/box_reader.h"

namespace {

struct Refusal {
    MoovFault fault;
    std::string reason;
};

void append(std::vector<std::uint8_t>& to, std::span<const std::uint8_t> bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

// Version-0 and version-1 full boxes that start with creation and modification times; reads them
// and returns the version, the reader left after them.
std::uint8_t readTimes(ByteReader& reader, BoxTimes& times)
{
    const std::uint8_t version = reader.u8();
    reader.skip(3);
    if (version == 1) {
        times.creation = reader.u64();
        times.modification = reader.u64();
    } else {
        times.creation = reader.u32();
        times.modification = reader.u32();
    }
    return version;
}

std::optional<Refusal> readMovieHeader(std::span<const std::uint8_t> payload,
                                       MovieDescription& movie)
{
    ByteReader reader(payload);
    const std::uint8_t version = readTimes(reader, movie.times);
    movie.timescale = reader.u32();
    reader.skip(version == 1 ? 8 : 4);
    movie.headerTail = copyOf(reader.bytes(80));
    if (!reader.ok() || version > 1 || movie.timescale == 0) {
        return Refusal{MoovFault::Malformed, "the movie header is damaged"};
    }
    return std::nullopt;
}

std::optional<Refusal> readTrackHeader(std::span<const std::uint8_t> payload,
                                       TrackDescription& track)
{
    ByteReader reader(payload);
    BoxTimes times;
    const std::uint8_t version = reader.u8();
    track.headerFlags = static_cast<std::uint32_t>(reader.u16()) << 8 | reader.u8();
    if (version == 1) {
        times.creation = reader.u64();
        times.modification = reader.u64();
    } else {
        times.creation = reader.u32();
        times.modification = reader.u32();
    }
    track.headerTimes = times;
    track.trackId = reader.u32();
    reader.skip(4);
    reader.skip(version == 1 ? 8 : 4);
    track.headerTail = copyOf(reader.bytes(60));
    if (!reader.ok() || version > 1 || track.trackId == 0) {
        return Refusal{MoovFault::Malformed, "a track header is damaged"};
    }
    return std::nullopt;
}

std::optional<Refusal> readEditList(std::span<const std::uint8_t> edts, TrackDescription& track)
{
    const auto elst = findChild(edts, fourCc("elst"));
    if (!elst) {
        return std::nullopt;
    }
    ByteReader reader(*elst);
    const std::uint8_t version = reader.u8();
    reader.skip(3);
    const std::uint32_t count = reader.u32();
    const std::size_t entrySize = version == 1 ? 20 : 12;
    if (!reader.ok() || version > 1 || count > reader.remaining() / entrySize) {
        return Refusal{MoovFault::Malformed, "an edit list is damaged"};
    }
    track.hasEditList = true;
    for (std::uint32_t i = 0; i < count; ++i) {
        EditEntry entry;
        if (version == 1) {
            entry.segmentDuration = reader.u64();
            entry.mediaTime = static_cast<std::int64_t>(reader.u64());
        } else {
            entry.segmentDuration = reader.u32();
            entry.mediaTime = static_cast<std::int32_t>(reader.u32());
        }
        entry.rate = reader.u32();
        track.edits.push_back(entry);
    }
    return std::nullopt;
}

std::optional<Refusal> readMediaHeader(std::span<const std::uint8_t> payload,
                                       TrackDescription& track)
{
    ByteReader reader(payload);
    const std::uint8_t version = readTimes(reader, track.mediaTimes);
    track.mediaTimescale = reader.u32();
    reader.skip(version == 1 ? 8 : 4);
    track.mediaHeaderTail = copyOf(reader.bytes(4));
    if (!reader.ok() || version > 1 || track.mediaTimescale == 0) {
        return Refusal{MoovFault::Malformed, "a media header is damaged"};
    }
    return std::nullopt;
}

// An avc1 entry's avcC must carry the parameter sets: an ordinary file has no other place for
// them (an avc3 entry may carry them in the samples and is taken as it is).
std::optional<Refusal> checkSampleDescriptions(std::span<const std::uint8_t> stsd)
{
    ByteReader reader(stsd);
    reader.skip(4);
    const std::uint32_t count = reader.u32();
    if (!reader.ok() || count == 0) {
        return Refusal{MoovFault::Malformed, "a track has no sample description"};
    }
    ChildBoxes entries(stsd.subspan(8));
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto entry = entries.next();
        if (!entry) {
            return Refusal{MoovFault::Malformed, "a sample description is damaged"};
        }
        if (entry->type != fourCc("avc1")) {
            continue;
        }
        // SampleEntry (8 bytes) and VisualSampleEntry (70 bytes) come before the child boxes.
        constexpr std::size_t VisualEntryFields = 78;
        if (entry->payload.size() < VisualEntryFields) {
            return Refusal{MoovFault::Malformed, "an H.264 sample description is damaged"};
        }
        const auto avcC = findChild(entry->payload.subspan(VisualEntryFields), fourCc("avcC"));
        if (!avcC || !avcConfigurationHasParameterSets(*avcC)) {
            return Refusal{
                MoovFault::Unsupported,
                "the H.264 description has no SPS and PPS (avcC without parameter sets)"};
        }
    }
    return std::nullopt;
}

// A fragmented file's first moov describes no samples; one that does was written another way.
bool sampleTableIsEmpty(std::span<const std::uint8_t> stbl)
{
    if (const auto stts = findChild(stbl, fourCc("stts"))) {
        ByteReader reader(*stts);
        reader.skip(4);
        if (reader.u32() != 0) {
            return false;
        }
    }
    if (const auto stsz = findChild(stbl, fourCc("stsz"))) {
        ByteReader reader(*stsz);
        reader.skip(8);
        if (reader.u32() != 0) {
            return false;
        }
    }
    return true;
}

std::optional<Refusal> readMediaInfo(std::span<const std::uint8_t> minf, TrackDescription& track)
{
    ChildBoxes children(minf);
    bool sawTable = false;
    while (const auto child = children.next()) {
        if (child->type != fourCc("stbl")) {
            append(track.mediaInfoBoxes, child->whole);
            continue;
        }
        sawTable = true;
        if (!sampleTableIsEmpty(child->payload)) {
            return Refusal{MoovFault::Unsupported,
                           "the first moov already lists samples (not written as fragments only)"};
        }
        ChildBoxes tables(child->payload);
        while (const auto table = tables.next()) {
            if (table->type == fourCc("stsd")) {
                if (auto refusal = checkSampleDescriptions(table->payload)) {
                    return refusal;
                }
                track.sampleDescriptions = copyOf(table->whole);
            }
        }
    }
    if (!children.allWhole() || !sawTable || track.sampleDescriptions.empty()) {
        return Refusal{MoovFault::Malformed, "a track's media information is damaged"};
    }
    return std::nullopt;
}

std::optional<Refusal> readMedia(std::span<const std::uint8_t> mdia, TrackDescription& track)
{
    ChildBoxes children(mdia);
    bool sawHeader = false;
    bool sawInfo = false;
    while (const auto child = children.next()) {
        std::optional<Refusal> refusal;
        if (child->type == fourCc("mdhd")) {
            sawHeader = true;
            refusal = readMediaHeader(child->payload, track);
        } else if (child->type == fourCc("hdlr")) {
            track.handler = copyOf(child->whole);
        } else if (child->type == fourCc("minf")) {
            sawInfo = true;
            refusal = readMediaInfo(child->payload, track);
        }
        if (refusal) {
            return refusal;
        }
    }
    if (!children.allWhole() || !sawHeader || !sawInfo || track.handler.empty()) {
        return Refusal{MoovFault::Malformed, "a track's media box is damaged"};
    }
    return std::nullopt;
}

std::optional<Refusal> readTrack(std::span<const std::uint8_t> trak, TrackDescription& track)
{
    ChildBoxes children(trak);
    bool sawHeader = false;
    bool sawMedia = false;
    while (const auto child = children.next()) {
        std::optional<Refusal> refusal;
        if (child->type == fourCc("tkhd")) {
            sawHeader = true;
            refusal = readTrackHeader(child->payload, track);
        } else if (child->type == fourCc("edts")) {
            refusal = readEditList(child->payload, track);
        } else if (child->type == fourCc("mdia")) {
            sawMedia = true;
            refusal = readMedia(child->payload, track);
        } else {
            append(track.otherTrackBoxes, child->whole);
        }
        if (refusal) {
            return refusal;
        }
    }
    if (!children.allWhole() || !sawHeader || !sawMedia) {
        return Refusal{MoovFault::Malformed, "a track box is damaged"};
    }
    return std::nullopt;
}

std::optional<Refusal> readMovieExtends(std::span<const std::uint8_t> mvex, MovieDescription& movie)
{
    ChildBoxes children(mvex);
    while (const auto child = children.next()) {
        if (child->type != fourCc("trex")) {
            continue;
        }
        ByteReader reader(child->payload);
        reader.skip(4);
        const std::uint32_t trackId = reader.u32();
        TrackDefaults defaults;
        defaults.sampleDescriptionIndex = reader.u32();
        defaults.sampleDuration = reader.u32();
        defaults.sampleSize = reader.u32();
        defaults.sampleFlags = reader.u32();
        if (!reader.ok()) {
            return Refusal{MoovFault::Malformed, "a track's fragment defaults are damaged"};
        }
        for (auto& track : movie.tracks) {
            if (track.trackId == trackId) {
                track.defaults = defaults;
            }
        }
    }
    return std::nullopt;
}

} // namespace

bool avcConfigurationHasParameterSets(std::span<const std::uint8_t> avcC) noexcept
{
    ByteReader reader(avcC);
    reader.skip(5);
    const int sequenceSets = reader.u8() & 0x1F;
    for (int i = 0; i < sequenceSets; ++i) {
        reader.skip(reader.u16());
    }
    const int pictureSets = reader.u8();
    for (int i = 0; i < pictureSets; ++i) {
        reader.skip(reader.u16());
    }
    return reader.ok() && sequenceSets > 0 && pictureSets > 0;
}

MoovReading readInitialMoov(std::span<const std::uint8_t> payload)
{
    MoovReading reading;
    MovieDescription movie;
    movie.fragmented = findChild(payload, fourCc("mvex")).has_value();
    if (!movie.fragmented) {
        reading.movie = std::move(movie);
        return reading;
    }
    ChildBoxes children(payload);
    bool sawHeader = false;
    std::span<const std::uint8_t> mvex;
    while (const auto child = children.next()) {
        std::optional<Refusal> refusal;
        if (child->type == fourCc("mvhd")) {
            sawHeader = true;
            refusal = readMovieHeader(child->payload, movie);
        } else if (child->type == fourCc("trak")) {
            TrackDescription track;
            refusal = readTrack(child->payload, track);
            movie.tracks.push_back(std::move(track));
        } else if (child->type == fourCc("mvex")) {
            mvex = child->payload;
        } else {
            append(movie.otherMovieBoxes, child->whole);
        }
        if (refusal) {
            reading.fault = refusal->fault;
            reading.reason = std::move(refusal->reason);
            return reading;
        }
    }
    if (!children.allWhole() || !sawHeader || movie.tracks.empty()) {
        reading.reason = "the first moov is damaged";
        return reading;
    }
    for (std::size_t i = 0; i < movie.tracks.size(); ++i) {
        for (std::size_t j = i + 1; j < movie.tracks.size(); ++j) {
            if (movie.tracks[i].trackId == movie.tracks[j].trackId) {
                reading.reason = "two tracks have the same number";
                return reading;
            }
        }
    }
    if (auto refusal = readMovieExtends(mvex, movie)) {
        reading.fault = refusal->fault;
        reading.reason = std::move(refusal->reason);
        return reading;
    }
    reading.movie = std::move(movie);
    return reading;
}
