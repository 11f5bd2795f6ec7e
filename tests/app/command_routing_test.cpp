#include "app/command_routing.h"
#include "app/tray_menu_entries.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(TrayMenuEntries, SixEntriesInOrderWithExactTexts)
{
    ASSERT_EQ(TrayMenuEntries.size(), 6u);
    const struct {
        TrayMenuEntryKind kind;
        unsigned id;
        const wchar_t* text;
    } expected[] = {
        {TrayMenuEntryKind::String, 1001, L"Zaznacz obszar (PrintScreen)"},
        {TrayMenuEntryKind::String, 1002, L"Caly ekran (Ctrl+PrintScreen)"},
        {TrayMenuEntryKind::String, 1006, L"Nagrywaj wideo - wybierz obszar..."},
        {TrayMenuEntryKind::String, 1004, L"Otworz folder zrzutow"},
        {TrayMenuEntryKind::Separator, 0, nullptr},
        {TrayMenuEntryKind::String, 1005, L"Zakoncz"},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(TrayMenuEntries[i].kind, expected[i].kind) << i;
        EXPECT_EQ(TrayMenuEntries[i].identifier, expected[i].id) << i;
        if (expected[i].text == nullptr) {
            EXPECT_EQ(TrayMenuEntries[i].text, nullptr) << i;
        } else {
            ASSERT_NE(TrayMenuEntries[i].text, nullptr) << i;
            EXPECT_EQ(std::wstring(TrayMenuEntries[i].text), expected[i].text) << i;
        }
    }
}

TEST(TrayMenuEntries, EveryEntryLeadsSomewhere)
{
    for (const TrayMenuEntry& entry : TrayMenuEntries) {
        if (entry.kind == TrayMenuEntryKind::String) {
            EXPECT_NE(trayMenuActionFor(entry.identifier), TrayMenuAction::None) << entry.identifier;
        }
    }
}
