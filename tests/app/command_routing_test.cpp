#include "app/command_routing.h"
#include "app/tray_menu_entries.h"

#include <gtest/gtest.h>

TEST(MainWindowRouting, ScreenshotAndRecordingCommandsRunTheirOperation)
{
    EXPECT_EQ(mainWindowActionFor(1001), MainWindowAction::RegionScreenshot);
    EXPECT_EQ(mainWindowActionFor(1002), MainWindowAction::FullScreenshot);
    EXPECT_EQ(mainWindowActionFor(1003), MainWindowAction::WindowScreenshot);
    EXPECT_EQ(mainWindowActionFor(1006), MainWindowAction::RecordVideo);
}

TEST(MainWindowRouting, OpenFolderExitAndUnknownValuesDoNothing)
{
    for (unsigned long long value : {0ull, 1000ull, 1004ull, 1005ull, 1007ull, 0xFFFFFFFFull,
                                     0x1'0000'03E9ull /* 1001 in the low half only */}) {
        EXPECT_EQ(mainWindowActionFor(value), MainWindowAction::None) << value;
    }
}

TEST(TrayMenuRouting, ScreenshotAndRecordingEntriesArePostedToTheMainWindow)
{
    EXPECT_EQ(trayMenuActionFor(1001), TrayMenuAction::PostCommand);
    EXPECT_EQ(trayMenuActionFor(1002), TrayMenuAction::PostCommand);
    EXPECT_EQ(trayMenuActionFor(1006), TrayMenuAction::PostCommand);
}

TEST(TrayMenuRouting, ExitClosesAndOpenFolderIsHandledAtTheTray)
{
    EXPECT_EQ(trayMenuActionFor(1005), TrayMenuAction::CloseProgram);
    EXPECT_EQ(trayMenuActionFor(1004), TrayMenuAction::OpenFolder);
}

TEST(TrayMenuRouting, DismissalAndForeignIdentifiersDoNothing)
{
    EXPECT_EQ(trayMenuActionFor(0), TrayMenuAction::None);
    EXPECT_EQ(trayMenuActionFor(1003), TrayMenuAction::None);
    EXPECT_EQ(trayMenuActionFor(1007), TrayMenuAction::None);
}

TEST(TrayMenuEntries, EveryEntryLeadsSomewhere)
{
    for (const TrayMenuEntry& entry : TrayMenuEntries) {
        if (entry.kind == TrayMenuEntryKind::String) {
            EXPECT_NE(trayMenuActionFor(entry.identifier), TrayMenuAction::None)
                << entry.identifier;
        }
    }
}
