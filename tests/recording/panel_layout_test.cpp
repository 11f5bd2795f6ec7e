#include "recording/panel_layout.h"

#include <gtest/gtest.h>

#include <string>

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
    const int expected[] = {ID_STATUS_LINE, ID_START_BUTTON, ID_PAUSE_BUTTON,
                            ID_FINISH_BUTTON, ID_OPEN_BUTTON, ID_INFO_LINE};
    ASSERT_EQ(PanelControls.size(), std::size(expected));
    for (std::size_t i = 0; i < PanelControls.size(); ++i) {
        EXPECT_EQ(PanelControls[i].id, expected[i]) << i;
    }
}

TEST(PanelLayout, OnlyStartIsEnabledAtFirst)
{
    for (const PanelControl& control : PanelControls) {
        const bool disabled = control.id == ID_PAUSE_BUTTON || control.id == ID_FINISH_BUTTON ||
                              control.id == ID_OPEN_BUTTON;
        EXPECT_EQ(control.initiallyEnabled, !disabled) << control.id;
    }
}

TEST(PanelLayout, ButtonTextsAndGeometry)
{
    EXPECT_EQ(std::wstring(PanelControls[1].text), L"Start");
    EXPECT_EQ(std::wstring(PanelControls[2].text), L"Pauza");
    EXPECT_EQ(std::wstring(PanelControls[3].text), L"Zakoncz i zapisz");
    EXPECT_EQ(std::wstring(PanelControls[4].text), L"Otworz MP4");
    EXPECT_EQ(std::wstring(PanelControls[0].text),
              L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.");
    EXPECT_EQ(PanelControls[5].text, nullptr);

    const PanelControl& open = PanelControls[4];
    EXPECT_EQ(open.x, 391);
    EXPECT_EQ(open.y, 40);
    EXPECT_EQ(open.width, 155);
    EXPECT_EQ(open.height, 30);
    // Every control lies inside the panel's 580-pixel width.
    for (const PanelControl& control : PanelControls) {
        EXPECT_LE(control.x + control.width, PanelWidth) << control.id;
    }
}

} // namespace
