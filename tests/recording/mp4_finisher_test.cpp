// The finisher's decisions on whole files: what it refuses and leaves untouched, what it rewrites
// in the file type, and a made-up recording past 4 GiB held sparsely.
#include "mp4_fixtures.h"
#include "recording/mp4/mp4_finisher.h"
#include "support/memory_mp4_file.h"
#include "support/mp4_box_walker.h"
#include "support/sparse_mp4_file.h"
#include "support/synthetic_fragmented_mp4.h"

#include <gtest/gtest.h>

namespace {

using mp4_fixtures::Workshop;
using test_support::bigEndian;
using test_support::findBoxes;
using test_support::MemoryMp4File;
using test_support::SparseMp4File;
using test_support::walkBoxes;

FinishReport finishUnchanged(const std::vector<std::uint8_t>& bytes, FinishResult expected)
{
    MemoryMp4File file(bytes);
    const FinishReport report = finishFragmentedMp4(file);
    EXPECT_EQ(report.result, expected) << report.reason;
    EXPECT_EQ(file.bytes, bytes) << "a refused file is changed";
    EXPECT_EQ(file.writes, 0);
    EXPECT_EQ(report.bytesWritten, 0u);
    if (expected != FinishResult::AlreadyOrdinary) {
        EXPECT_FALSE(report.reason.empty());
    }
    return report;
}

std::vector<std::uint8_t> syntheticRecording(std::uint32_t fragments)
{
    test_support::SyntheticRecordingShape shape;
    shape.fragments = fragments;
    shape.videoBytesPerFrame = 100;
    shape.audioBytesPerFrame = 10;
    std::vector<std::uint8_t> bytes;
    const auto size = test_support::writeSyntheticRecording(
        shape, [&](std::uint64_t at, std::span<const std::uint8_t> box) {
            bytes.resize(static_cast<std::size_t>(at));
            bytes.insert(bytes.end(), box.begin(), box.end());
        });
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

TEST(Mp4Finisher, RefusesFilesThatAreNotMp4)
{
    finishUnchanged({}, FinishResult::NotMp4);
    const std::string text =
        "This is a text file, not a video. It is long enough to hold a box header.";
    finishUnchanged({text.begin(), text.end()}, FinishResult::NotMp4);
    auto noFileType = syntheticRecording(2);
    std::copy_n("free", 4, noFileType.begin() + 4);
    finishUnchanged(noFileType, FinishResult::NotMp4);
    const auto recording = syntheticRecording(2);
    finishUnchanged({recording.begin(), recording.begin() + 20}, FinishResult::NotMp4);
}

TEST(Mp4Finisher, RefusesAFileWithoutWholeFragment)
{
    const auto whole = syntheticRecording(2);
    const auto top = walkBoxes(whole, 0, whole.size());
    ASSERT_TRUE(top);
    const std::uint64_t firstMoof = (*top)[2].offset;
    for (const std::uint64_t cut :
         {(*top)[1].offset + 100, firstMoof, firstMoof + 30, firstMoof + 300}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        finishUnchanged({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)},
                        FinishResult::NoWholeFragment);
    }
}

TEST(Mp4Finisher, RefusesAnAvcConfigurationWithoutParameterSets)
{
    auto bytes = syntheticRecording(2);
    const auto avcC = findBoxes(bytes, "avcC");
    ASSERT_TRUE(avcC.empty()) << "avcC is inside the stsd, which the walker does not enter";
    const std::string name = "avcC";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    at[4 + 5] = 0xE0; // no SPS
    const auto report = finishUnchanged(bytes, FinishResult::Unsupported);
    EXPECT_NE(report.reason.find("SPS"), std::string::npos);
}

TEST(Mp4Finisher, RefusesAFragmentOfATrackTheMoovLacks)
{
    auto bytes = syntheticRecording(3);
    const auto tfhd = findBoxes(bytes, "tfhd");
    ASSERT_EQ(tfhd.size(), 6u);
    bytes[tfhd[3].offset + 15] = 9;
    finishUnchanged(bytes, FinishResult::Unsupported);
}

TEST(Mp4Finisher, RefusesAFirstMoovThatAlreadyListsSamples)
{
    auto bytes = syntheticRecording(2);
    const auto stsz = findBoxes(bytes, "stsz");
    ASSERT_EQ(stsz.size(), 2u);
    bytes[stsz[0].offset + 19] = 1;
    finishUnchanged(bytes, FinishResult::Unsupported);
}

TEST(Mp4Finisher, RefusesAFragmentWhoseDataLiesOutsideEveryMdat)
{
    auto bytes = syntheticRecording(3);
    const auto trun = findBoxes(bytes, "trun");
    bytes[trun[0].offset + 16] = 0x40; // the first fragment's video data offset, far into the file
    finishUnchanged(bytes, FinishResult::NotMp4);
}

// Found by the fuzz target: an mfra ahead of the moov stayed at the top of the finished file.
TEST(Mp4Finisher, RefusesFragmentBoxesAheadOfTheMoov)
{
    const auto recording = syntheticRecording(2);
    const auto top = walkBoxes(recording, 0, recording.size());
    ASSERT_TRUE(top);
    const auto ftypEnd = static_cast<std::ptrdiff_t>((*top)[0].size);
    for (const char* type : {"mfra", "moof"}) {
        SCOPED_TRACE(type);
        std::vector<std::uint8_t> bytes(recording.begin(), recording.begin() + ftypEnd);
        const std::uint8_t box[] = {0,
                                    0,
                                    0,
                                    8,
                                    static_cast<std::uint8_t>(type[0]),
                                    static_cast<std::uint8_t>(type[1]),
                                    static_cast<std::uint8_t>(type[2]),
                                    static_cast<std::uint8_t>(type[3])};
        bytes.insert(bytes.end(), std::begin(box), std::end(box));
        bytes.insert(bytes.end(), recording.begin() + ftypEnd, recording.end());
        finishUnchanged(bytes, FinishResult::NotMp4);
    }
}

// Found by the fuzz target: a box inside the moov with a size of 0 ("to the end of the file",
// which only a file's last box may say) was copied as it was and swallowed the boxes after it.
TEST(Mp4Finisher, RefusesASizeOfZeroInsideTheMoov)
{
    auto bytes = syntheticRecording(2);
    const std::string name = "stsd";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    std::fill(at - 4, at, std::uint8_t{0});
    finishUnchanged(bytes, FinishResult::NotMp4);
}

TEST(Mp4Finisher, LeavesAReadFailureUnchanged)
{
    const auto bytes = syntheticRecording(2);
    MemoryMp4File file(bytes);
    file.failReads = true;
    EXPECT_EQ(finishFragmentedMp4(file).result, FinishResult::IoError);
    EXPECT_EQ(file.bytes, bytes);
}

TEST(Mp4Finisher, FlushesTheMoovBeforeTheHeaderIsRewritten)
{
    const auto bytes = syntheticRecording(2);
    MemoryMp4File file(bytes);
    file.writeBudget = 0; // nothing can be written: the flush after the moov fails too
    EXPECT_EQ(finishFragmentedMp4(file).result, FinishResult::IoError);
    EXPECT_EQ(file.bytes, bytes);
    MemoryMp4File finished(bytes);
    ASSERT_EQ(finishFragmentedMp4(finished).result, FinishResult::Completed);
    EXPECT_EQ(finished.flushes, 2);
}

TEST(Mp4Finisher, RewritesABrandThatNamesFragmentsAtTheSameSize)
{
    const auto bytes = syntheticRecording(2);
    ASSERT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "iso6");
    MemoryMp4File file(bytes);
    const auto report = finishFragmentedMp4(file);
    ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
    EXPECT_EQ(std::string(file.bytes.begin() + 8, file.bytes.begin() + 12), "isom");
    EXPECT_EQ(bigEndian(file.bytes, 0, 4), bigEndian(bytes, 0, 4));
    EXPECT_EQ(test_support::ordinaryMp4Fault(file.bytes), "");
    EXPECT_EQ(report.samplesPerTrack, (std::vector<std::uint64_t>{60, 93}));
}

TEST(Mp4Finisher, LeavesAnOrdinaryFileAlone)
{
    auto bytes = syntheticRecording(2);
    MemoryMp4File file(bytes);
    ASSERT_EQ(finishFragmentedMp4(file).result, FinishResult::Completed);
    finishUnchanged(file.bytes, FinishResult::AlreadyOrdinary);
    if (Workshop::instance().hasFfmpeg()) {
        finishUnchanged(mp4_fixtures::readBytes(Workshop::instance().source()),
                        FinishResult::AlreadyOrdinary);
    }
}

// 3 fragments of about 2.2 GB each, held sparsely: the later chunks start past 4 GiB, and the
// mdat that spans them all needs a 64-bit size.
TEST(Mp4Finisher, RecordingPastFourGiBGetsCo64AndA64BitMdatHeader)
{
    test_support::SyntheticRecordingShape shape;
    shape.fragments = 3;
    shape.extraDataPerFragment = 2'200'000'000;
    SparseMp4File file;
    const std::uint64_t size = test_support::writeSyntheticRecording(
        shape, [&](std::uint64_t at, std::span<const std::uint8_t> box) { file.write(at, box); });
    file.setSize(size);
    ASSERT_GT(size, 6'000'000'000u);
    const auto report = finishFragmentedMp4(file);
    ASSERT_EQ(report.result, FinishResult::Completed) << report.reason;
    EXPECT_LT(report.bytesRead, 100'000u);

    const auto& pieces = file.written();
    const auto& moov = pieces.rbegin()->second;
    EXPECT_EQ(pieces.rbegin()->first, size);
    EXPECT_EQ(file.size(), size + moov.size());
    EXPECT_TRUE(findBoxes(moov, "stco").empty());
    const auto co64 = findBoxes(moov, "co64");
    ASSERT_EQ(co64.size(), 2u);
    EXPECT_EQ(bigEndian(moov, co64[0].offset + 12, 4), 3u);
    EXPECT_GT(bigEndian(moov, co64[0].offset + 16 + 16, 8), 0x1'0000'0000u);

    std::vector<std::uint8_t> header(16);
    const std::uint64_t moovAt = bigEndian(pieces.begin()->second, 0, 4); // after the ftyp
    ASSERT_TRUE(file.read(moovAt, header));
    EXPECT_EQ(bigEndian(header, 0, 4), 1u);
    EXPECT_EQ(std::string(header.begin() + 4, header.begin() + 8), "mdat");
    EXPECT_EQ(bigEndian(header, 8, 8), size - moovAt);
}

} // namespace
