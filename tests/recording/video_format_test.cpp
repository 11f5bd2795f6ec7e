#include "recording/core/failure_text.h"
#include "recording/core/video_format.h"
#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>

#include <climits>

TEST(VideoBitRate, FollowsTheAreaWithinItsLimits)
{
    EXPECT_EQ(videoBitRate(16, 16), 1'000'000);
    EXPECT_EQ(videoBitRate(320, 240), 1'000'000);
    EXPECT_EQ(videoBitRate(640, 480), 1'228'800);
    EXPECT_EQ(videoBitRate(1280, 720), 3'686'400);
    EXPECT_EQ(videoBitRate(1920, 1080), 8'294'400);
    EXPECT_EQ(videoBitRate(2560, 1440), 14'745'600);
    EXPECT_EQ(videoBitRate(3840, 2160), 16'000'000);
    EXPECT_EQ(videoBitRate(500, 500), 1'000'000);
    EXPECT_EQ(videoBitRate(502, 500), 1'004'000);
}

TEST(FrameSize, RoundsEachSideDownToEven)
{
    EXPECT_EQ(evenFrameSize({0, 0, 17, 17}), (FrameSize{16, 16}));
    EXPECT_EQ(evenFrameSize({10, 20, 3851, 2181}), (FrameSize{3840, 2160}));
    EXPECT_EQ(evenFrameSize({-7, -3, 9, 13}), (FrameSize{16, 16}));
    EXPECT_EQ(evenFrameSize({100, 100, 120, 101}), (FrameSize{20, 0}));
}

TEST(FrameSize, RecordableBetween16x16And3840x2160)
{
    EXPECT_TRUE(isRecordableFrameSize(evenFrameSize({0, 0, 17, 17})));
    EXPECT_TRUE(isRecordableFrameSize(evenFrameSize({0, 0, 3841, 2161})));
    EXPECT_EQ(evenFrameSize({0, 0, 3841, 2161}), (FrameSize{3840, 2160}));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({0, 0, 15, 100})));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({0, 0, 100, 15})));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({0, 0, 3842, 100})));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({0, 0, 100, 2162})));
    EXPECT_TRUE(isRecordableFrameSize({16, 2160}));
    EXPECT_TRUE(isRecordableFrameSize({3840, 16}));
}

TEST(FrameSize, ReversedOrHugeRectanglesAreRefusedNotWrapped)
{
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({100, 100, 0, 0})));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({INT_MIN, 0, INT_MAX, 100})));
    EXPECT_FALSE(isRecordableFrameSize(evenFrameSize({0, INT_MIN, 100, INT_MAX})));
}

TEST(FrameSize, Nv12FrameHoldsOneAndAHalfBytesPerPixel)
{
    EXPECT_EQ(nv12FrameBytes({16, 16}), 384u);
    EXPECT_EQ(nv12FrameBytes({3840, 2160}), 12'441'600u);
}

TEST(FailureText, StageFollowedByEightUpperCaseHexDigits)
{
    EXPECT_EQ(failureText(stageFailure(static_cast<std::int32_t>(0x80070490u),
                                       RecordingStage::NoAudioOutput)),
              L"Brak wyjscia audio (0x80070490)");
    EXPECT_EQ(failureText(
                  stageFailure(static_cast<std::int32_t>(0xC00D36B4u), RecordingStage::Mp4Create)),
              L"Utworzenie MP4 (0xC00D36B4)");
    EXPECT_EQ(failureText(stageFailure(0x1F, RecordingStage::Com)), L"COM (0x0000001F)");
    EXPECT_EQ(failureText(stageFailure(0, RecordingStage::Com)), L"COM (0x00000000)");
}
