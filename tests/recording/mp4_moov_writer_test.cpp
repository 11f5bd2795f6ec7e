// The complete moov at box level, with made-up offsets and durations: co64 and version-1 boxes
// only where values pass 32 bits, edit lists recomputed, composition offsets, sync samples and
// chunks as the samples lie.
#include "recording/mp4/moov_writer.h"
#include "support/mp4_box_walker.h"

#include <gtest/gtest.h>

namespace {

using test_support::bigEndian;
using test_support::findBoxes;
using test_support::WalkedBox;

MovieDescription oneTrackMovie(std::uint32_t movieTimescale, std::uint32_t mediaTimescale)
{
    MovieDescription movie;
    movie.fragmented = true;
    movie.timescale = movieTimescale;
    movie.headerTail.assign(80, 0);
    TrackDescription track;
    track.trackId = 1;
    track.mediaTimescale = mediaTimescale;
    track.headerTail.assign(60, 0);
    track.mediaHeaderTail = {0x55, 0xC4, 0, 0};
    track.handler = {0, 0, 0, 12, 'h', 'd', 'l', 'r', 0, 0, 0, 0};
    track.sampleDescriptions = {0, 0, 0, 16, 's', 't', 's', 'd', 0, 0, 0, 0, 0, 0, 0, 0};
    movie.tracks.push_back(track);
    return movie;
}

TrackSamples contiguousSamples(std::uint64_t firstOffset, int count, std::uint32_t size,
                               std::uint32_t duration)
{
    TrackSamples track;
    for (int i = 0; i < count; ++i) {
        FragmentSample sample;
        sample.offset = firstOffset + static_cast<std::uint64_t>(i) * size;
        sample.size = size;
        sample.duration = duration;
        track.samples.push_back(sample);
    }
    return track;
}

struct WrittenMoov {
    std::vector<std::uint8_t> bytes;

    WalkedBox only(const std::string& type) const
    {
        const auto found = findBoxes(bytes, type);
        EXPECT_EQ(found.size(), 1u) << type;
        return found.empty() ? WalkedBox{} : found.front();
    }
    bool has(const std::string& type) const { return !findBoxes(bytes, type).empty(); }
    std::uint8_t version(const WalkedBox& box) const { return bytes[box.offset + 8]; }
    // A field of a full box, counted in bytes from the end of version and flags.
    std::uint64_t field(const WalkedBox& box, std::uint64_t at, int size) const
    {
        return bigEndian(bytes, box.offset + 12 + at, size);
    }
};

WrittenMoov write(const MovieDescription& movie, const std::vector<TrackSamples>& tracks)
{
    return WrittenMoov{writeCompleteMoov(movie, tracks)};
}

TEST(Mp4MoovWriter, ChunksBelowFourGiBUseStco)
{
    const auto moov =
        write(oneTrackMovie(1000, 1000), {contiguousSamples(0xFFFF0000u, 4, 100, 10)});
    EXPECT_FALSE(moov.has("co64"));
    const auto stco = moov.only("stco");
    EXPECT_EQ(moov.field(stco, 0, 4), 1u);
    EXPECT_EQ(moov.field(stco, 4, 4), 0xFFFF0000u);
}

TEST(Mp4MoovWriter, ChunksPastFourGiBUseCo64WithEveryOffsetWhole)
{
    auto track = contiguousSamples(0xFFFFFF00u, 2, 0x80, 10);
    auto later = contiguousSamples(0x1'0000'1000u, 2, 0x80, 10);
    track.samples.insert(track.samples.end(), later.samples.begin(), later.samples.end());
    const auto moov = write(oneTrackMovie(1000, 1000), {track});
    EXPECT_FALSE(moov.has("stco"));
    const auto co64 = moov.only("co64");
    EXPECT_EQ(moov.field(co64, 0, 4), 2u);
    EXPECT_EQ(moov.field(co64, 4, 8), 0xFFFFFF00u);
    EXPECT_EQ(moov.field(co64, 12, 8), 0x1'0000'1000u);
}

TEST(Mp4MoovWriter, DurationsPast32BitsUseVersion1Headers)
{
    auto movie = oneTrackMovie(1000, 1000);
    movie.tracks[0].hasEditList = true;
    movie.tracks[0].edits = {EditEntry{0, 0, 0x00010000}};
    const auto moov = write(movie, {contiguousSamples(0, 3, 1, 0xFFFFFFFFu)});
    const std::uint64_t total = 3ull * 0xFFFFFFFFu;
    const auto mvhd = moov.only("mvhd");
    const auto tkhd = moov.only("tkhd");
    const auto mdhd = moov.only("mdhd");
    const auto elst = moov.only("elst");
    EXPECT_EQ(moov.version(mvhd), 1);
    EXPECT_EQ(moov.field(mvhd, 16, 4), 1000u);
    EXPECT_EQ(moov.field(mvhd, 20, 8), total);
    EXPECT_EQ(mvhd.size, 12u + 28 + 80);
    EXPECT_EQ(moov.version(tkhd), 1);
    EXPECT_EQ(moov.field(tkhd, 16, 4), 1u);
    EXPECT_EQ(moov.field(tkhd, 24, 8), total);
    EXPECT_EQ(moov.version(mdhd), 1);
    EXPECT_EQ(moov.field(mdhd, 20, 8), total);
    EXPECT_EQ(moov.version(elst), 1);
    EXPECT_EQ(moov.field(elst, 4, 8), total);
    EXPECT_EQ(moov.field(elst, 12, 8), 0u);
}

TEST(Mp4MoovWriter, DurationsThatFitKeepVersion0Headers)
{
    auto movie = oneTrackMovie(1000, 48000);
    movie.tracks[0].hasEditList = true;
    movie.tracks[0].edits = {EditEntry{0, 1024, 0x00010000}};
    const auto moov = write(movie, {contiguousSamples(0, 48000 / 1024 * 10, 1, 1024)});
    for (const char* type : {"mvhd", "tkhd", "mdhd", "elst"}) {
        EXPECT_EQ(moov.version(moov.only(type)), 0) << type;
    }
    EXPECT_EQ(moov.field(moov.only("mdhd"), 8, 4), 48000u);
    EXPECT_EQ(moov.field(moov.only("mdhd"), 12, 4), 460u * 1024);
}

TEST(Mp4MoovWriter, LastEditIntoTheMediaEndsWhereTheMediaEnds)
{
    auto movie = oneTrackMovie(1000, 15360);
    movie.tracks[0].hasEditList = true;
    movie.tracks[0].edits = {EditEntry{500, -1, 0x00010000}, EditEntry{0, 1024, 0x00010000}};
    const auto moov = write(movie, {contiguousSamples(0, 120, 10, 512)});
    const auto elst = moov.only("elst");
    ASSERT_EQ(moov.field(elst, 0, 4), 2u);
    EXPECT_EQ(moov.field(elst, 4, 4), 500u) << "an empty edit keeps its duration";
    EXPECT_EQ(moov.field(elst, 8, 4), 0xFFFFFFFFu);
    EXPECT_EQ(moov.field(elst, 16, 4), (120u * 512 - 1024) * 1000 / 15360);
    EXPECT_EQ(moov.field(elst, 20, 4), 1024u) << "media_time is kept";
    EXPECT_EQ(moov.field(moov.only("tkhd"), 16, 4), 500u + (120u * 512 - 1024) * 1000 / 15360);
    EXPECT_EQ(moov.field(moov.only("mvhd"), 12, 4), 500u + (120u * 512 - 1024) * 1000 / 15360);
}

TEST(Mp4MoovWriter, ATrackThatStartsLateKeepsItsPlaceWithAnEmptyEdit)
{
    auto track = contiguousSamples(0, 10, 10, 4800);
    track.nextDecodeTime = 24'000 + 10 * 4800; // the first tfdt said half a second
    const auto moov = write(oneTrackMovie(1000, 48'000), {track});
    const auto elst = moov.only("elst");
    ASSERT_EQ(moov.field(elst, 0, 4), 2u);
    EXPECT_EQ(moov.field(elst, 4, 4), 500u);
    EXPECT_EQ(moov.field(elst, 8, 4), 0xFFFFFFFFu);
    EXPECT_EQ(moov.field(elst, 16, 4), 1000u);
    EXPECT_EQ(moov.field(elst, 20, 4), 0u);
    EXPECT_EQ(moov.field(moov.only("tkhd"), 16, 4), 1500u);
}

TEST(Mp4MoovWriter, WithoutEditListTheTrackLastsAsLongAsItsMedia)
{
    const auto moov = write(oneTrackMovie(1000, 30000), {contiguousSamples(0, 90, 10, 1000)});
    EXPECT_FALSE(moov.has("edts"));
    EXPECT_EQ(moov.field(moov.only("tkhd"), 16, 4), 3000u);
}

TEST(Mp4MoovWriter, TimeToSampleRunsOfEqualDurations)
{
    auto track = contiguousSamples(0, 5, 10, 512);
    track.samples[4].duration = 700;
    const auto moov = write(oneTrackMovie(1000, 1000), {track});
    const auto stts = moov.only("stts");
    ASSERT_EQ(moov.field(stts, 0, 4), 2u);
    EXPECT_EQ(moov.field(stts, 4, 4), 4u);
    EXPECT_EQ(moov.field(stts, 8, 4), 512u);
    EXPECT_EQ(moov.field(stts, 12, 4), 1u);
    EXPECT_EQ(moov.field(stts, 16, 4), 700u);
}

TEST(Mp4MoovWriter, UnsignedCompositionOffsetsGiveVersion0CttsWithoutCslg)
{
    auto track = contiguousSamples(0, 3, 10, 512);
    track.samples[0].compositionOffset = 1024;
    track.samples[1].compositionOffset = 1024;
    const auto moov = write(oneTrackMovie(1000, 15360), {track});
    const auto ctts = moov.only("ctts");
    EXPECT_EQ(moov.version(ctts), 0);
    ASSERT_EQ(moov.field(ctts, 0, 4), 2u);
    EXPECT_EQ(moov.field(ctts, 4, 4), 2u);
    EXPECT_EQ(moov.field(ctts, 8, 4), 1024u);
    EXPECT_EQ(moov.field(ctts, 12, 4), 1u);
    EXPECT_EQ(moov.field(ctts, 16, 4), 0u);
    EXPECT_FALSE(moov.has("cslg"));
}

TEST(Mp4MoovWriter, NoCompositionOffsetsNoCtts)
{
    const auto moov = write(oneTrackMovie(1000, 1000), {contiguousSamples(0, 3, 10, 512)});
    EXPECT_FALSE(moov.has("ctts"));
}

TEST(Mp4MoovWriter, SignedCompositionOffsetsGiveVersion1CttsAndCslg)
{
    auto track = contiguousSamples(0, 3, 10, 512);
    track.signedCompositionOffsets = true;
    track.samples[0].compositionOffset = 0;
    track.samples[1].compositionOffset = 512;
    track.samples[2].compositionOffset = -512;
    const auto moov = write(oneTrackMovie(1000, 15360), {track});
    const auto ctts = moov.only("ctts");
    EXPECT_EQ(moov.version(ctts), 1);
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(ctts, 24, 4)), -512);
    const auto cslg = moov.only("cslg");
    EXPECT_EQ(moov.version(cslg), 0);
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(cslg, 0, 4)), 512) << "compositionToDTSShift";
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(cslg, 4, 4)), -512) << "least";
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(cslg, 8, 4)), 512) << "greatest";
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(cslg, 12, 4)), 0) << "start";
    EXPECT_EQ(static_cast<std::int32_t>(moov.field(cslg, 16, 4)), 1536) << "end";
}

TEST(Mp4MoovWriter, SyncTableOnlyWhenSomeSampleIsNotSync)
{
    auto track = contiguousSamples(0, 4, 10, 512);
    EXPECT_FALSE(write(oneTrackMovie(1000, 1000), {track}).has("stss"));
    track.samples[1].sync = false;
    track.samples[2].sync = false;
    const auto moov = write(oneTrackMovie(1000, 1000), {track});
    const auto stss = moov.only("stss");
    ASSERT_EQ(moov.field(stss, 0, 4), 2u);
    EXPECT_EQ(moov.field(stss, 4, 4), 1u);
    EXPECT_EQ(moov.field(stss, 8, 4), 4u);
}

TEST(Mp4MoovWriter, ChunksFollowContiguousDataAndRunsShareStscEntries)
{
    TrackSamples track;
    for (const std::uint64_t start : {1000u, 5000u, 9000u}) {
        auto part = contiguousSamples(start, start == 9000u ? 3 : 2, 10, 512);
        track.samples.insert(track.samples.end(), part.samples.begin(), part.samples.end());
    }
    track.samples[1].size = 20;
    const auto moov = write(oneTrackMovie(1000, 1000), {track});
    const auto stco = moov.only("stco");
    ASSERT_EQ(moov.field(stco, 0, 4), 3u);
    EXPECT_EQ(moov.field(stco, 4, 4), 1000u);
    EXPECT_EQ(moov.field(stco, 8, 4), 5000u);
    EXPECT_EQ(moov.field(stco, 12, 4), 9000u);
    const auto stsc = moov.only("stsc");
    ASSERT_EQ(moov.field(stsc, 0, 4), 2u);
    EXPECT_EQ(moov.field(stsc, 4, 4), 1u);
    EXPECT_EQ(moov.field(stsc, 8, 4), 2u);
    EXPECT_EQ(moov.field(stsc, 16, 4), 3u);
    EXPECT_EQ(moov.field(stsc, 20, 4), 3u);
    const auto stsz = moov.only("stsz");
    EXPECT_EQ(moov.field(stsz, 0, 4), 0u);
    EXPECT_EQ(moov.field(stsz, 4, 4), 7u);
    EXPECT_EQ(moov.field(stsz, 12, 4), 20u);
}

TEST(Mp4MoovWriter, EqualSampleSizesAreWrittenOnce)
{
    const auto moov = write(oneTrackMovie(1000, 1000), {contiguousSamples(0, 5, 427, 1024)});
    const auto stsz = moov.only("stsz");
    EXPECT_EQ(moov.field(stsz, 0, 4), 427u);
    EXPECT_EQ(moov.field(stsz, 4, 4), 5u);
    EXPECT_EQ(stsz.size, 20u);
}

TEST(Mp4MoovWriter, RescalesWithoutOverflow)
{
    EXPECT_EQ(rescaleTime(3ull * 0xFFFFFFFFu, 1000, 48000), 3ull * 0xFFFFFFFFu * 1000 / 48000);
    EXPECT_EQ(rescaleTime(0xFFFF'FFFF'FFFFull, 1000, 7),
              0xFFFF'FFFF'FFFFull / 7 * 1000 + 0xFFFF'FFFF'FFFFull % 7 * 1000 / 7);
    EXPECT_EQ(rescaleTime(~0ull, 0xFFFFFFFFu, 1), ~0ull);
    EXPECT_EQ(rescaleTime(5, 1000, 0), 0u);
}

// Found by the fuzz target: a sample_size of 0 means the sizes follow, so equal sizes of 0 must
// be listed one by one.
TEST(Mp4MoovWriter, EqualSizesOfZeroAreListedOneByOne)
{
    const auto moov = write(oneTrackMovie(1000, 1000), {contiguousSamples(100, 3, 0, 1024)});
    const auto stsz = moov.only("stsz");
    EXPECT_EQ(moov.field(stsz, 0, 4), 0u);
    EXPECT_EQ(moov.field(stsz, 4, 4), 3u);
    EXPECT_EQ(stsz.size, 20u + 3 * 4);
}

} // namespace
