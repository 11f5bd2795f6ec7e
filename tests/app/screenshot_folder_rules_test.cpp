#include "app/screenshot_folder_rules.h"
#include "common/folder_rule.h"

#include <gtest/gtest.h>

TEST(ScreenshotsFolder, IsThePicturesFolderWithScreenshotsAppended)
{
    EXPECT_EQ(screenshotsFolderIn(L"C:\\Users\\ala\\Pictures"),
              L"C:\\Users\\ala\\Pictures\\Screenshots");
    EXPECT_EQ(screenshotsFolderIn(L"D:\\Obrazy"), L"D:\\Obrazy\\Screenshots");
}

TEST(ScreenshotsFolder, AddsExactlyTwelveCharacters)
{
    const std::wstring pictures(247, L'p');
    EXPECT_EQ(screenshotsFolderIn(pictures).size(), pictures.size() + 12);
}

// The rule both the screenshots folder and the videos folder follow.
TEST(WritableFolder, CreatedOrAlreadyThereAsAFolderIsUsable)
{
    EXPECT_TRUE(folderUsable(true, 0, true));
    EXPECT_TRUE(folderUsable(false, 183, true)); // ERROR_ALREADY_EXISTS, a folder
}

TEST(WritableFolder, AFileWhereTheFolderShouldBeIsNotUsable)
{
    EXPECT_FALSE(folderUsable(false, 183, false)); // ERROR_ALREADY_EXISTS, a file
}

TEST(WritableFolder, OtherFailuresAreNotUsable)
{
    EXPECT_FALSE(folderUsable(false, 3, true));  // ERROR_PATH_NOT_FOUND
    EXPECT_FALSE(folderUsable(false, 5, true));  // ERROR_ACCESS_DENIED
    EXPECT_FALSE(folderUsable(false, 21, true)); // ERROR_NOT_READY
    EXPECT_FALSE(folderUsable(false, 0, true));
}
