#include "app/main_window.h"

#include "app/command_routing.h"
#include "app/hotkey_manager.h"
#include "app/recording_recovery.h"
#include "app/tray_icon.h"
#include "common/window_binding.h"
#include "recording/panel/recording_panel.h"
#include "resources/resource_ids.h"
#include "screenshot/preview_window.h"
#include "screenshot/screenshot_commands.h"

#include <utility>

namespace {

void showTrayBalloon(const std::wstring& text)
{
    TrayIcon::instance().showNotification(text);
}

// The operation of each action, for WM_HOTKEY and the hotkey callbacks alike.
void runAction(MainWindowAction action)
{
    switch (action) {
    case MainWindowAction::RegionScreenshot:
        takeRegionScreenshot();
        break;
    case MainWindowAction::FullScreenshot:
        takeFullScreenshot();
        break;
    case MainWindowAction::WindowScreenshot:
        takeWindowScreenshot();
        break;
    case MainWindowAction::RecordVideo:
        openRecordingPanel();
        break;
    case MainWindowAction::None:
        break;
    }
}

// Set at WM_CREATE once the manager exists; WM_DESTROY unregisters only through it.
HotkeyManager* hotkeyManager = nullptr;

// What Windows shows the user while the end of the session waits for a recording's file.
constexpr wchar_t SessionEndReason[] = L"Zapisywanie nagrania MP4...";

LRESULT onCreate(HWND window)
{
    TrayIcon& tray = TrayIcon::instance();
    if (!tray.create()) {
        return -1;
    }
    setScreenshotNotifier(showTrayBalloon);
    hotkeyManager = &HotkeyManager::instance();
    if (!hotkeyManager->start()) {
        ::MessageBoxW(window, L"Nie mozna uruchomic obslugi klawiatury.", L"Orlimo", MB_ICONERROR);
        return -1;
    }
    // The keys run their commands through the same table as WM_HOTKEY.
    registerHookCommands(
        [](HotkeyId id, HotkeyCallback callback) {
            return hotkeyManager->registerCallback(id, std::move(callback));
        },
        runAction);
    return 0;
}

// The teardown of WM_DESTROY, and of the session's end, which may come without one. Safe to run
// twice. Whatever the guarded steps throw, the icon still leaves the notification area and the
// loop still ends, or the process would live on without a window.
void tearDown(PanelClosing closing)
{
    runGuarded(WM_DESTROY, [closing] {
        closeRecordingPanel(closing);
        PreviewWindow::close();
        if (hotkeyManager != nullptr) {
            unregisterHookCommands(
                [](HotkeyId id) { return hotkeyManager->unregisterCallback(id); });
        }
        return LRESULT{0};
    });
    TrayIcon::instance().remove();
    ::PostQuitMessage(0);
}

// The session end is never refused: the recording is finalized at WM_ENDSESSION instead, and the
// reason tells the user why that takes a moment.
LRESULT onQueryEndSession(HWND window) noexcept
{
    if (recordingIsActive()) {
        ::ShutdownBlockReasonCreate(window, SessionEndReason);
    }
    return TRUE;
}

void onEndSession(HWND window, bool ending)
{
    if (ending) {
        // Windows may end the process as soon as this returns, without WM_DESTROY: a running
        // recording must have its file finalized, and the icon must leave the tray, before then.
        tearDown(PanelClosing::SessionEnd);
    }
    ::ShutdownBlockReasonDestroy(window);
}

} // namespace

HWND createMainWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.lpszClassName = MainWindowClassName;
    ::RegisterClassW(&windowClass);

    return ::CreateWindowExW(0, MainWindowClassName, L"Orlimo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, nullptr);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        tearDown(PanelClosing::ProgramExit);
        return 0;
    case WM_QUERYENDSESSION:
        return onQueryEndSession(window);
    case WM_ENDSESSION:
        onEndSession(window, wParam != FALSE);
        return 0;
    default:
        // Commands call into other parts of the program; nothing they throw may unwind through
        // the system's dispatcher.
        return runGuarded(message, [&]() -> LRESULT {
            switch (message) {
            case WM_CREATE:
                return onCreate(window);
            case WM_HOTKEY:
                runAction(mainWindowActionFor(wParam));
                return 0;
            case WM_RECORDINGS_RECOVERED:
                announceRecoveredRecordings();
                return 0;
            default:
                return ::DefWindowProcW(window, message, wParam, lParam);
            }
        });
    }
}
