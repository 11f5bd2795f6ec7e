#include "app/command_routing.h"
#include "app/hotkey_decision.h"
#include "app/hotkey_table.h"
#include "app/tray_menu_entries.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

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

namespace {

// One PrintScreen press as the hook sees it on Windows, and what it must end in.
struct PrintScreenPress {
    const char* keys;
    unsigned message;
    unsigned flags;
    std::set<unsigned> keysDown;
    unsigned command;
    MainWindowAction action;
};

// The callbacks registerHookCommands gives the hotkey table, and the actions they ran.
struct RegisteredHookCommands {
    HotkeyTable table;
    std::vector<MainWindowAction> ran;

    RegisteredHookCommands(const RegisteredHookCommands&) = delete;
    RegisteredHookCommands& operator=(const RegisteredHookCommands&) = delete;
    RegisteredHookCommands()
    {
        registerHookCommands(
            [this](HotkeyId id, HotkeyCallback callback) {
                return table.store(id, std::move(callback));
            },
            [this](MainWindowAction action) { ran.push_back(action); });
    }
};

} // namespace

TEST(HookCommandWiring, EachPrintScreenVariantRunsTheActionOfItsOwnCommand)
{
    // The events as Windows delivers them: PrintScreen is an extended key, and Alt shows only as
    // LLKHF_ALTDOWN on a WM_SYSKEYDOWN. Wine never sets that flag, so no end-to-end run can press
    // Alt+PrintScreen.
    constexpr unsigned Extended = 0x01; // LLKHF_EXTENDED
    constexpr unsigned LeftControl = 0xA2;
    constexpr unsigned Menu = 0x12;
    constexpr unsigned LeftMenu = 0xA4;
    const PrintScreenPress presses[] = {
        {"PrintScreen",
         static_cast<unsigned>(KeyMessage::KeyDown),
         Extended,
         {},
         1001,
         MainWindowAction::RegionScreenshot},
        {"Ctrl+PrintScreen",
         static_cast<unsigned>(KeyMessage::KeyDown),
         Extended,
         {VirtualKeyControl, LeftControl},
         1002,
         MainWindowAction::FullScreenshot},
        {"Alt+PrintScreen",
         static_cast<unsigned>(KeyMessage::SysKeyDown),
         HookFlagAltDown,
         {Menu, LeftMenu},
         1003,
         MainWindowAction::WindowScreenshot},
    };
    for (const PrintScreenPress& press : presses) {
        SCOPED_TRACE(press.keys);
        RegisteredHookCommands shell;
        const HookDecision decision = decideHookEvent(
            HookEvent{HookCodeAction, press.message, VirtualKeySnapshot, press.flags}, false,
            [&press](unsigned vk) { return press.keysDown.count(vk) != 0; },
            [&shell](int id) { return shell.table.contains(id); });
        ASSERT_EQ(decision.verdict, HookVerdict::SwallowAndPost);
        EXPECT_EQ(decision.command, press.command);

        // The hotkey window runs the callback its WM_HOTKEY names, and that callback runs the
        // main window's action for the same command.
        EXPECT_TRUE(shell.table.dispatch(hotkeyIdForCommand(decision.command).value_or(-1)));
        EXPECT_EQ(shell.ran, std::vector<MainWindowAction>{press.action});
        EXPECT_EQ(mainWindowActionFor(press.command), press.action);
    }
}

TEST(HookCommandWiring, UnregisteringLeavesNoCallbackForAnyVariant)
{
    RegisteredHookCommands shell;
    std::vector<HotkeyId> removed;
    unregisterHookCommands([&](HotkeyId id) {
        removed.push_back(id);
        return shell.table.remove(id);
    });
    EXPECT_EQ(removed, (std::vector<HotkeyId>{0, 1, 2}));
    for (const HotkeyId id : removed) {
        EXPECT_FALSE(shell.table.contains(id)) << id;
    }
}
