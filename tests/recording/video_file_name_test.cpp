#include "recording/panel/video_file_name.h"

#include <gtest/gtest.h>

namespace {

TEST(VideoFileName, FormatsDateTimeAndMilliseconds)
{
    EXPECT_EQ(formatVideoFileName({2024, 3, 5, 14, 7, 9, 42}),
              L"\\Video_2024-03-05_14-07-09_042.mp4");
}

TEST(VideoFileName, PadsEveryFieldBelowTen)
{
    EXPECT_EQ(formatVideoFileName({2025, 1, 2, 3, 4, 5, 6}),
              L"\\Video_2025-01-02_03-04-05_006.mp4");
    EXPECT_EQ(formatVideoFileName({987, 9, 9, 0, 0, 0, 0}), L"\\Video_0987-09-09_00-00-00_000.mp4");
}

TEST(VideoFileName, KeepsTwoAndThreeDigitFieldsAsTheyAre)
{
    EXPECT_EQ(formatVideoFileName({2026, 12, 31, 23, 59, 59, 999}),
              L"\\Video_2026-12-31_23-59-59_999.mp4");
    EXPECT_EQ(formatVideoFileName({2026, 10, 10, 10, 10, 10, 100}),
              L"\\Video_2026-10-10_10-10-10_100.mp4");
}

TEST(VideoFileNamePattern, AcceptsEveryNameTheFormatMakes)
{
    for (const LocalTime& time :
         {LocalTime{2024, 3, 5, 14, 7, 9, 42}, LocalTime{1, 1, 1, 0, 0, 0, 0},
          LocalTime{65535, 12, 31, 23, 59, 59, 999}}) {
        const std::wstring name = formatVideoFileName(time).substr(1); // without the separator
        EXPECT_TRUE(isVideoFileName(name)) << name;
    }
    EXPECT_TRUE(isVideoFileName(L"Video_2024-03-05_14-07-09_042.MP4"));
}

TEST(VideoFileNamePattern, RefusesOtherNames)
{
    for (const wchar_t* name :
         {L"", L"Video_.mp4", L"Video_2024-03-05_14-07-09_042.mp", L"Video_2024-03-05_14-07-09_042",
          L"Video_2024-03-05_14-07-09_042.mp4.part", L"video_2024-03-05_14-07-09_042.mp4",
          L"Video_202-03-05_14-07-09_042.mp4", L"Video_2024-03-05_14-07-09_42.mp4",
          L"Video_2024-03-05 14-07-09_042.mp4", L"Video_2024-0a-05_14-07-09_042.mp4",
          L"Screenshot_2024-03-05_14-07-09_042.png", L"Video_x024-03-05_14-07-09_042.mp4",
          L"My Video_2024-03-05_14-07-09_042.mp4"}) {
        EXPECT_FALSE(isVideoFileName(name)) << name;
    }
}

} // namespace
