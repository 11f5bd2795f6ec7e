// The finisher on fragmented files made by ffmpeg and on variants of them made by hand: the
// finished file is an ordinary MP4 with the same packets and the same decoded frames; a file cut
// anywhere keeps every whole fragment; a completion interrupted at any write is resumed to the
// same bytes.
#include "mp4_fixtures.h"
#include "mp4_variants.h"
#include "recording/mp4/mp4_finisher.h"
#include "support/memory_mp4_file.h"
#include "support/mp4_box_walker.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

using mp4_fixtures::Workshop;
using test_support::bigEndian;
using test_support::findBoxes;
using test_support::MemoryMp4File;
using test_support::walkBoxes;

struct Flavour {
    const char* name;
    std::function<std::vector<std::uint8_t>()> make;
};

// The name, not the bytes, in the tests' names.
void PrintTo(const Flavour& flavour, std::ostream* out)
{
    *out << flavour.name;
}

std::vector<std::uint8_t> ffmpegFlavour(const std::string& movflags,
                                        const std::string& options = {})
{
    return mp4_fixtures::readBytes(Workshop::instance().fragmented(movflags, options));
}

std::vector<std::uint8_t> defaultBaseMoof()
{
    return ffmpegFlavour("frag_keyframe+empty_moov+default_base_moof");
}

const Flavour Flavours[] = {
    // ffmpeg's default: an explicit base data offset (the moof) in every tfhd.
    {"ExplicitBaseAtMoof", [] { return ffmpegFlavour("frag_keyframe+empty_moov"); }},
    {"DefaultBaseIsMoof", [] { return defaultBaseMoof(); }},
    // Neither: the first traf's data starts at its moof, the next one's where the first's ends.
    {"ImplicitBase", [] { return ffmpegFlavour("frag_keyframe+empty_moov+omit_tfhd_offset"); }},
    // Half-second fragments that need not start at a key frame.
    {"FragmentDuration",
     [] { return ffmpegFlavour("empty_moov+default_base_moof", "-frag_duration 500000"); }},
    // Version-1 trun boxes with negative composition offsets.
    {"SignedCompositionOffsets",
     [] { return ffmpegFlavour("frag_keyframe+empty_moov+negative_cts_offsets"); }},
    {"WithoutDecodeTimes", [] { return mp4_variants::withoutDecodeTimes(defaultBaseMoof()); }},
    {"ExplicitBaseAtMdatPayload",
     [] { return mp4_variants::withBaseAtMdatPayload(defaultBaseMoof()); }},
    {"SplitRuns", [] { return mp4_variants::withSplitRuns(defaultBaseMoof()); }},
};

// Samples each track has in one fragment, counted from the trun boxes, by track number.
struct FragmentExtent {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::map<std::uint64_t, std::uint64_t> samples;
};

std::vector<FragmentExtent> fragmentsOf(const std::vector<std::uint8_t>& bytes)
{
    std::vector<FragmentExtent> fragments;
    const auto top = walkBoxes(bytes, 0, bytes.size());
    for (const auto& box : *top) {
        if (box.type == "moof") {
            FragmentExtent fragment;
            fragment.begin = box.offset;
            std::vector<test_support::WalkedBox> trafs;
            findBoxes(bytes, box.offset + 8, box.offset + box.size, "traf", trafs);
            for (const auto& traf : trafs) {
                std::vector<test_support::WalkedBox> parts;
                findBoxes(bytes, traf.offset + 8, traf.offset + traf.size, "tfhd", parts);
                const std::uint64_t track = bigEndian(bytes, parts.at(0).offset + 12, 4);
                std::vector<test_support::WalkedBox> runs;
                findBoxes(bytes, traf.offset + 8, traf.offset + traf.size, "trun", runs);
                for (const auto& run : runs) {
                    fragment.samples[track] += bigEndian(bytes, run.offset + 12, 4);
                }
            }
            fragments.push_back(fragment);
        }
        if (!fragments.empty() && fragments.back().end == 0 && box.type == "mdat") {
            fragments.back().end = box.offset + box.size;
        }
    }
    return fragments;
}

// The finisher writes the major brand too when it names fragments.
std::uint64_t brandBytes(const std::vector<std::uint8_t>& bytes)
{
    const std::string brand(bytes.begin() + 8, bytes.begin() + 12);
    return brand == "dash" || brand == "iso6" || brand == "msdh" ? 4 : 0;
}

class FinishedFlavour : public ::testing::TestWithParam<Flavour> {
protected:
    void SetUp() override
    {
        if (!Workshop::instance().hasFfmpeg()) {
            GTEST_SKIP() << "ffmpeg with libx264, and ffprobe, are not installed: the fixtures "
                            "cannot be made";
        }
        fragmented = GetParam().make();
        // ffmpeg reads a trun without data offset at its traf's base rather than after the previous
        // run, so the split file's own packets are not a reference; the file it came from is.
        reference = GetParam().name == std::string("SplitRuns") ? defaultBaseMoof() : fragmented;
        ASSERT_FALSE(fragmented.empty()) << "the fixture could not be made";
        referencePath = Workshop::instance().folder() / (std::string(GetParam().name) + ".mp4");
        mp4_fixtures::writeBytes(referencePath, reference);
    }

    std::filesystem::path save(const std::string& suffix,
                               const std::vector<std::uint8_t>& bytes) const
    {
        const auto path =
            Workshop::instance().folder() / (std::string(GetParam().name) + suffix + ".mp4");
        mp4_fixtures::writeBytes(path, bytes);
        return path;
    }

    std::vector<std::uint8_t> fragmented;
    std::vector<std::uint8_t> reference;
    std::filesystem::path referencePath; // the reference, whose packets a finished file must have
};

TEST_P(FinishedFlavour, IsAnOrdinaryMp4WithTheSamePacketsAndFrames)
{
    MemoryMp4File file(fragmented);
    const FinishReport report = finishFragmentedMp4(file);
    ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
    EXPECT_EQ(test_support::ordinaryMp4Fault(file.bytes), "");

    const auto finishedPath = save("-finished", file.bytes);
    const auto before = mp4_fixtures::packets(referencePath);
    const auto after = mp4_fixtures::packets(finishedPath);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(after, before);
    ASSERT_EQ(report.samplesPerTrack.size(), 2u);
    EXPECT_EQ(report.samplesPerTrack[0], before.at(0).size());
    EXPECT_EQ(report.samplesPerTrack[1], before.at(1).size());
    const auto frames = mp4_fixtures::videoFrames(referencePath);
    EXPECT_EQ(frames.size(), 120u);
    EXPECT_EQ(mp4_fixtures::videoFrames(finishedPath), frames);
    EXPECT_EQ(mp4_fixtures::decodeErrors(finishedPath), "");
}

TEST_P(FinishedFlavour, NeverReadsSampleDataAndWritesOnlyTheMoovAndOneHeader)
{
    MemoryMp4File file(fragmented);
    const FinishReport report = finishFragmentedMp4(file);
    ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
    const auto finished = walkBoxes(file.bytes, 0, file.bytes.size());
    ASSERT_TRUE(finished);
    EXPECT_EQ(report.bytesWritten, finished->back().size + 8 + brandBytes(fragmented));
    const auto boxes = walkBoxes(fragmented, 0, fragmented.size())
                           .value_or(std::vector<test_support::WalkedBox>{});
    std::uint64_t read = 0;
    for (const auto& range : file.reads) {
        read += range.end - range.begin;
        for (const auto& box : boxes) {
            if (box.type == "mdat") {
                EXPECT_TRUE(range.end <= box.offset + box.headerSize ||
                            range.begin >= box.offset + box.size)
                    << "read " << range.begin << ".." << range.end << " in the data at "
                    << box.offset;
            }
        }
    }
    EXPECT_EQ(report.bytesRead, read);
    EXPECT_LT(report.bytesRead, fragmented.size() / 20);
}

TEST_P(FinishedFlavour, FinishedAgainIsLeftAlone)
{
    MemoryMp4File file(fragmented);
    ASSERT_EQ(finishFragmentedMp4(file).result, FinishResult::Completed);
    const auto finished = file.bytes;
    const FinishReport again = finishFragmentedMp4(file);
    EXPECT_EQ(again.result, FinishResult::AlreadyOrdinary);
    EXPECT_EQ(again.bytesWritten, 0u);
    EXPECT_EQ(file.bytes, finished);
}

// A recording killed at any moment: cut at each fragment's start, inside its moof, inside its
// data, and inside the index at the end of the file.
TEST_P(FinishedFlavour, CutAnywhereKeepsEveryWholeFragment)
{
    const auto fragments = fragmentsOf(fragmented);
    ASSERT_GE(fragments.size(), 4u);
    const auto all = mp4_fixtures::packets(referencePath);
    std::vector<std::uint64_t> cuts;
    for (const auto& fragment : fragments) {
        cuts.push_back(fragment.begin);
        cuts.push_back(fragment.begin + 20);
        cuts.push_back(fragment.end - 1);
    }
    cuts.push_back(fragments.back().end + 9);
    for (const std::uint64_t cut : cuts) {
        if (cut > fragmented.size()) {
            continue;
        }
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::vector<std::uint8_t> bytes(fragmented.begin(),
                                        fragmented.begin() + static_cast<std::ptrdiff_t>(cut));
        std::map<std::uint64_t, std::uint64_t> kept;
        for (const auto& fragment : fragments) {
            for (const auto& [track, count] : fragment.samples) {
                kept[track] += fragment.end <= cut ? count : 0;
            }
        }
        MemoryMp4File file(bytes);
        const FinishReport report = finishFragmentedMp4(file);
        if (kept[1] + kept[2] == 0) {
            EXPECT_EQ(report.result, FinishResult::NoWholeFragment);
            EXPECT_EQ(file.bytes, bytes);
            continue;
        }
        ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
        EXPECT_EQ(test_support::ordinaryMp4Fault(file.bytes), "");
        const auto path = save("-cut", file.bytes);
        const auto packets = mp4_fixtures::packets(path);
        for (int stream = 0; stream < 2; ++stream) {
            const auto expected = std::vector<std::string>(
                all.at(stream).begin(),
                all.at(stream).begin() + static_cast<std::ptrdiff_t>(kept[stream + 1]));
            EXPECT_EQ(packets.count(stream) ? packets.at(stream) : std::vector<std::string>{},
                      expected)
                << "stream " << stream;
        }
        EXPECT_EQ(mp4_fixtures::decodeErrors(path), "");
    }
}

// The finisher stopped after some bytes of its writes (a crash, a full disk) and run again on
// what it left: the result is the same file as an uninterrupted run makes.
TEST_P(FinishedFlavour, InterruptedCompletionIsResumedToTheSameFile)
{
    MemoryMp4File clean(fragmented);
    ASSERT_EQ(finishFragmentedMp4(clean).result, FinishResult::Completed);
    const auto top = walkBoxes(clean.bytes, 0, clean.bytes.size());
    const std::uint64_t moovSize = top->back().size;
    for (const std::uint64_t budget : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{7},
                                       moovSize / 2, moovSize - 1, moovSize}) {
        SCOPED_TRACE("writes stopped after " + std::to_string(budget) + " bytes");
        MemoryMp4File interrupted(fragmented);
        interrupted.writeBudget = budget;
        EXPECT_EQ(finishFragmentedMp4(interrupted).result, FinishResult::IoError);
        MemoryMp4File resumed(interrupted.bytes);
        const FinishReport report = finishFragmentedMp4(resumed);
        ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
        EXPECT_EQ(resumed.bytes, clean.bytes);
        if (budget == moovSize) {
            EXPECT_EQ(report.bytesWritten, 8u + brandBytes(fragmented))
                << "a complete moov is not written again";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Mp4Finisher, FinishedFlavour, ::testing::ValuesIn(Flavours),
                         [](const ::testing::TestParamInfo<Flavour>& flavour) {
                             return std::string(flavour.param.name);
                         });

} // namespace
