#include "app/command_routing.h"

#include "app/command_id.h"
#include "app/hotkey_decision.h"

MainWindowAction mainWindowActionFor(unsigned long long wParam)
{
    switch (wParam) {
    case ID_REGION_SCREENSHOT:
        return MainWindowAction::RegionScreenshot;
    case ID_FULL_SCREENSHOT:
        return MainWindowAction::FullScreenshot;
    case ID_WINDOW_SCREENSHOT:
        return MainWindowAction::WindowScreenshot;
    case ID_RECORD_VIDEO:
        return MainWindowAction::RecordVideo;
    default:
        return MainWindowAction::None;
    }
}

void registerHookCommands(const std::function<bool(HotkeyId, HotkeyCallback)>& registerCallback,
                          const std::function<void(MainWindowAction)>& run)
{
    for (const HotkeyId hotkeyId : PrintScreenHotkeyIds) {
        const unsigned command = commandForHotkeyId(hotkeyId);
        registerCallback(hotkeyId, [run, command] { run(mainWindowActionFor(command)); });
    }
}

void unregisterHookCommands(const std::function<std::size_t(HotkeyId)>& unregisterCallback)
{
    for (const HotkeyId hotkeyId : PrintScreenHotkeyIds) {
        unregisterCallback(hotkeyId);
    }
}

TrayMenuAction trayMenuActionFor(unsigned identifier)
{
    switch (identifier) {
    case ID_REGION_SCREENSHOT:
    case ID_FULL_SCREENSHOT:
    case ID_RECORD_VIDEO:
        return TrayMenuAction::PostCommand;
    case ID_EXIT:
        return TrayMenuAction::CloseProgram;
    case ID_OPEN_FOLDER:
        return TrayMenuAction::OpenFolder;
    default:
        return TrayMenuAction::None;
    }
}
