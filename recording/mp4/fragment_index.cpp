#include "recording/mp4/fragment_index.h"

#include "recording/mp4/box_reader.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint32_t BaseDataOffsetPresent = 0x000001;
constexpr std::uint32_t SampleDescriptionIndexPresent = 0x000002;
constexpr std::uint32_t DefaultSampleDurationPresent = 0x000008;
constexpr std::uint32_t DefaultSampleSizePresent = 0x000010;
constexpr std::uint32_t DefaultSampleFlagsPresent = 0x000020;
constexpr std::uint32_t DefaultBaseIsMoof = 0x020000;

constexpr std::uint32_t DataOffsetPresent = 0x000001;
constexpr std::uint32_t FirstSampleFlagsPresent = 0x000004;
constexpr std::uint32_t SampleDurationPresent = 0x000100;
constexpr std::uint32_t SampleSizePresent = 0x000200;
constexpr std::uint32_t SampleFlagsPresent = 0x000400;
constexpr std::uint32_t CompositionOffsetPresent = 0x000800;

constexpr std::uint32_t SampleIsNonSync = 0x00010000;

// Offsets past this cannot be in any file and keep the sums below from overflowing.
constexpr std::uint64_t OffsetLimit = std::uint64_t{1} << 62;

// A tfdt that disagrees with the durations so far moves the previous sample's end: the decode
// times of every later sample then match the fragments'.
void absorbDecodeTime(TrackSamples& track, std::uint64_t decodeTime)
{
    if (track.samples.empty()) {
        track.nextDecodeTime = decodeTime;
        return;
    }
    auto& last = track.samples.back();
    const std::uint64_t lastStart = track.nextDecodeTime - last.duration;
    const std::uint64_t wanted = decodeTime > lastStart ? decodeTime - lastStart : 0;
    last.duration = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(wanted, std::numeric_limits<std::uint32_t>::max()));
    track.nextDecodeTime = lastStart + last.duration;
}

} // namespace

bool SampleDataRegion::holds(std::uint64_t begin, std::uint64_t end) const noexcept
{
    const auto after =
        std::upper_bound(mdatPayloads.begin(), mdatPayloads.end(), begin,
                         [](std::uint64_t at, const Range& range) { return at < range.begin; });
    if (after == mdatPayloads.begin()) {
        return false;
    }
    const Range& range = *(after - 1);
    return begin >= range.begin && end <= range.end;
}

struct FragmentIndex::TrafContext {
    std::uint64_t moofOffset = 0;
    bool first = true;
    std::uint64_t previousDataEnd = 0;
};

FragmentIndex::FragmentIndex(const MovieDescription& description, std::uint64_t sampleBudget)
    : movie(description), perTrack(description.tracks.size()), budget(sampleBudget)
{}

struct FragmentIndex::SavedTrack {
    std::size_t count = 0;
    FragmentSample last;
    bool signedCompositionOffsets = false;
    std::uint64_t nextDecodeTime = 0;
};

void FragmentIndex::rollBack(const std::vector<SavedTrack>& saved, std::uint64_t savedTotal)
{
    for (std::size_t i = 0; i < perTrack.size(); ++i) {
        perTrack[i].samples.resize(saved[i].count);
        if (saved[i].count > 0) {
            perTrack[i].samples.back() = saved[i].last;
        }
        perTrack[i].signedCompositionOffsets = saved[i].signedCompositionOffsets;
        perTrack[i].nextDecodeTime = saved[i].nextDecodeTime;
    }
    total = savedTotal;
}

FragmentOutcome FragmentIndex::add(std::span<const std::uint8_t> moofPayload,
                                   std::uint64_t moofOffset, const SampleDataRegion& region)
{
    // Only what a failed moof can change is kept for the roll-back: counts and each last sample.
    std::vector<SavedTrack> saved(perTrack.size());
    for (std::size_t i = 0; i < perTrack.size(); ++i) {
        saved[i].count = perTrack[i].samples.size();
        if (saved[i].count > 0) {
            saved[i].last = perTrack[i].samples.back();
        }
        saved[i].signedCompositionOffsets = perTrack[i].signedCompositionOffsets;
        saved[i].nextDecodeTime = perTrack[i].nextDecodeTime;
    }
    const std::uint64_t savedTotal = total;
    const std::uint64_t savedFurthest = furthest;

    TrafContext context;
    context.moofOffset = moofOffset;
    ChildBoxes children(moofPayload);
    FragmentOutcome outcome = FragmentOutcome::Indexed;
    while (const auto child = children.next()) {
        if (child->type == fourCc("traf")) {
            outcome = addTraf(child->payload, context, region);
            if (outcome != FragmentOutcome::Indexed) {
                break;
            }
        }
    }
    if (outcome == FragmentOutcome::Indexed && !children.allWhole()) {
        outcome = FragmentOutcome::Malformed;
    }
    if (outcome != FragmentOutcome::Indexed) {
        rollBack(saved, savedTotal);
        furthest = savedFurthest;
    }
    return outcome;
}

FragmentOutcome FragmentIndex::addTraf(std::span<const std::uint8_t> traf, TrafContext& context,
                                       const SampleDataRegion& region)
{
    const auto tfhd = findChild(traf, fourCc("tfhd"));
    if (!tfhd) {
        return FragmentOutcome::Malformed;
    }
    ByteReader header(*tfhd);
    const std::uint32_t flags = header.u32() & 0xFFFFFFu;
    const std::uint32_t trackId = header.u32();
    const auto found =
        std::find_if(movie.tracks.begin(), movie.tracks.end(),
                     [&](const TrackDescription& track) { return track.trackId == trackId; });
    if (!header.ok()) {
        return FragmentOutcome::Malformed;
    }
    if (found == movie.tracks.end()) {
        return FragmentOutcome::UnknownTrack;
    }
    const auto track = static_cast<std::size_t>(found - movie.tracks.begin());
    TrackDefaults defaults = found->defaults;
    std::uint64_t base = context.first ? context.moofOffset : context.previousDataEnd;
    if (flags & BaseDataOffsetPresent) {
        base = header.u64();
    } else if (flags & DefaultBaseIsMoof) {
        base = context.moofOffset;
    }
    if (flags & SampleDescriptionIndexPresent) {
        defaults.sampleDescriptionIndex = header.u32();
    }
    if (flags & DefaultSampleDurationPresent) {
        defaults.sampleDuration = header.u32();
    }
    if (flags & DefaultSampleSizePresent) {
        defaults.sampleSize = header.u32();
    }
    if (flags & DefaultSampleFlagsPresent) {
        defaults.sampleFlags = header.u32();
    }
    if (!header.ok() || base >= OffsetLimit) {
        return FragmentOutcome::Malformed;
    }

    if (const auto tfdt = findChild(traf, fourCc("tfdt"))) {
        ByteReader time(*tfdt);
        const std::uint8_t version = time.u8();
        time.skip(3);
        const std::uint64_t decodeTime = version == 1 ? time.u64() : time.u32();
        if (!time.ok() || version > 1) {
            return FragmentOutcome::Malformed;
        }
        absorbDecodeTime(perTrack[track], decodeTime);
    }

    std::uint64_t cursor = base;
    bool firstRun = true;
    ChildBoxes children(traf);
    while (const auto child = children.next()) {
        if (child->type != fourCc("trun")) {
            continue;
        }
        const auto outcome =
            addRun(child->payload, track, defaults, cursor, firstRun, base, region);
        if (outcome != FragmentOutcome::Indexed) {
            return outcome;
        }
    }
    if (!children.allWhole()) {
        return FragmentOutcome::Malformed;
    }
    context.first = false;
    context.previousDataEnd = cursor;
    return FragmentOutcome::Indexed;
}

FragmentOutcome FragmentIndex::addRun(std::span<const std::uint8_t> trun, std::size_t track,
                                      const TrackDefaults& defaults, std::uint64_t& cursor,
                                      bool& firstRun, std::uint64_t base,
                                      const SampleDataRegion& region)
{
    ByteReader reader(trun);
    const std::uint8_t version = reader.u8();
    const std::uint32_t flags = static_cast<std::uint32_t>(reader.u16()) << 8 | reader.u8();
    const std::uint32_t count = reader.u32();
    std::uint64_t start = firstRun ? base : cursor;
    if (flags & DataOffsetPresent) {
        const auto offset = static_cast<std::int32_t>(reader.u32());
        if (offset < 0 && static_cast<std::uint64_t>(-static_cast<std::int64_t>(offset)) > base) {
            return FragmentOutcome::Malformed;
        }
        start = offset < 0 ? base - static_cast<std::uint64_t>(-static_cast<std::int64_t>(offset))
                           : base + static_cast<std::uint64_t>(offset);
    }
    const bool hasFirstFlags = (flags & FirstSampleFlagsPresent) != 0;
    const std::uint32_t firstFlags = hasFirstFlags ? reader.u32() : 0;
    const std::size_t perSample =
        4u * (((flags & SampleDurationPresent) != 0) + ((flags & SampleSizePresent) != 0) +
              ((flags & SampleFlagsPresent) != 0) + ((flags & CompositionOffsetPresent) != 0));
    if (!reader.ok() || version > 1 || (perSample > 0 && count > reader.remaining() / perSample) ||
        count > budget - total) {
        return FragmentOutcome::Malformed;
    }
    firstRun = false;
    TrackSamples& samples = perTrack[track];
    if (version == 1) {
        samples.signedCompositionOffsets = true;
    }
    std::uint64_t at = start;
    for (std::uint32_t i = 0; i < count; ++i) {
        FragmentSample sample;
        sample.offset = at;
        sample.descriptionIndex = defaults.sampleDescriptionIndex;
        sample.duration = flags & SampleDurationPresent ? reader.u32() : defaults.sampleDuration;
        sample.size = flags & SampleSizePresent ? reader.u32() : defaults.sampleSize;
        std::uint32_t sampleFlags =
            flags & SampleFlagsPresent ? reader.u32() : defaults.sampleFlags;
        if (i == 0 && hasFirstFlags) {
            sampleFlags = firstFlags;
        }
        sample.sync = (sampleFlags & SampleIsNonSync) == 0;
        if (flags & CompositionOffsetPresent) {
            const std::uint32_t offset = reader.u32();
            sample.compositionOffset =
                version == 1 ? static_cast<std::int64_t>(static_cast<std::int32_t>(offset))
                             : static_cast<std::int64_t>(offset);
        }
        at += sample.size;
        if (at > region.wholeEnd) {
            return FragmentOutcome::DataPastEnd;
        }
        samples.nextDecodeTime += sample.duration;
        samples.samples.push_back(sample);
    }
    if (!reader.ok() || (count > 0 && !region.holds(start, at))) {
        return FragmentOutcome::Malformed;
    }
    total += count;
    furthest = std::max(furthest, at);
    cursor = at;
    return FragmentOutcome::Indexed;
}
