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

} // namespace
