#include "support/e2e_driver.h"
#include "support/file_bytes.h"
#include "support/fragmented_mp4.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace test_support::e2e;
using test_support::Bytes;
using test_support::readFileBytes;
using test_support::topLevelBoxes;
using test_support::writeFileBytes;

// A recording that an abrupt end left fragmented in Videos\Kestrova is completed when the program
// starts; a file of a recording's name that is no MP4 stays as it was. (The balloon that names
// the file is checked in-process: Wine's tray shows it to no other program.)
TEST(RecoveryE2e, FragmentedRecordingIsCompletedAtTheStartAndOtherFilesAreLeft)
{
    const std::wstring folder = videosFolder() + L"\\Kestrova";
    ::CreateDirectoryW(videosFolder().c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring fragmentedPath = folder + L"\\Video_2026-12-09_05-30-00_000.mp4";
    const std::wstring textPath = folder + L"\\Video_2026-12-09_05-30-01_000.mp4";
    const Bytes fragmented = test_support::fragmentedMp4(3, 30);
    const Bytes text = {'n', 'o', ' ', 'M', 'P', '4'};
    ASSERT_TRUE(writeFileBytes(fragmentedPath, fragmented));
    ASSERT_TRUE(writeFileBytes(textPath, text));

    OrlimoProcess program = OrlimoProcess::start();
    ASSERT_TRUE(program.started());
    HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_TRUE(pumpUntil([&] {
        return topLevelBoxes(readFileBytes(fragmentedPath)) ==
               std::vector<std::string>{"ftyp", "mdat", "moov"};
    })) << "the fragmented recording was not completed";
    ASSERT_TRUE(::PostMessageW(mainWindow, WM_CLOSE, 0, 0));
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));

    EXPECT_EQ(readFileBytes(textPath), text);
    ::DeleteFileW(fragmentedPath.c_str());
    ::DeleteFileW(textPath.c_str());
}
