#include "screenshot/preview_layout.h"

#include <gtest/gtest.h>

namespace {

// Every 96-DPI expectation below goes through the scaling, which must leave it unchanged.
const PreviewGeometry At96 = previewGeometryFor(96);

} // namespace

TEST(ThumbnailSize, FullHdFitsTheWidth)
{
    const auto size = thumbnailSizeFor(1920, 1080, At96);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (ThumbnailSize{344, 193}));
    EXPECT_EQ(thumbnailOrigin(*size, At96), (PixelPoint{16, 43}));
}

TEST(ThumbnailSize, SmallPictureIsEnlargedToTheBox)
{
    EXPECT_EQ(thumbnailSizeFor(100, 50, At96), (ThumbnailSize{344, 172}));
    EXPECT_EQ(thumbnailSizeFor(1, 1, At96), (ThumbnailSize{200, 200}));
}

TEST(ThumbnailSize, TallPictureFitsTheHeight)
{
    EXPECT_EQ(thumbnailSizeFor(1080, 1920, At96), (ThumbnailSize{112, 200}));
    EXPECT_EQ(thumbnailOrigin(ThumbnailSize{112, 200}, At96), (PixelPoint{132, 40}));
}

TEST(ThumbnailSize, OnePixelWideKeepsWidthOne)
{
    EXPECT_EQ(thumbnailSizeFor(1, 10000, At96), (ThumbnailSize{1, 200}));
    EXPECT_EQ(thumbnailSizeFor(30000, 1, At96), (ThumbnailSize{344, 1}));
}

TEST(ThumbnailSize, LimitingSideAlwaysTouchesTheBox)
{
    // Widths such as 37 lose a pixel when the factor is multiplied back in floating point.
    EXPECT_EQ(thumbnailSizeFor(37, 1, At96), (ThumbnailSize{344, 9}));
    EXPECT_EQ(thumbnailSizeFor(148, 50, At96), (ThumbnailSize{344, 116}));
    for (std::int32_t width = 1; width <= 4000; ++width) {
        for (std::int32_t height : {1, 7, 200, 1080, 2160}) {
            const auto size = thumbnailSizeFor(width, height, At96);
            ASSERT_TRUE(size);
            EXPECT_TRUE(size->width == 344 || size->height == 200) << width << "x" << height;
            EXPECT_LE(size->width, 344);
            EXPECT_LE(size->height, 200);
        }
    }
}

TEST(ThumbnailSize, PictureWithoutAreaHasNoThumbnail)
{
    EXPECT_FALSE(thumbnailSizeFor(0, 100, At96));
    EXPECT_FALSE(thumbnailSizeFor(100, 0, At96));
    EXPECT_FALSE(thumbnailSizeFor(-5, 100, At96));
}

TEST(ThumbnailSize, LargestBitmapsDoNotOverflow)
{
    EXPECT_EQ(thumbnailSizeFor(2147483647, 2147483647, At96), (ThumbnailSize{200, 200}));
    EXPECT_EQ(thumbnailSizeFor(2147483647, 1, At96), (ThumbnailSize{344, 1}));
}

TEST(PreviewOrigin, SixteenPixelsInFromTheWorkAreaCorner)
{
    EXPECT_EQ(previewOrigin({0, 0, 1280, 984}, At96), (PixelPoint{888, 680}));
    // Secondary monitor left of the primary one.
    EXPECT_EQ(previewOrigin({-1920, 0, 0, 1040}, At96), (PixelPoint{-392, 736}));
}

TEST(CloseZone, CornerWithTheCloseMark)
{
    EXPECT_TRUE(isInCloseZone({338, 35}, At96));
    EXPECT_TRUE(isInCloseZone({373, 0}, At96));
    EXPECT_TRUE(isInCloseZone({350, 10}, At96));
}

TEST(CloseZone, OnePixelLeftOrBelowOpensTheFile)
{
    EXPECT_FALSE(isInCloseZone({337, 35}, At96));
    EXPECT_FALSE(isInCloseZone({338, 36}, At96));
    EXPECT_FALSE(isInCloseZone({337, 36}, At96));
    EXPECT_FALSE(isInCloseZone({100, 100}, At96));
}

TEST(PreviewGeometry, At96IsTheFixedLayout)
{
    EXPECT_EQ(At96, PreviewAt96);
    EXPECT_EQ(At96,
              (PreviewGeometry{
                  376, 288, 16, 344, 200, 40, {16, 10, 338, 35}, {350, 10}, {16, 253, 360, 280}}));
}

TEST(PreviewGeometry, EveryValueScalesWithTheDpiRoundedAsMulDivRounds)
{
    // 125 %: halves such as 12.5 and 422.5 round up.
    EXPECT_EQ(previewGeometryFor(120),
              (PreviewGeometry{
                  470, 360, 20, 430, 250, 50, {20, 13, 423, 44}, {438, 13}, {20, 316, 450, 350}}));
    EXPECT_EQ(previewGeometryFor(144),
              (PreviewGeometry{
                  564, 432, 24, 516, 300, 60, {24, 15, 507, 53}, {525, 15}, {24, 380, 540, 420}}));
    EXPECT_EQ(previewGeometryFor(192),
              (PreviewGeometry{
                  752, 576, 32, 688, 400, 80, {32, 20, 676, 70}, {700, 20}, {32, 506, 720, 560}}));
}

TEST(PreviewGeometry, ThumbnailPlaceAndCloseZoneFollowTheDpi)
{
    const PreviewGeometry at192 = previewGeometryFor(192);
    EXPECT_EQ(thumbnailSizeFor(1920, 1080, at192), (ThumbnailSize{688, 387}));
    EXPECT_EQ(thumbnailOrigin(ThumbnailSize{688, 387}, at192), (PixelPoint{32, 86}));
    EXPECT_EQ(previewOrigin({0, 0, 2560, 1400}, at192), (PixelPoint{1776, 792}));
    EXPECT_EQ(previewOrigin({0, 0, 1280, 984}, previewGeometryFor(144)), (PixelPoint{692, 528}));

    EXPECT_TRUE(isInCloseZone({676, 70}, at192));
    EXPECT_FALSE(isInCloseZone({675, 70}, at192));
    EXPECT_FALSE(isInCloseZone({676, 71}, at192));
}
