#include "app/console_ctrl.h"
#include "app/main_window.h"
#include "app/recording_recovery.h"
#include "app/screenshot_folder_setup.h"
#include "app/tray_icon.h"
#include "common/unique_handle.h"
#include "recording/panel/video_path.h"

namespace {

constexpr wchar_t Caption[] = L"Orlimo";

int runMessageLoop()
{
    MSG message{};
    BOOL result;
    while ((result = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // Only a WM_QUIT carries an exit code; after an error the last message's wParam is stale.
    return result == 0 ? static_cast<int>(message.wParam) : 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything else loads: a DLL asked for later by bare name, by this program or by
    // system code on its behalf, then comes from System32 only, never from the program's own
    // folder (often Downloads, where any web page can drop a file) or the current directory.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    UniqueKernelHandle singleInstance(
        ::CreateMutexW(nullptr, FALSE, L"Local\\Kestrova.SingleInstance"));
    if (!singleInstance || ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::MessageBoxW(nullptr, L"Orlimo jest juz uruchomiony. Uzyj ikony w zasobniku.", Caption,
                      MB_OK);
        return 1;
    }

    setConsoleQuitThread(::GetCurrentThreadId());
    ::SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);

    if (!prepareScreenshotFolder()) {
        ::MessageBoxW(nullptr, L"Nie mozna utworzyc folderu Obrazy\\Screenshots.", Caption,
                      MB_ICONERROR);
        return 1;
    }

    HWND mainWindow = createMainWindow(instance);
    if (mainWindow == nullptr) {
        TrayIcon::instance().remove();
        return 1;
    }

    // Recordings an abrupt end left fragmented are completed meanwhile; each one completed is
    // announced on the tray icon, which exists by now.
    recordingRecovery().start(mainWindow, videoFolderPath());

    const int exitCode = runMessageLoop();
    recordingRecovery().stop();
    if (::IsWindow(mainWindow)) {
        ::DestroyWindow(mainWindow);
    }
    return exitCode;
}
