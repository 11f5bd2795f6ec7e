#include "recording/panel/panel_layout.h"

#include "common/dpi_scaling.h"

#include <gtest/gtest.h>

namespace {

TEST(PanelLayout, SitsNearTheBottomLeftOfTheWorkArea)
{
    EXPECT_EQ(recordingPanelPosition({0, 0, 1280, 1024}, 96), (PanelPosition{20, 850}));
    EXPECT_EQ(recordingPanelPosition({0, 0, 1920, 1040}, 96), (PanelPosition{20, 866}));
}

TEST(PanelLayout, FollowsMonitorsLeftOfAndAboveThePrimary)
{
    EXPECT_EQ(recordingPanelPosition({-2560, -300, 0, 1140}, 96), (PanelPosition{-2540, 966}));
    EXPECT_EQ(recordingPanelPosition({1920, 40, 3840, 1080}, 96), (PanelPosition{1940, 906}));
}

TEST(PanelLayout, PanelFitsAboveTheWorkAreaBottom)
{
    const PanelPosition position = recordingPanelPosition({0, 0, 1280, 1024}, 96);
    EXPECT_LE(position.y + PanelHeight, 1024);
    EXPECT_EQ(recordingPanelSize(96), (PanelSize{PanelWidth, PanelHeight}));
}

TEST(PanelLayout, ControlsInCreationOrderWithTheirIds)
{
    const int expected[] = {ID_STATUS_LINE,   ID_START_BUTTON, ID_PAUSE_BUTTON,
                            ID_FINISH_BUTTON, ID_OPEN_BUTTON,  ID_INFO_LINE};
    ASSERT_EQ(PanelControls.size(), std::size(expected));
    for (std::size_t i = 0; i < PanelControls.size(); ++i) {
        EXPECT_EQ(PanelControls[i].id, expected[i]) << i;
    }
}

TEST(PanelLayout, At96TheControlsKeepTheirPlaces)
{
    for (const PanelControl& control : PanelControls) {
        EXPECT_EQ(panelControlRect(control, 96),
                  (PixelRect{control.x, control.y, control.x + control.width,
                             control.y + control.height}))
            << control.id;
    }
}

TEST(PanelLayout, SizePlaceAndOffsetsScaleWithTheDpi)
{
    EXPECT_EQ(recordingPanelSize(120), (PanelSize{725, 188}));
    EXPECT_EQ(recordingPanelSize(144), (PanelSize{870, 225}));
    EXPECT_EQ(recordingPanelSize(192), (PanelSize{1160, 300}));
    EXPECT_EQ(recordingPanelPosition({0, 0, 2560, 1400}, 120), (PanelPosition{25, 1182}));
    EXPECT_EQ(recordingPanelPosition({0, 0, 2560, 1400}, 144), (PanelPosition{30, 1139}));
    EXPECT_EQ(recordingPanelPosition({-3840, 0, 0, 2100}, 192), (PanelPosition{-3800, 1752}));
}

TEST(PanelLayout, ControlsScaleWithTheDpiRoundedAsMulDivRounds)
{
    // The finish button: 238, 40, 145 x 30 at 96 DPI; 145 * 1.25 = 181.25 and 238 * 1.25 = 297.5.
    const PanelControl& finish = PanelControls[3];
    ASSERT_EQ(finish.id, ID_FINISH_BUTTON);
    EXPECT_EQ(panelControlRect(finish, 120), (PixelRect{298, 50, 479, 88}));
    EXPECT_EQ(panelControlRect(finish, 144), (PixelRect{357, 60, 575, 105}));
    EXPECT_EQ(panelControlRect(finish, 192), (PixelRect{476, 80, 766, 140}));
    const PanelControl& info = PanelControls[5];
    ASSERT_EQ(info.id, ID_INFO_LINE);
    EXPECT_EQ(panelControlRect(info, 144), (PixelRect{18, 123, 843, 156}));
}

TEST(DialogFont, EightPointsAtTheDpi)
{
    EXPECT_EQ(dialogFontHeight(96), -11);
    EXPECT_EQ(dialogFontHeight(120), -13);
    EXPECT_EQ(dialogFontHeight(144), -16);
    EXPECT_EQ(dialogFontHeight(192), -21);
}

} // namespace
