#include "app/screenshot_folder_rules.h"

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

TEST(ScreenshotsFolder, CreatedOrAlreadyThereIsUsable)
{
    EXPECT_TRUE(screenshotsFolderUsable(true, 0));
    EXPECT_TRUE(screenshotsFolderUsable(false, 183)); // ERROR_ALREADY_EXISTS, folder or file
}

TEST(ScreenshotsFolder, OtherFailuresAreNotUsable)
{
    EXPECT_FALSE(screenshotsFolderUsable(false, 3));  // ERROR_PATH_NOT_FOUND
    EXPECT_FALSE(screenshotsFolderUsable(false, 5));  // ERROR_ACCESS_DENIED
    EXPECT_FALSE(screenshotsFolderUsable(false, 21)); // ERROR_NOT_READY
    EXPECT_FALSE(screenshotsFolderUsable(false, 0));
}
