// Samples collected from hand-built moof boxes: where their data lies under each base rule, their
// times from tfdt or the running sum, the trex defaults and sync flags, and moofs refused whole.
#include "recording/mp4/box_writer.h"
#include "recording/mp4/fragment_index.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t BaseDataOffset = 0x000001;
constexpr std::uint32_t DefaultBaseIsMoof = 0x020000;
constexpr std::uint32_t RunDataOffset = 0x000001;
constexpr std::uint32_t RunFirstSampleFlags = 0x000004;
constexpr std::uint32_t RunDurations = 0x000100;
constexpr std::uint32_t RunSizes = 0x000200;
constexpr std::uint32_t RunCompositionOffsets = 0x000800;
constexpr std::uint32_t NonSync = 0x00010000;

struct TrackRun {
    std::uint8_t version = 0;
    std::uint32_t flags = RunSizes;
    std::int32_t dataOffset = 0;
    std::uint32_t firstSampleFlags = 0;
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint32_t> durations;
    std::vector<std::int32_t> compositionOffsets;
    std::uint32_t count = 0; // used when no per-sample field is present
};

struct Traf {
    std::uint32_t trackId = 1;
    std::uint32_t flags = 0;
    std::uint64_t baseDataOffset = 0;
    std::optional<std::uint64_t> decodeTime;
    std::vector<TrackRun> runs;
};

std::vector<std::uint8_t> moofPayload(const std::vector<Traf>& trafs)
{
    std::vector<std::uint8_t> bytes;
    BoxWriter out(bytes);
    const auto mfhd = out.openFull(fourCc("mfhd"), 0, 0);
    out.u32(1);
    out.close(mfhd);
    for (const auto& traf : trafs) {
        const auto trafBox = out.open(fourCc("traf"));
        const auto tfhd = out.openFull(fourCc("tfhd"), 0, traf.flags);
        out.u32(traf.trackId);
        if (traf.flags & BaseDataOffset) {
            out.u64(traf.baseDataOffset);
        }
        out.close(tfhd);
        if (traf.decodeTime) {
            const auto tfdt = out.openFull(fourCc("tfdt"), 1, 0);
            out.u64(*traf.decodeTime);
            out.close(tfdt);
        }
        for (const auto& run : traf.runs) {
            const auto trun = out.openFull(fourCc("trun"), run.version, run.flags);
            const std::size_t count =
                std::max({run.sizes.size(), run.durations.size(), run.compositionOffsets.size(),
                          static_cast<std::size_t>(run.count)});
            out.u32(static_cast<std::uint32_t>(count));
            if (run.flags & RunDataOffset) {
                out.u32(static_cast<std::uint32_t>(run.dataOffset));
            }
            if (run.flags & RunFirstSampleFlags) {
                out.u32(run.firstSampleFlags);
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (run.flags & RunDurations) {
                    out.u32(run.durations.at(i));
                }
                if (run.flags & RunSizes) {
                    out.u32(run.sizes.at(i));
                }
                if (run.flags & RunCompositionOffsets) {
                    out.u32(static_cast<std::uint32_t>(run.compositionOffsets.at(i)));
                }
            }
            out.close(trun);
        }
        out.close(trafBox);
    }
    return bytes;
}

MovieDescription twoTracks()
{
    MovieDescription movie;
    for (std::uint32_t id : {1u, 2u}) {
        TrackDescription track;
        track.trackId = id;
        track.mediaTimescale = 1000;
        track.defaults.sampleDuration = 100;
        movie.tracks.push_back(track);
    }
    return movie;
}

class FragmentIndexTest : public ::testing::Test {
protected:
    FragmentIndexTest()
    {
        region.mdatPayloads = {{0, 1'000'000}};
        region.wholeEnd = 1'000'000;
    }

    FragmentOutcome add(const std::vector<Traf>& trafs, std::uint64_t moofOffset = 10'000)
    {
        return index.add(moofPayload(trafs), moofOffset, region);
    }
    const std::vector<FragmentSample>& samples(std::size_t track) const
    {
        return index.tracks().at(track).samples;
    }

    MovieDescription movie = twoTracks();
    SampleDataRegion region;
    FragmentIndex index{movie, 1'000'000};
};

TEST_F(FragmentIndexTest, WithoutBaseTheFirstTrafStartsAtItsMoofAndTheNextWhereItsDataEnds)
{
    TrackRun first{.flags = RunDataOffset | RunSizes, .dataOffset = 300, .sizes = {10, 20}};
    TrackRun second{.flags = RunSizes, .sizes = {5}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {first}}, Traf{.trackId = 2, .runs = {second}}}),
              FragmentOutcome::Indexed);
    ASSERT_EQ(samples(0).size(), 2u);
    EXPECT_EQ(samples(0)[0].offset, 10'300u);
    EXPECT_EQ(samples(0)[1].offset, 10'310u);
    ASSERT_EQ(samples(1).size(), 1u);
    EXPECT_EQ(samples(1)[0].offset, 10'330u);
}

TEST_F(FragmentIndexTest, DefaultBaseIsMoofForEveryTraf)
{
    TrackRun first{.flags = RunDataOffset | RunSizes, .dataOffset = 300, .sizes = {10}};
    TrackRun second{.flags = RunDataOffset | RunSizes, .dataOffset = 500, .sizes = {5}};
    ASSERT_EQ(add({Traf{.trackId = 1, .flags = DefaultBaseIsMoof, .runs = {first}},
                   Traf{.trackId = 2, .flags = DefaultBaseIsMoof, .runs = {second}}}),
              FragmentOutcome::Indexed);
    EXPECT_EQ(samples(0)[0].offset, 10'300u);
    EXPECT_EQ(samples(1)[0].offset, 10'500u);
}

TEST_F(FragmentIndexTest, ExplicitBaseWithSignedDataOffset)
{
    TrackRun run{.flags = RunDataOffset | RunSizes, .dataOffset = -100, .sizes = {10}};
    ASSERT_EQ(
        add({Traf{.trackId = 2, .flags = BaseDataOffset, .baseDataOffset = 50'000, .runs = {run}}}),
        FragmentOutcome::Indexed);
    EXPECT_EQ(samples(1)[0].offset, 49'900u);
}

TEST_F(FragmentIndexTest, RunWithoutDataOffsetContinuesWhereTheLastEnded)
{
    TrackRun first{.flags = RunDataOffset | RunSizes, .dataOffset = 200, .sizes = {10, 10}};
    TrackRun second{.flags = RunSizes, .sizes = {7, 3}};
    ASSERT_EQ(add({Traf{.trackId = 1, .flags = DefaultBaseIsMoof, .runs = {first, second}}}),
              FragmentOutcome::Indexed);
    ASSERT_EQ(samples(0).size(), 4u);
    EXPECT_EQ(samples(0)[2].offset, 10'220u);
    EXPECT_EQ(samples(0)[3].offset, 10'227u);
}

TEST_F(FragmentIndexTest, TrexDefaultsAndFirstSampleFlags)
{
    movie.tracks[0].defaults = TrackDefaults{1, 512, 33, NonSync};
    TrackRun run{.flags = RunDataOffset | RunFirstSampleFlags,
                 .dataOffset = 100,
                 .firstSampleFlags = 0x02000000,
                 .count = 3};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {run}}}), FragmentOutcome::Indexed);
    ASSERT_EQ(samples(0).size(), 3u);
    EXPECT_TRUE(samples(0)[0].sync);
    EXPECT_FALSE(samples(0)[1].sync);
    EXPECT_FALSE(samples(0)[2].sync);
    EXPECT_EQ(samples(0)[1].size, 33u);
    EXPECT_EQ(samples(0)[2].offset, 10'166u);
    EXPECT_EQ(samples(0)[2].duration, 512u);
}

TEST_F(FragmentIndexTest, DecodeTimesFromTheRunningSumWithoutTfdt)
{
    TrackRun run{.flags = RunSizes | RunDurations, .sizes = {1, 1}, .durations = {40, 60}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {run}}}), FragmentOutcome::Indexed);
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {run}}}, 20'000), FragmentOutcome::Indexed);
    EXPECT_EQ(index.tracks()[0].nextDecodeTime, 200u);
    EXPECT_EQ(samples(0)[1].duration, 60u);
}

TEST_F(FragmentIndexTest, DisagreeingTfdtIsAbsorbedIntoThePreviousDuration)
{
    TrackRun run{.flags = RunSizes | RunDurations, .sizes = {1, 1}, .durations = {100, 100}};
    ASSERT_EQ(add({Traf{.trackId = 1, .decodeTime = 0, .runs = {run}}}), FragmentOutcome::Indexed);
    ASSERT_EQ(add({Traf{.trackId = 1, .decodeTime = 250, .runs = {run}}}, 20'000),
              FragmentOutcome::Indexed);
    EXPECT_EQ(samples(0)[1].duration, 150u) << "a gap lengthens the previous sample";
    ASSERT_EQ(add({Traf{.trackId = 1, .decodeTime = 420, .runs = {run}}}, 30'000),
              FragmentOutcome::Indexed);
    EXPECT_EQ(samples(0)[3].duration, 70u) << "an overlap shortens it";
    ASSERT_EQ(add({Traf{.trackId = 1, .decodeTime = 0, .runs = {run}}}, 40'000),
              FragmentOutcome::Indexed);
    EXPECT_EQ(samples(0)[5].duration, 0u) << "never below zero";
    EXPECT_EQ(index.tracks()[0].nextDecodeTime, 720u);
}

TEST_F(FragmentIndexTest, CompositionOffsetsOfVersion0And1Runs)
{
    TrackRun unsignedRun{
        .flags = RunSizes | RunCompositionOffsets, .sizes = {1, 1}, .compositionOffsets = {0, 200}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {unsignedRun}}}), FragmentOutcome::Indexed);
    EXPECT_FALSE(index.tracks()[0].signedCompositionOffsets);
    TrackRun signedRun{.version = 1,
                       .flags = RunSizes | RunCompositionOffsets,
                       .sizes = {1},
                       .compositionOffsets = {-100}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {signedRun}}}, 20'000), FragmentOutcome::Indexed);
    EXPECT_TRUE(index.tracks()[0].signedCompositionOffsets);
    EXPECT_EQ(samples(0)[1].compositionOffset, 200);
    EXPECT_EQ(samples(0)[2].compositionOffset, -100);
}

TEST_F(FragmentIndexTest, DataPastTheWholeBoxesIsACutFragmentAndAddsNothing)
{
    TrackRun first{.flags = RunSizes | RunDurations, .sizes = {10}, .durations = {100}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {first}}}), FragmentOutcome::Indexed);
    TrackRun cut{.flags = RunDataOffset | RunSizes | RunDurations,
                 .dataOffset = 100,
                 .sizes = {10, 2'000'000},
                 .durations = {7, 7}};
    TrackRun audio{.flags = RunSizes, .sizes = {4}};
    EXPECT_EQ(add({Traf{.trackId = 2, .runs = {audio}}, Traf{.trackId = 1, .runs = {cut}}}, 20'000),
              FragmentOutcome::DataPastEnd);
    EXPECT_EQ(samples(0).size(), 1u);
    EXPECT_TRUE(samples(1).empty());
    EXPECT_EQ(index.sampleCount(), 1u);
    EXPECT_EQ(index.tracks()[0].nextDecodeTime, 100u);
}

TEST_F(FragmentIndexTest, TfdtOfARefusedMoofLeavesThePreviousDurationAsItWas)
{
    TrackRun first{.flags = RunSizes | RunDurations, .sizes = {10}, .durations = {100}};
    ASSERT_EQ(add({Traf{.trackId = 1, .runs = {first}}}), FragmentOutcome::Indexed);
    EXPECT_EQ(
        add({Traf{.trackId = 1, .decodeTime = 900, .runs = {first}}, Traf{.trackId = 7}}, 20'000),
        FragmentOutcome::UnknownTrack);
    EXPECT_EQ(samples(0)[0].duration, 100u);
    EXPECT_EQ(samples(0).size(), 1u);
}

TEST_F(FragmentIndexTest, DataOutsideEveryMdatIsMalformed)
{
    region.mdatPayloads = {{10'000, 10'050}, {20'000, 30'000}};
    TrackRun run{.flags = RunDataOffset | RunSizes, .dataOffset = 40, .sizes = {5, 6}};
    EXPECT_EQ(add({Traf{.trackId = 1, .runs = {run}}}), FragmentOutcome::Malformed);
    run.sizes = {5, 5};
    EXPECT_EQ(add({Traf{.trackId = 1, .runs = {run}}}), FragmentOutcome::Indexed);
}

TEST_F(FragmentIndexTest, SampleCountsThatDoNotFitAreMalformed)
{
    TrackRun claimsMore{.flags = RunSizes, .sizes = {1, 2}};
    auto bytes = moofPayload({Traf{.trackId = 1, .runs = {claimsMore}}});
    // The trun's sample count is the 4 bytes after its full-box header, at the end less 8 bytes
    // of samples less 4.
    const std::size_t countAt = bytes.size() - 8 - 4;
    bytes[countAt] = 0x7F;
    EXPECT_EQ(index.add(bytes, 10'000, region), FragmentOutcome::Malformed);

    FragmentIndex small(movie, 5);
    TrackRun manyWithoutFields{.flags = 0, .count = 6};
    EXPECT_EQ(
        small.add(moofPayload({Traf{.trackId = 1, .runs = {manyWithoutFields}}}), 10'000, region),
        FragmentOutcome::Malformed);
    EXPECT_EQ(small.sampleCount(), 0u);
}

TEST_F(FragmentIndexTest, BoxesThatClaimMoreThanTheirParentAreMalformed)
{
    TrackRun run{.flags = RunSizes, .sizes = {1}};
    auto bytes = moofPayload({Traf{.trackId = 1, .runs = {run}}});
    bytes[16 + 3] = 0xFF; // the traf's size, after the 16-byte mfhd
    EXPECT_EQ(index.add(bytes, 10'000, region), FragmentOutcome::Malformed);
    EXPECT_EQ(index.sampleCount(), 0u);
}

} // namespace
