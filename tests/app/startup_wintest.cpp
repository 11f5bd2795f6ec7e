#include "app/main_window.h"
#include "screenshot/screenshot_folder.h"
#include "app/screenshot_folder_setup.h"
#include "resources/resource_ids.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

namespace {

std::wstring picturesFolder()
{
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, 0, path)));
    return path;
}

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

TEST(ScreenshotFolderSetup, MakesScreenshotsInsidePictures)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    EXPECT_EQ(ScreenshotFolderPath, picturesFolder() + L"\\Screenshots");
    EXPECT_TRUE(isDirectory(ScreenshotFolderPath));
}

TEST(ScreenshotFolderSetup, ExistingFolderCountsAsSuccess)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    ASSERT_TRUE(prepareScreenshotFolder());
    EXPECT_EQ(ScreenshotFolderPath, picturesFolder() + L"\\Screenshots");
}

TEST(AppResources, IconGroupHasTheTenSizes)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(bytes, nullptr);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries.
    const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
    ASSERT_EQ(count, 10);
    const int expected[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
    for (int i = 0; i < 10; ++i) {
        const BYTE* entry = bytes + 6 + 14 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const WORD bitCount = *reinterpret_cast<const WORD*>(entry + 6);
        EXPECT_EQ(width, expected[i]) << i;
        EXPECT_EQ(bitCount, 32) << i;
    }
    EXPECT_NE(::LoadIconW(module, MAKEINTRESOURCEW(IDI_APP)), nullptr);
}

TEST(MainWindowCommands, CommandsWithoutAnOperationDoNothingAndReturnZero)
{
    // The window handle is not used for these: nothing is created and nothing runs.
    for (WPARAM command : {static_cast<WPARAM>(1004), static_cast<WPARAM>(1005), static_cast<WPARAM>(1000),
                           static_cast<WPARAM>(1007), static_cast<WPARAM>(0)}) {
        EXPECT_EQ(MainWndProc(nullptr, WM_HOTKEY, command, 0), 0) << command;
    }
    EXPECT_EQ(::FindWindowW(MainWindowClassName, nullptr), nullptr);
}
