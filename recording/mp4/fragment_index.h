#pragma once
// Every track's samples, collected from the moof boxes of a fragmented file in file order: where
// each sample's data lies, its size, duration, composition offset and whether it is a sync
// sample. A moof is taken whole or not at all.
#include "recording/mp4/initial_moov.h"

#include <cstdint>
#include <span>
#include <vector>

struct FragmentSample {
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t duration = 0;
    std::int64_t compositionOffset = 0;
    std::uint32_t descriptionIndex = 1;
    bool sync = true;
};

struct TrackSamples {
    std::vector<FragmentSample> samples;
    bool signedCompositionOffsets = false; // a version-1 trun was seen
    std::uint64_t nextDecodeTime = 0;
};

// Where sample data may lie: the payloads of whole top-level mdat boxes (sorted, apart), and
// the end of the file's whole boxes.
struct SampleDataRegion {
    struct Range {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    std::vector<Range> mdatPayloads;
    std::uint64_t wholeEnd = 0;

    bool holds(std::uint64_t begin, std::uint64_t end) const noexcept;
};

enum class FragmentOutcome : std::uint8_t {
    Indexed,
    DataPastEnd,  // the moof's samples reach past the whole boxes: a fragment cut off
    Malformed,    // fields that do not fit, data outside every mdat
    UnknownTrack, // a traf names a track the moov lacks
};

class FragmentIndex {
public:
    // `sampleBudget` bounds the samples of all tracks together (the file's size does: no more
    // samples than bytes).
    FragmentIndex(const MovieDescription& description, std::uint64_t sampleBudget);

    FragmentOutcome add(std::span<const std::uint8_t> moofPayload, std::uint64_t moofOffset,
                        const SampleDataRegion& region);

    const std::vector<TrackSamples>& tracks() const noexcept { return perTrack; }
    std::uint64_t sampleCount() const noexcept { return total; }
    // Where the last byte of any sample's data ends.
    std::uint64_t dataEnd() const noexcept { return furthest; }

private:
    struct TrafContext;
    struct SavedTrack;
    FragmentOutcome addTraf(std::span<const std::uint8_t> traf, TrafContext& context,
                            const SampleDataRegion& region);
    FragmentOutcome addRun(std::span<const std::uint8_t> trun, std::size_t track,
                           const TrackDefaults& defaults, std::uint64_t& cursor, bool& firstRun,
                           std::uint64_t base, const SampleDataRegion& region);
    void rollBack(const std::vector<SavedTrack>& saved, std::uint64_t savedTotal);

    const MovieDescription& movie;
    std::vector<TrackSamples> perTrack;
    std::uint64_t budget;
    std::uint64_t total = 0;
    std::uint64_t furthest = 0;
};
