#include "screenshot/preview_layout.h"

#include <gtest/gtest.h>

TEST(ThumbnailSize, FullHdFitsTheWidth)
{
    const auto size = thumbnailSizeFor(1920, 1080);
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (ThumbnailSize{344, 193}));
    EXPECT_EQ(thumbnailOrigin(*size), (PixelPoint{16, 43}));
}

TEST(ThumbnailSize, SmallPictureIsEnlargedToTheBox)
{
    EXPECT_EQ(thumbnailSizeFor(100, 50), (ThumbnailSize{344, 172}));
    EXPECT_EQ(thumbnailSizeFor(1, 1), (ThumbnailSize{200, 200}));
}

TEST(ThumbnailSize, TallPictureFitsTheHeight)
{
    EXPECT_EQ(thumbnailSizeFor(1080, 1920), (ThumbnailSize{112, 200}));
    EXPECT_EQ(thumbnailOrigin(ThumbnailSize{112, 200}), (PixelPoint{132, 40}));
}

TEST(ThumbnailSize, OnePixelWideKeepsWidthOne)
{
    EXPECT_EQ(thumbnailSizeFor(1, 10000), (ThumbnailSize{1, 200}));
    EXPECT_EQ(thumbnailSizeFor(30000, 1), (ThumbnailSize{344, 1}));
}

TEST(ThumbnailSize, LimitingSideAlwaysTouchesTheBox)
{
    // Widths such as 37 lose a pixel when the factor is multiplied back in floating point.
    EXPECT_EQ(thumbnailSizeFor(37, 1), (ThumbnailSize{344, 9}));
    EXPECT_EQ(thumbnailSizeFor(148, 50), (ThumbnailSize{344, 116}));
    for (std::int32_t width = 1; width <= 4000; ++width) {
        for (std::int32_t height : {1, 7, 200, 1080, 2160}) {
            const auto size = thumbnailSizeFor(width, height);
            ASSERT_TRUE(size);
            EXPECT_TRUE(size->width == 344 || size->height == 200) << width << "x" << height;
            EXPECT_LE(size->width, 344);
            EXPECT_LE(size->height, 200);
        }
    }
}

TEST(ThumbnailSize, PictureWithoutAreaHasNoThumbnail)
{
    EXPECT_FALSE(thumbnailSizeFor(0, 100));
    EXPECT_FALSE(thumbnailSizeFor(100, 0));
    EXPECT_FALSE(thumbnailSizeFor(-5, 100));
}

TEST(ThumbnailSize, LargestBitmapsDoNotOverflow)
{
    EXPECT_EQ(thumbnailSizeFor(2147483647, 2147483647), (ThumbnailSize{200, 200}));
    EXPECT_EQ(thumbnailSizeFor(2147483647, 1), (ThumbnailSize{344, 1}));
}

TEST(PreviewOrigin, SixteenPixelsInFromTheWorkAreaCorner)
{
    EXPECT_EQ(previewOrigin({0, 0, 1280, 984}), (PixelPoint{888, 680}));
    // Secondary monitor left of the primary one.
    EXPECT_EQ(previewOrigin({-1920, 0, 0, 1040}), (PixelPoint{-392, 736}));
}

TEST(CloseZone, CornerWithTheCloseMark)
{
    EXPECT_TRUE(isInCloseZone({338, 35}));
    EXPECT_TRUE(isInCloseZone({373, 0}));
    EXPECT_TRUE(isInCloseZone({350, 10}));
}

TEST(CloseZone, OnePixelLeftOrBelowOpensTheFile)
{
    EXPECT_FALSE(isInCloseZone({337, 35}));
    EXPECT_FALSE(isInCloseZone({338, 36}));
    EXPECT_FALSE(isInCloseZone({337, 36}));
    EXPECT_FALSE(isInCloseZone({100, 100}));
}
