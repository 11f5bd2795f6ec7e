#include "recording/mp4/interrupted_recordings.h"
#include "recording/mp4/mp4_completion.h"
#include "recording/mp4/windows_mp4_file.h"
#include "recording/panel/video_file_name.h"
#include "support/file_bytes.h"
#include "support/fragmented_mp4.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempFolder;
using test_support::topLevelBoxes;
using test_support::writeFileBytes;
using ::testing::ElementsAre;

namespace {

constexpr wchar_t RecordingName[] = L"Video_2026-12-09_05-00-00_000.mp4";

// Another program's handle on the file that lets others read but not write, as a player or
// an unfinished copy may hold it.
class ReadingHolder {
public:
    explicit ReadingHolder(const std::wstring& path)
        : handle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr))
    {}
    ~ReadingHolder()
    {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
    ReadingHolder(const ReadingHolder&) = delete;
    ReadingHolder& operator=(const ReadingHolder&) = delete;
    bool holds() const noexcept { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

bool isRecording(std::wstring_view name)
{
    return isVideoFileName(name);
}

} // namespace

TEST(WindowsMp4File, ReadsWritesTruncatesAndFlushesAtAnyOffset)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"a.mp4");
    ASSERT_TRUE(writeFileBytes(path, Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    WindowsMp4File::OpenError error = WindowsMp4File::OpenError::InUse;
    {
        WindowsMp4File file = WindowsMp4File::open(path, &error);
        ASSERT_TRUE(file.isOpen());
        EXPECT_EQ(file.size(), 8u);
        std::array<std::uint8_t, 3> part{};
        ASSERT_TRUE(file.read(5, part));
        EXPECT_THAT(part, ElementsAre(6, 7, 8));
        EXPECT_FALSE(file.read(6, part)) << "a short read is an error";
        const std::array<std::uint8_t, 2> more{9, 10};
        ASSERT_TRUE(file.write(8, more));
        ASSERT_TRUE(file.write(0, more));
        EXPECT_EQ(file.size(), 10u);
        ASSERT_TRUE(file.truncate(9));
        EXPECT_TRUE(file.flush());
        EXPECT_EQ(file.size(), 9u);
        // Others may read meanwhile.
        EXPECT_EQ(readFileBytes(path), (Bytes{9, 10, 3, 4, 5, 6, 7, 8, 9}));
    }
    EXPECT_EQ(readFileBytes(path), (Bytes{9, 10, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(WindowsMp4File, MissingFileIsNotInUse)
{
    TempFolder folder;
    WindowsMp4File::OpenError error = WindowsMp4File::OpenError::InUse;
    const WindowsMp4File file = WindowsMp4File::open(folder.file(L"none.mp4"), &error);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(error, WindowsMp4File::OpenError::Other);
}

TEST(Mp4Completion, FragmentedFileBecomesAnOrdinaryOneInPlace)
{
    TempFolder folder;
    const std::wstring path = folder.file(RecordingName);
    const Bytes fragmented = test_support::fragmentedMp4(3, 30);
    ASSERT_TRUE(writeFileBytes(path, fragmented));
    ASSERT_THAT(topLevelBoxes(fragmented),
                ElementsAre("ftyp", "moov", "moof", "mdat", "moof", "mdat", "moof", "mdat"));

    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::Completed);
    const Bytes completed = readFileBytes(path);
    EXPECT_THAT(topLevelBoxes(completed), ElementsAre("ftyp", "mdat", "moov"));
    const test_support::TopLevelBox moov = test_support::topLevelBoxList(completed).back();
    EXPECT_FALSE(test_support::mentions(completed, moov.offset, moov.offset + moov.size, "mvex"));
    EXPECT_GT(completed.size(), fragmented.size());
    // The fragments' bytes stay where they were, inside the one mdat.
    EXPECT_TRUE(std::equal(fragmented.begin() + 64, fragmented.end(), completed.begin() + 64));

    // A second run finds nothing to do and changes nothing.
    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::AlreadyOrdinary);
    EXPECT_EQ(readFileBytes(path), completed);
}

TEST(Mp4Completion, PartlyWrittenLastFragmentIsCutOff)
{
    TempFolder folder;
    const std::wstring path = folder.file(RecordingName);
    Bytes cut = test_support::fragmentedMp4(3, 30);
    cut.resize(cut.size() - 100); // the process ended inside the last fragment's data
    ASSERT_TRUE(writeFileBytes(path, cut));
    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::Completed);
    EXPECT_THAT(topLevelBoxes(readFileBytes(path)), ElementsAre("ftyp", "mdat", "moov"));
}

TEST(Mp4Completion, FileThatIsNoMp4IsLeftByteForByte)
{
    TempFolder folder;
    const std::wstring path = folder.file(RecordingName);
    const Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'M', 'P', '4', '\n'};
    ASSERT_TRUE(writeFileBytes(path, text));
    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::LeftAsItIs);
    EXPECT_EQ(readFileBytes(path), text);

    // Only the header and the first moov survived: no whole fragment to keep.
    const Bytes headerOnly = test_support::fragmentedMp4(0, 0);
    ASSERT_TRUE(writeFileBytes(path, headerOnly));
    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::LeftAsItIs);
    EXPECT_EQ(readFileBytes(path), headerOnly);
}

TEST(Mp4Completion, FileHeldWithoutSharedWritingIsSkippedUnchanged)
{
    TempFolder folder;
    const std::wstring path = folder.file(RecordingName);
    const Bytes fragmented = test_support::fragmentedMp4(2, 30);
    ASSERT_TRUE(writeFileBytes(path, fragmented));
    {
        const ReadingHolder holder(path);
        ASSERT_TRUE(holder.holds());
        EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::InUse);
        EXPECT_EQ(readFileBytes(path), fragmented);
    }
    EXPECT_EQ(completeMp4InPlace(path), Mp4Completion::Completed);
}

TEST(Mp4Completion, MissingFileFails)
{
    TempFolder folder;
    EXPECT_EQ(completeMp4InPlace(folder.file(RecordingName)), Mp4Completion::Failed);
}

TEST(InterruptedRecordings, OnlyTheRecordingsThatCanBeCompletedAreAndNamed)
{
    TempFolder folder;
    const Bytes fragmented = test_support::fragmentedMp4(2, 30);
    const Bytes noMp4 = {'x', 'y', 'z'};
    const std::wstring held = L"Video_2026-12-09_05-00-02_000.mp4";
    ASSERT_TRUE(writeFileBytes(folder.file(RecordingName), fragmented));
    ASSERT_TRUE(writeFileBytes(folder.file(L"Video_2026-12-09_05-00-01_000.mp4"), noMp4));
    ASSERT_TRUE(writeFileBytes(folder.file(held), fragmented));
    ASSERT_TRUE(writeFileBytes(folder.file(L"holiday.mp4"), fragmented));
    const std::wstring subfolder = folder.file(L"Video_2026-12-09_05-00-03_000.mp4");
    ASSERT_TRUE(::CreateDirectoryW(subfolder.c_str(), nullptr));
    const ReadingHolder holder(folder.file(held));
    ASSERT_TRUE(holder.holds());

    const std::atomic<bool> stop{false};
    const std::vector<std::wstring> completed =
        completeInterruptedRecordings(folder.path(), isRecording, stop);
    ::RemoveDirectoryW(subfolder.c_str());

    EXPECT_THAT(completed, ElementsAre(RecordingName));
    EXPECT_THAT(topLevelBoxes(readFileBytes(folder.file(RecordingName))),
                ElementsAre("ftyp", "mdat", "moov"));
    EXPECT_EQ(readFileBytes(folder.file(L"Video_2026-12-09_05-00-01_000.mp4")), noMp4);
    EXPECT_EQ(readFileBytes(folder.file(held)), fragmented);
    EXPECT_EQ(readFileBytes(folder.file(L"holiday.mp4")), fragmented) << "not a recording's name";
}

TEST(InterruptedRecordings, StopBeforeTheFirstFileCompletesNothing)
{
    TempFolder folder;
    const Bytes fragmented = test_support::fragmentedMp4(2, 30);
    ASSERT_TRUE(writeFileBytes(folder.file(RecordingName), fragmented));
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(completeInterruptedRecordings(folder.path(), isRecording, stop).empty());
    EXPECT_EQ(readFileBytes(folder.file(RecordingName)), fragmented);
}

TEST(InterruptedRecordings, MissingFolderHasNothingToComplete)
{
    TempFolder folder;
    const std::atomic<bool> stop{false};
    EXPECT_TRUE(completeInterruptedRecordings(folder.file(L"Kestrova"), isRecording, stop).empty());
}
