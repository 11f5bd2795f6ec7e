#include "recording/panel/recording_area.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

PixelRect sized(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    return {left, top, left + width, top + height};
}

TEST(RecordingArea, OddSizesAreRoundedDownKeepingLeftAndTop)
{
    const AreaCheck check = checkRecordingArea(sized(100, 200, 641, 481));
    ASSERT_EQ(check.verdict, AreaVerdict::Accept);
    EXPECT_EQ(check.region, sized(100, 200, 640, 480));
}

TEST(RecordingArea, EvenSizesAreKept)
{
    const AreaCheck check = checkRecordingArea(sized(-1280, -40, 1280, 720));
    ASSERT_EQ(check.verdict, AreaVerdict::Accept);
    EXPECT_EQ(check.region, sized(-1280, -40, 1280, 720));
}

TEST(RecordingArea, SmallestAreaIsAcceptedAfterRounding)
{
    const AreaCheck seventeen = checkRecordingArea(sized(0, 0, 17, 17));
    ASSERT_EQ(seventeen.verdict, AreaVerdict::Accept);
    EXPECT_EQ(seventeen.region, sized(0, 0, 16, 16));

    EXPECT_EQ(checkRecordingArea(sized(5, 5, 16, 16)).verdict, AreaVerdict::Accept);
}

TEST(RecordingArea, BelowSixteenIsRefused)
{
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 16, 15)).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 15, 16)).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 2, 2)).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 14, 3000)).verdict, AreaVerdict::Refuse);
}

TEST(RecordingArea, LargestAreaIsAcceptedAfterRounding)
{
    const AreaCheck check = checkRecordingArea(sized(-100, 0, 3841, 2161));
    ASSERT_EQ(check.verdict, AreaVerdict::Accept);
    EXPECT_EQ(check.region, sized(-100, 0, 3840, 2160));
}

TEST(RecordingArea, AboveTheLargestIsRefused)
{
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 3842, 2160)).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 3840, 2162)).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea(sized(0, 0, 2160, 3840)).verdict, AreaVerdict::Refuse);
}

TEST(RecordingArea, CancelledOrOnePixelSelectionsAreIgnored)
{
    EXPECT_EQ(checkRecordingArea({}).verdict, AreaVerdict::Ignore);
    EXPECT_EQ(checkRecordingArea(sized(300, 300, 0, 0)).verdict, AreaVerdict::Ignore);
    EXPECT_EQ(checkRecordingArea(sized(300, 300, 1, 400)).verdict, AreaVerdict::Ignore);
    EXPECT_EQ(checkRecordingArea(sized(300, 300, 400, 1)).verdict, AreaVerdict::Ignore);
}

TEST(RecordingArea, ReversedRectanglesAreIgnored)
{
    EXPECT_EQ(checkRecordingArea({500, 500, 100, 900}).verdict, AreaVerdict::Ignore);
    EXPECT_EQ(checkRecordingArea({100, 900, 500, 500}).verdict, AreaVerdict::Ignore);
}

TEST(RecordingArea, ExtremeCoordinatesDoNotOverflow)
{
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(checkRecordingArea({lowest, lowest, highest, highest}).verdict, AreaVerdict::Refuse);
    EXPECT_EQ(checkRecordingArea({highest, highest, lowest, lowest}).verdict, AreaVerdict::Ignore);

    const AreaCheck nearEdge = checkRecordingArea({highest - 33, highest - 17, highest, highest});
    ASSERT_EQ(nearEdge.verdict, AreaVerdict::Accept);
    EXPECT_EQ(nearEdge.region, (PixelRect{highest - 33, highest - 17, highest - 1, highest - 1}));
}

} // namespace
