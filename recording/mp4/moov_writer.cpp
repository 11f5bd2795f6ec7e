#include "recording/mp4/moov_writer.h"

#include "recording/mp4/box_writer.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t Max32 = std::numeric_limits<std::uint32_t>::max();

struct Chunk {
    std::uint64_t offset = 0;
    std::uint32_t samples = 0;
    std::uint32_t descriptionIndex = 1;
};

struct TrackTimes {
    std::uint64_t mediaDuration = 0;     // in the media's timescale
    std::uint64_t presentedDuration = 0; // in the movie's timescale
    std::vector<EditEntry> edits;
    bool hasEditList = false;
};

std::uint64_t mediaDurationOf(const TrackSamples& track)
{
    std::uint64_t sum = 0;
    for (const auto& sample : track.samples) {
        sum += sample.duration;
    }
    return sum;
}

// An edit list's last edit into the media ends where the media ends; a fragmented file cannot
// know that when it is begun and often holds 0 there.
TrackTimes timesOf(const MovieDescription& movie, const TrackDescription& description,
                   const TrackSamples& track)
{
    TrackTimes times;
    times.mediaDuration = mediaDurationOf(track);
    times.edits = description.edits;
    // A track whose first fragment starts later than the others keeps its place with an empty
    // edit: an ordinary file's sample times start at 0.
    const std::uint64_t firstDecodeTime =
        track.nextDecodeTime > times.mediaDuration ? track.nextDecodeTime - times.mediaDuration : 0;
    const bool startsLate = firstDecodeTime > 0 && !track.samples.empty();
    if (startsLate) {
        times.edits.insert(
            times.edits.begin(),
            EditEntry{rescaleTime(firstDecodeTime, movie.timescale, description.mediaTimescale), -1,
                      0x00010000});
        if (!description.hasEditList) {
            times.edits.push_back(EditEntry{0, 0, 0x00010000});
        }
    }
    const auto lastMediaEdit =
        std::find_if(times.edits.rbegin(), times.edits.rend(),
                     [](const EditEntry& edit) { return edit.mediaTime >= 0; });
    if (lastMediaEdit != times.edits.rend()) {
        const auto mediaTime = static_cast<std::uint64_t>(lastMediaEdit->mediaTime);
        const std::uint64_t shown =
            times.mediaDuration > mediaTime ? times.mediaDuration - mediaTime : 0;
        lastMediaEdit->segmentDuration =
            rescaleTime(shown, movie.timescale, description.mediaTimescale);
    }
    times.hasEditList = description.hasEditList || startsLate;
    if (times.hasEditList) {
        for (const auto& edit : times.edits) {
            times.presentedDuration += edit.segmentDuration;
        }
    } else {
        times.presentedDuration =
            rescaleTime(times.mediaDuration, movie.timescale, description.mediaTimescale);
    }
    return times;
}

std::vector<Chunk> chunksOf(const TrackSamples& track)
{
    std::vector<Chunk> chunks;
    std::uint64_t expected = 0;
    for (const auto& sample : track.samples) {
        if (chunks.empty() || sample.offset != expected ||
            sample.descriptionIndex != chunks.back().descriptionIndex ||
            chunks.back().samples == Max32) {
            chunks.push_back(Chunk{sample.offset, 0, sample.descriptionIndex});
        }
        ++chunks.back().samples;
        expected = sample.offset + sample.size;
    }
    return chunks;
}

void writeTimes(BoxWriter& out, const BoxTimes& times, bool wide)
{
    out.u32or64(times.creation, wide);
    out.u32or64(times.modification, wide);
}

bool needsWideTimes(const BoxTimes& times, std::uint64_t duration)
{
    return duration > Max32 || times.creation > Max32 || times.modification > Max32;
}

void writeMovieHeader(BoxWriter& out, const MovieDescription& movie, std::uint64_t duration)
{
    const bool wide = needsWideTimes(movie.times, duration);
    const auto box = out.openFull(fourCc("mvhd"), wide ? 1 : 0, 0);
    writeTimes(out, movie.times, wide);
    out.u32(movie.timescale);
    out.u32or64(duration, wide);
    out.bytes(movie.headerTail);
    out.close(box);
}

void writeTrackHeader(BoxWriter& out, const TrackDescription& track, std::uint64_t duration)
{
    const bool wide = needsWideTimes(track.headerTimes, duration);
    const auto box = out.openFull(fourCc("tkhd"), wide ? 1 : 0, track.headerFlags);
    writeTimes(out, track.headerTimes, wide);
    out.u32(track.trackId);
    out.u32(0);
    out.u32or64(duration, wide);
    out.bytes(track.headerTail);
    out.close(box);
}

void writeEditList(BoxWriter& out, const std::vector<EditEntry>& edits)
{
    const bool wide = std::any_of(edits.begin(), edits.end(), [](const EditEntry& edit) {
        return edit.segmentDuration > Max32 ||
               edit.mediaTime > std::numeric_limits<std::int32_t>::max() ||
               edit.mediaTime < std::numeric_limits<std::int32_t>::min();
    });
    const auto edts = out.open(fourCc("edts"));
    const auto elst = out.openFull(fourCc("elst"), wide ? 1 : 0, 0);
    out.u32(static_cast<std::uint32_t>(edits.size()));
    for (const auto& edit : edits) {
        out.u32or64(edit.segmentDuration, wide);
        out.u32or64(static_cast<std::uint64_t>(edit.mediaTime), wide);
        out.u32(edit.rate);
    }
    out.close(elst);
    out.close(edts);
}

void writeMediaHeader(BoxWriter& out, const TrackDescription& track, std::uint64_t duration)
{
    const bool wide = needsWideTimes(track.mediaTimes, duration);
    const auto box = out.openFull(fourCc("mdhd"), wide ? 1 : 0, 0);
    writeTimes(out, track.mediaTimes, wide);
    out.u32(track.mediaTimescale);
    out.u32or64(duration, wide);
    out.bytes(track.mediaHeaderTail);
    out.close(box);
}

void writeTimeToSample(BoxWriter& out, const TrackSamples& track)
{
    const auto box = out.openFull(fourCc("stts"), 0, 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    for (const auto& sample : track.samples) {
        if (runs.empty() || runs.back().second != sample.duration || runs.back().first == Max32) {
            runs.emplace_back(0, sample.duration);
        }
        ++runs.back().first;
    }
    out.u32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [count, duration] : runs) {
        out.u32(count);
        out.u32(duration);
    }
    out.close(box);
}

bool hasCompositionOffsets(const TrackSamples& track)
{
    return std::any_of(track.samples.begin(), track.samples.end(),
                       [](const FragmentSample& sample) { return sample.compositionOffset != 0; });
}

bool needsSignedOffsets(const TrackSamples& track)
{
    return track.signedCompositionOffsets ||
           std::any_of(track.samples.begin(), track.samples.end(),
                       [](const FragmentSample& sample) { return sample.compositionOffset < 0; });
}

void writeCompositionOffsets(BoxWriter& out, const TrackSamples& track, bool signedOffsets)
{
    const auto box = out.openFull(fourCc("ctts"), signedOffsets ? 1 : 0, 0);
    std::vector<std::pair<std::uint32_t, std::int64_t>> runs;
    for (const auto& sample : track.samples) {
        if (runs.empty() || runs.back().second != sample.compositionOffset ||
            runs.back().first == Max32) {
            runs.emplace_back(0, sample.compositionOffset);
        }
        ++runs.back().first;
    }
    out.u32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [count, offset] : runs) {
        out.u32(count);
        out.u32(static_cast<std::uint32_t>(offset));
    }
    out.close(box);
}

// With signed offsets a sample may be shown before it is decoded; cslg tells a reader by how
// much, and where the composition times start and end.
void writeCompositionShift(BoxWriter& out, const TrackSamples& track)
{
    std::int64_t least = std::numeric_limits<std::int64_t>::max();
    std::int64_t greatest = std::numeric_limits<std::int64_t>::min();
    std::int64_t start = std::numeric_limits<std::int64_t>::max();
    std::int64_t end = std::numeric_limits<std::int64_t>::min();
    std::int64_t decodeTime = 0;
    for (const auto& sample : track.samples) {
        least = std::min(least, sample.compositionOffset);
        greatest = std::max(greatest, sample.compositionOffset);
        start = std::min(start, decodeTime + sample.compositionOffset);
        end = std::max(end, decodeTime + sample.compositionOffset + sample.duration);
        decodeTime += sample.duration;
    }
    const std::int64_t shift = least < 0 ? -least : 0;
    const std::int64_t fields[] = {shift, least, greatest, start, end};
    const bool wide = std::any_of(std::begin(fields), std::end(fields), [](std::int64_t value) {
        return value > std::numeric_limits<std::int32_t>::max() ||
               value < std::numeric_limits<std::int32_t>::min();
    });
    const auto box = out.openFull(fourCc("cslg"), wide ? 1 : 0, 0);
    for (const std::int64_t value : fields) {
        out.u32or64(static_cast<std::uint64_t>(value), wide);
    }
    out.close(box);
}

bool everySampleIsSync(const TrackSamples& track)
{
    return std::all_of(track.samples.begin(), track.samples.end(),
                       [](const FragmentSample& sample) { return sample.sync; });
}

void writeSyncSamples(BoxWriter& out, const TrackSamples& track)
{
    const auto box = out.openFull(fourCc("stss"), 0, 0);
    const auto count = static_cast<std::uint32_t>(
        std::count_if(track.samples.begin(), track.samples.end(),
                      [](const FragmentSample& sample) { return sample.sync; }));
    out.u32(count);
    for (std::size_t i = 0; i < track.samples.size(); ++i) {
        if (track.samples[i].sync) {
            out.u32(static_cast<std::uint32_t>(i + 1));
        }
    }
    out.close(box);
}

void writeSampleSizes(BoxWriter& out, const TrackSamples& track)
{
    const auto box = out.openFull(fourCc("stsz"), 0, 0);
    // A constant size of 0 would mean "the sizes follow", so zero-size samples are listed.
    const bool same =
        !track.samples.empty() && track.samples.front().size != 0 &&
        std::all_of(track.samples.begin(), track.samples.end(), [&](const FragmentSample& sample) {
            return sample.size == track.samples.front().size;
        });
    out.u32(same ? track.samples.front().size : 0);
    out.u32(static_cast<std::uint32_t>(track.samples.size()));
    if (!same) {
        for (const auto& sample : track.samples) {
            out.u32(sample.size);
        }
    }
    out.close(box);
}

void writeSampleToChunk(BoxWriter& out, const std::vector<Chunk>& chunks)
{
    const auto box = out.openFull(fourCc("stsc"), 0, 0);
    std::vector<std::size_t> firsts;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (i == 0 || chunks[i].samples != chunks[i - 1].samples ||
            chunks[i].descriptionIndex != chunks[i - 1].descriptionIndex) {
            firsts.push_back(i);
        }
    }
    out.u32(static_cast<std::uint32_t>(firsts.size()));
    for (const std::size_t first : firsts) {
        out.u32(static_cast<std::uint32_t>(first + 1));
        out.u32(chunks[first].samples);
        out.u32(chunks[first].descriptionIndex);
    }
    out.close(box);
}

void writeChunkOffsets(BoxWriter& out, const std::vector<Chunk>& chunks)
{
    const bool wide = std::any_of(chunks.begin(), chunks.end(),
                                  [](const Chunk& chunk) { return chunk.offset > Max32; });
    const auto box = out.openFull(fourCc(wide ? "co64" : "stco"), 0, 0);
    out.u32(static_cast<std::uint32_t>(chunks.size()));
    for (const auto& chunk : chunks) {
        out.u32or64(chunk.offset, wide);
    }
    out.close(box);
}

void writeSampleTable(BoxWriter& out, const TrackDescription& description,
                      const TrackSamples& track)
{
    const auto box = out.open(fourCc("stbl"));
    out.bytes(description.sampleDescriptions);
    writeTimeToSample(out, track);
    if (hasCompositionOffsets(track)) {
        const bool signedOffsets = needsSignedOffsets(track);
        writeCompositionOffsets(out, track, signedOffsets);
        if (signedOffsets) {
            writeCompositionShift(out, track);
        }
    }
    if (!everySampleIsSync(track)) {
        writeSyncSamples(out, track);
    }
    writeSampleSizes(out, track);
    const auto chunks = chunksOf(track);
    writeSampleToChunk(out, chunks);
    writeChunkOffsets(out, chunks);
    out.close(box);
}

void writeTrack(BoxWriter& out, const TrackDescription& description, const TrackSamples& track,
                const TrackTimes& times)
{
    const auto trak = out.open(fourCc("trak"));
    writeTrackHeader(out, description, times.presentedDuration);
    if (times.hasEditList) {
        writeEditList(out, times.edits);
    }
    const auto mdia = out.open(fourCc("mdia"));
    writeMediaHeader(out, description, times.mediaDuration);
    out.bytes(description.handler);
    const auto minf = out.open(fourCc("minf"));
    out.bytes(description.mediaInfoBoxes);
    writeSampleTable(out, description, track);
    out.close(minf);
    out.close(mdia);
    out.bytes(description.otherTrackBoxes);
    out.close(trak);
}

} // namespace

std::uint64_t rescaleTime(std::uint64_t value, std::uint32_t to, std::uint32_t from) noexcept
{
    if (from == 0) {
        return 0;
    }
    const std::uint64_t whole = value / from;
    const std::uint64_t rest = value % from;
    if (whole > std::numeric_limits<std::uint64_t>::max() / (to == 0 ? 1 : to)) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return whole * to + rest * to / from;
}

std::vector<std::uint8_t> writeCompleteMoov(const MovieDescription& movie,
                                            const std::vector<TrackSamples>& tracks)
{
    std::vector<TrackTimes> times;
    std::uint64_t movieDuration = 0;
    for (std::size_t i = 0; i < movie.tracks.size(); ++i) {
        times.push_back(timesOf(movie, movie.tracks[i], tracks[i]));
        movieDuration = std::max(movieDuration, times.back().presentedDuration);
    }
    std::vector<std::uint8_t> bytes;
    BoxWriter out(bytes);
    const auto moov = out.open(fourCc("moov"));
    writeMovieHeader(out, movie, movieDuration);
    for (std::size_t i = 0; i < movie.tracks.size(); ++i) {
        writeTrack(out, movie.tracks[i], tracks[i], times[i]);
    }
    out.bytes(movie.otherMovieBoxes);
    out.close(moov);
    return bytes;
}
