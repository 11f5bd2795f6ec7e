#include "app/tray_menu.h"

#include "app/command_routing.h"
#include "app/main_window.h"
#include "app/screenshot_folder_rules.h"
#include "app/tray_menu_entries.h"
#include "common/unique_handle.h"

#include <shellapi.h>
#include <shlobj.h>

namespace {

void openScreenshotsFolder(HWND trayWindow)
{
    // Asked anew: the shell may have moved the Pictures folder since start-up.
    wchar_t pictures[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, 0, pictures))) {
        return;
    }
    const std::wstring folder = screenshotsFolderIn(pictures);
    ::ShellExecuteW(trayWindow, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

HMENU buildTrayMenu()
{
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) {
        return nullptr;
    }
    for (const TrayMenuEntry& entry : TrayMenuEntries) {
        const BOOL appended =
            entry.kind == TrayMenuEntryKind::Separator
                ? ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr)
                : ::AppendMenuW(menu.get(), MF_STRING, entry.identifier, entry.text);
        if (!appended) {
            return nullptr;
        }
    }
    return menu.release();
}

void runTrayMenu(HWND trayWindow)
{
    UINT chosen = 0;
    {
        UniqueMenu menu(buildTrayMenu());
        if (!menu) {
            return;
        }
        POINT cursor{};
        ::GetCursorPos(&cursor);
        ::SetForegroundWindow(trayWindow);
        chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                    cursor.x, cursor.y, 0, trayWindow, nullptr));
        // The task switch the menu needs: without it, the next menu can vanish as soon as it opens.
        ::PostMessageW(trayWindow, WM_NULL, 0, 0);
    }

    HWND mainWindow = ::FindWindowW(MainWindowClassName, nullptr);
    switch (trayMenuActionFor(chosen)) {
    case TrayMenuAction::PostCommand:
        ::PostMessageW(mainWindow, WM_HOTKEY, chosen, 0);
        break;
    case TrayMenuAction::CloseProgram:
        ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
        break;
    case TrayMenuAction::OpenFolder:
        openScreenshotsFolder(trayWindow);
        break;
    case TrayMenuAction::None:
        break;
    }
}
