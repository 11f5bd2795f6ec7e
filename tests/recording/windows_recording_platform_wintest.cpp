#include "recording/engine/windows_recording_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

TEST(WindowsRecordingPlatform, FreeSpaceIsReadForAFileThatDoesNotExistYet)
{
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"orlimo_free_space_probe.mp4";
    ::DeleteFileW(path.c_str());
    ASSERT_EQ(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    WindowsRecordingPlatform platform;
    const std::optional<std::uint64_t> free = platform.freeDiskSpace(path);
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
}

TEST(WindowsRecordingPlatform, FreeSpaceOfAMissingFolderIsUnknown)
{
    WindowsRecordingPlatform platform;
    EXPECT_FALSE(platform.freeDiskSpace(L"C:\\orlimo-no-such-folder-1b7e\\Video.mp4").has_value());
    EXPECT_FALSE(platform.freeDiskSpace(L"Video.mp4").has_value());
}
