#include "blocked_video_subfolder.h"
#include "recording/panel/video_path.h"
#include "support/temp_folder.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

using test_support::directoryExists;
using test_support::hasNameShape;

namespace {

std::wstring videosFolder()
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

TEST(VideoPathMaking, CreatesTheSubfolderAndNamesTheFileInIt)
{
    if (videoSubfolderHoldsUserFiles()) {
        GTEST_SKIP() << "Videos\\Kestrova holds the user's files, which the test leaves alone";
    }
    const std::wstring folder = videosFolder() + L"\\Kestrova";
    RemoveDirectoryW(folder.c_str());
    ASSERT_FALSE(directoryExists(folder));

    const std::wstring path = makeVideoPath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(directoryExists(folder));
    ASSERT_EQ(path.rfind(folder + L"\\", 0), 0u) << path;
    const std::wstring name = path.substr(folder.size() + 1);
    EXPECT_TRUE(hasNameShape(name, L"Video_9999-99-99_99-99-99_999.mp4")) << name;
    // Only the folder is made; the file belongs to the MP4 writer.
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(VideoPathMaking, WorksWhenTheSubfolderExists)
{
    ASSERT_FALSE(makeVideoPath().empty());
    const std::wstring again = makeVideoPath();
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(directoryExists(videosFolder() + L"\\Kestrova"));
}

TEST(VideoPathMaking, NameFollowsTheLocalTime)
{
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const std::wstring path = makeVideoPath();
    ASSERT_GE(path.size(), 33u);
    const std::wstring name = path.substr(path.size() - 33);
    wchar_t expectedDate[16] = {};
    swprintf_s(expectedDate, L"%04u-%02u-%02u", before.wYear, before.wMonth, before.wDay);
    // Right at midnight the date may have moved on between the two readings.
    SYSTEMTIME after{};
    GetLocalTime(&after);
    if (after.wDay == before.wDay) {
        EXPECT_EQ(name.substr(6, 10), expectedDate) << name;
    }
}

TEST(VideoPathMaking, SubfolderThatCannotBeMadeGivesNoPath)
{
    if (videoSubfolderHoldsUserFiles()) {
        GTEST_SKIP() << "Videos\\Kestrova holds the user's files, which the test leaves alone";
    }
    BlockedVideoSubfolder blocked;
    ASSERT_TRUE(blocked.blocking());
    EXPECT_EQ(makeVideoPath(), L"");
}

TEST(VideoPathMaking, WorksAgainOnceTheSubfolderCanBeMade)
{
    if (videoSubfolderHoldsUserFiles()) {
        GTEST_SKIP() << "Videos\\Kestrova holds the user's files, which the test leaves alone";
    }
    {
        BlockedVideoSubfolder blocked;
        ASSERT_TRUE(blocked.blocking());
        EXPECT_TRUE(makeVideoPath().empty());
    }
    EXPECT_FALSE(makeVideoPath().empty());
}

} // namespace
