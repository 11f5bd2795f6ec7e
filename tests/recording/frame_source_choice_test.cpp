#include "recording/video/frame_source_choice.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t Second = 10'000'000;
constexpr std::int64_t Start = 5 * Second;

PixelRect sized(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    return {left, top, left + width, top + height};
}

// A 2560x1440 monitor left of a 1920x1080 primary one, and a 1080x1920 portrait one right of it.
const std::vector<MonitorOutput> ThreeMonitors = {
    {sized(-2560, 0, 2560, 1440), false},
    {sized(0, 0, 1920, 1080), false},
    {sized(1920, 0, 1080, 1920), true},
};

TEST(FrameSourceChoice, ResultsAreClassifiedAsTheDocumentationDoes)
{
    EXPECT_EQ(classifyDuplicationResult(0), DuplicationAnswer::Done);
    EXPECT_EQ(classifyDuplicationResult(static_cast<std::int32_t>(0x887A0027u)),
              DuplicationAnswer::NoNewImage);
    EXPECT_EQ(classifyDuplicationResult(static_cast<std::int32_t>(0x887A0026u)),
              DuplicationAnswer::AccessLost);
    EXPECT_EQ(classifyDuplicationResult(static_cast<std::int32_t>(0x80070005u)),
              DuplicationAnswer::AccessDenied);
    // Unsupported, not currently available, E_INVALIDARG, E_NOTIMPL (Wine), device removed.
    for (const std::uint32_t refused :
         {0x887A0004u, 0x887A0022u, 0x80070057u, 0x80004001u, 0x887A0005u, 0x80004005u}) {
        EXPECT_EQ(classifyDuplicationResult(static_cast<std::int32_t>(refused)),
                  DuplicationAnswer::Refused)
            << std::hex << refused;
    }
}

TEST(FrameSourceChoice, TheOutputHoldingTheWholeAreaIsDuplicated)
{
    EXPECT_EQ(outputToDuplicate(sized(-2560, 0, 2560, 1440), ThreeMonitors), 0u);
    EXPECT_EQ(outputToDuplicate(sized(100, 100, 320, 240), ThreeMonitors), 1u);
    EXPECT_EQ(outputToDuplicate(sized(0, 0, 1920, 1080), ThreeMonitors), 1u);
}

TEST(FrameSourceChoice, AnAreaAcrossMonitorsOrOffThemGoesToGdi)
{
    EXPECT_FALSE(outputToDuplicate(sized(-100, 100, 320, 240), ThreeMonitors).has_value());
    EXPECT_FALSE(outputToDuplicate(sized(100, 1000, 320, 240), ThreeMonitors).has_value());
    EXPECT_FALSE(outputToDuplicate(sized(100, 100, 320, 240), {}).has_value());
}

TEST(FrameSourceChoice, AnAreaOnARotatedMonitorGoesToGdi)
{
    EXPECT_FALSE(outputToDuplicate(sized(2000, 100, 320, 240), ThreeMonitors).has_value());
}

TEST(FrameSourceChoice, ADuplicationThatCannotBeMadeMeansGdi)
{
    EXPECT_EQ(DuplicationPolicy(DuplicationAnswer::Done, Start).copier(), FrameCopier::Duplication);
    EXPECT_EQ(DuplicationPolicy(DuplicationAnswer::Refused, Start).copier(), FrameCopier::Gdi);
    DuplicationPolicy refused(DuplicationAnswer::Refused, Start);
    EXPECT_FALSE(refused.canAcquire());
    EXPECT_FALSE(refused.remakeDue(Start + 10 * Second));
    EXPECT_EQ(refused.withoutAcquire(true), FrameAction::CopyByGdi);
}

TEST(FrameSourceChoice, NoNewImageKeepsTheLastPicture)
{
    DuplicationPolicy policy(DuplicationAnswer::Done, Start);
    ASSERT_TRUE(policy.canAcquire());
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::Done, false, Start), FrameAction::UseCopy);
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::NoNewImage, true, Start),
              FrameAction::KeepLast);
    EXPECT_TRUE(policy.canAcquire());
}

TEST(FrameSourceChoice, AFirstFrameWithoutAnImageIsCopiedByGdiOnce)
{
    DuplicationPolicy policy(DuplicationAnswer::Done, Start);
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::NoNewImage, false, Start),
              FrameAction::CopyByGdi);
    EXPECT_EQ(policy.copier(), FrameCopier::Duplication);
    EXPECT_TRUE(policy.canAcquire());
}

TEST(FrameSourceChoice, ALostDuplicationIsMadeAgainAboutOnceASecond)
{
    DuplicationPolicy policy(DuplicationAnswer::Done, Start);
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::AccessLost, true, Start),
              FrameAction::KeepLast);
    EXPECT_FALSE(policy.canAcquire());
    EXPECT_EQ(policy.copier(), FrameCopier::Duplication);
    // The first attempt comes with the next frame, later ones a second apart.
    EXPECT_TRUE(policy.remakeDue(Start));
    policy.remade(DuplicationAnswer::AccessLost, Start);
    EXPECT_FALSE(policy.remakeDue(Start + Second - 1));
    EXPECT_EQ(policy.withoutAcquire(true), FrameAction::KeepLast);
    EXPECT_EQ(policy.withoutAcquire(false), FrameAction::CopyByGdi);
    EXPECT_TRUE(policy.remakeDue(Start + Second));
    policy.remade(DuplicationAnswer::Done, Start + Second);
    EXPECT_TRUE(policy.canAcquire());
    EXPECT_FALSE(policy.remakeDue(Start + 5 * Second));
}

TEST(FrameSourceChoice, TheSecureDesktopGivesNoFramesUntilTheDuplicationCanBeMadeAgain)
{
    DuplicationPolicy policy(DuplicationAnswer::Done, Start);
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::AccessLost, true, Start),
              FrameAction::KeepLast);
    policy.remade(DuplicationAnswer::AccessDenied, Start);
    EXPECT_EQ(policy.withoutAcquire(true), FrameAction::NoFrame);
    EXPECT_FALSE(policy.remakeDue(Start + Second / 2));
    EXPECT_TRUE(policy.remakeDue(Start + Second));
    policy.remade(DuplicationAnswer::AccessDenied, Start + Second);
    EXPECT_EQ(policy.withoutAcquire(true), FrameAction::NoFrame);
    policy.remade(DuplicationAnswer::Done, Start + 2 * Second);
    EXPECT_TRUE(policy.canAcquire());
    EXPECT_EQ(policy.copier(), FrameCopier::Duplication);

    DuplicationPolicy deniedAtStart(DuplicationAnswer::AccessDenied, Start);
    EXPECT_EQ(deniedAtStart.copier(), FrameCopier::Duplication);
    EXPECT_EQ(deniedAtStart.withoutAcquire(false), FrameAction::NoFrame);
    EXPECT_EQ(deniedAtStart.afterAcquire(DuplicationAnswer::AccessDenied, true, Start),
              FrameAction::NoFrame);
}

TEST(FrameSourceChoice, AnUnexpectedFailureMeansGdiForTheRestOfTheRecording)
{
    DuplicationPolicy policy(DuplicationAnswer::Done, Start);
    EXPECT_EQ(policy.afterAcquire(DuplicationAnswer::Refused, true, Start), FrameAction::CopyByGdi);
    EXPECT_EQ(policy.copier(), FrameCopier::Gdi);
    EXPECT_FALSE(policy.canAcquire());
    EXPECT_FALSE(policy.remakeDue(Start + 60 * Second));

    // Made again after a loss, but refused this time (the mode change rotated the monitor).
    DuplicationPolicy lost(DuplicationAnswer::Done, Start);
    lost.afterAcquire(DuplicationAnswer::AccessLost, true, Start);
    lost.remade(DuplicationAnswer::Refused, Start);
    EXPECT_EQ(lost.copier(), FrameCopier::Gdi);
    EXPECT_EQ(lost.withoutAcquire(true), FrameAction::CopyByGdi);
}

} // namespace
