#include "recording/panel_layout.h"

#include <gtest/gtest.h>

namespace {

TEST(PanelLayout, SitsNearTheBottomLeftOfTheWorkArea)
{
    EXPECT_EQ(recordingPanelPosition({0, 0, 1280, 1024}), (PanelPosition{20, 850}));
    EXPECT_EQ(recordingPanelPosition({0, 0, 1920, 1040}), (PanelPosition{20, 866}));
}

TEST(PanelLayout, FollowsMonitorsLeftOfAndAboveThePrimary)
{
    EXPECT_EQ(recordingPanelPosition({-2560, -300, 0, 1140}), (PanelPosition{-2540, 966}));
    EXPECT_EQ(recordingPanelPosition({1920, 40, 3840, 1080}), (PanelPosition{1940, 906}));
}

TEST(PanelLayout, PanelFitsAboveTheWorkAreaBottom)
{
    const PanelPosition position = recordingPanelPosition({0, 0, 1280, 1024});
    EXPECT_LE(position.y + PanelHeight, 1024);
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

} // namespace
