#include "recording/panel/recording_panel_window.h"

#include "recording/panel/panel_layout.h"
#include "recording/panel/panel_view.h"
#include "recording/panel/recording_border.h"
#include "recording/panel/video_path.h"
#include "common/win_rect.h"
#include "common/window_binding.h"
#include "common/window_dpi.h"
#include "resources/resource_ids.h"
#include "screenshot/preview_window.h"

#include <shellapi.h>

#include <memory>
#include <utility>

HWND recordingPanelWindow = nullptr;

RecordingPanelState::RecordingPanelState(const PixelRect& recordedArea) : region(recordedArea)
{}

RecordingPanelState::RecordingPanelState(const PixelRect& recordedArea,
                                         RecordingWorkerEntry workerEntry)
    : session(std::move(workerEntry)), region(recordedArea)
{}

namespace {

// Sent by the shutdown: stop the recording and wait until its file is complete, or until the
// session's limit ends the program.
constexpr UINT FinishRecordingMessage = WM_APP + 1;

bool registerPanelClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingPanelWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    windowClass.lpszClassName = RecordingPanelClassName;
    return ::RegisterClassW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// False when a control could not be made: a panel without its buttons could not be stopped.
bool createControls(HWND window, RecordingPanelState& state)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    state.font = makeDialogFont(state.dpi);
    const std::wstring infoLine = formatInfoLine(state.region.width(), state.region.height());
    for (const PanelControl& control : PanelControls) {
        const wchar_t* className = control.kind == PanelControlKind::Button ? L"BUTTON" : L"STATIC";
        const wchar_t* text = control.text != nullptr ? control.text : infoLine.c_str();
        const PixelRect place = panelControlRect(control, state.dpi);
        HWND child = ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE, place.left,
                                       place.top, place.width(), place.height(), window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)),
                                       instance, nullptr);
        if (child == nullptr) {
            return false;
        }
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fontOrStock(state.font)), TRUE);
    }
    for (const PanelControl& control : PanelControls) {
        if (!control.initiallyEnabled) {
            ::EnableWindow(::GetDlgItem(window, control.id), FALSE);
        }
    }
    return true;
}

// The panel was moved to a monitor with another scale: take the size the system suggests and lay
// the controls and their font out for the new DPI.
void onDpiChanged(HWND window, RecordingPanelState& state, std::uint32_t dpi, const RECT& suggested)
{
    state.dpi = dpi;
    ::SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    UniqueFont font = makeDialogFont(dpi);
    const auto fontParameter = reinterpret_cast<WPARAM>(fontOrStock(font));
    for (const PanelControl& control : PanelControls) {
        HWND child = ::GetDlgItem(window, control.id);
        const PixelRect place = panelControlRect(control, dpi);
        ::SetWindowPos(child, nullptr, place.left, place.top, place.width(), place.height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageW(child, WM_SETFONT, fontParameter, TRUE);
    }
    // The controls no longer use the old font, so it may go.
    state.font = std::move(font);
}

void setButtonEnabled(HWND window, int id, bool enabled)
{
    HWND button = ::GetDlgItem(window, id);
    if ((::IsWindowEnabled(button) != FALSE) != enabled) {
        ::EnableWindow(button, enabled ? TRUE : FALSE);
    }
}

void startRecording(HWND window, RecordingPanelState& state)
{
    // The path of the last recording stays until a new one exists: after a Saved recording
    // "Otworz MP4" is still enabled, and must never hand the shell an empty path.
    std::wstring path = makeVideoPath();
    if (path.empty()) {
        ::MessageBoxW(window, L"Nie mozna utworzyc folderu Wideo\\Kestrova.", L"Nagrywanie",
                      MB_OK | MB_ICONERROR);
        return;
    }
    state.outputPath = std::move(path);
    PreviewWindow::close();
    showRecordingBorder(state.region);
    state.session.start(state.region, state.outputPath);
}

void onCommand(HWND window, RecordingPanelState& state, int id)
{
    const RecordingState current = state.session.readState();
    switch (id) {
    case ID_START_BUTTON:
        if (!isActive(current)) {
            startRecording(window, state);
        }
        break;
    case ID_PAUSE_BUTTON:
        state.session.setPaused(current != RecordingState::Paused);
        break;
    case ID_FINISH_BUTTON:
        state.session.requestStop();
        break;
    case ID_OPEN_BUTTON:
        if (current == RecordingState::Saved) {
            ::ShellExecuteW(window, L"open", state.outputPath.c_str(), nullptr, nullptr,
                            SW_SHOWNORMAL);
        }
        break;
    default:
        break;
    }
}

void refresh(HWND window, RecordingPanelState& state)
{
    const RecordingState current = state.session.readState();

    if (current != state.shownState) {
        const PanelButtons buttons = panelButtonsFor(current);
        setButtonEnabled(window, ID_START_BUTTON, buttons.start);
        setButtonEnabled(window, ID_PAUSE_BUTTON, buttons.pause);
        setButtonEnabled(window, ID_FINISH_BUTTON, buttons.finish);
        setButtonEnabled(window, ID_OPEN_BUTTON, buttons.open);
        if (pauseTextChanges(state.shownState, current)) {
            ::SetDlgItemTextW(window, ID_PAUSE_BUTTON, pauseButtonText(current));
        }
        state.shownState = current;
    }

    const bool timed = current == RecordingState::Recording || current == RecordingState::Paused;
    const std::int64_t elapsed = timed ? state.session.readElapsed() : 0;
    const bool endedWithFailure =
        current == RecordingState::Failed ||
        (current == RecordingState::Saved && state.session.readStopReason() == StopReason::Failure);
    const std::wstring errorText =
        endedWithFailure ? state.session.readErrorText() : std::wstring();
    std::wstring status =
        statusTextFor(current, elapsed, errorText, state.session.readStopReason());
    if (!status.empty() && status != state.shownStatus) {
        ::SetDlgItemTextW(window, ID_STATUS_LINE, status.c_str());
        state.shownStatus = std::move(status);
    }

    if (recordingHasEnded(current)) {
        destroyRecordingBorder();
        if (state.closeRequested) {
            ::DestroyWindow(window); // frees the state: nothing may touch it afterwards
        }
    }
}

void onClose(HWND window, RecordingPanelState& state)
{
    if (closeWaitsForRecording(state.session.readState())) {
        // Closing now would block on the worker; the refresh closes the panel once it is saved.
        state.closeRequested = true;
        state.session.requestStop();
        return;
    }
    ::DestroyWindow(window);
}

LRESULT handlePanelMessage(HWND window, RecordingPanelState& state, UINT message, WPARAM wParam,
                           LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (!createControls(window, state)) {
            return -1; // CreateWindowExW fails, and openRecordingPanelFor shows nothing
        }
        ::SetTimer(window, RefreshTimer, RefreshPeriodMs, nullptr);
        return 0;
    case WM_COMMAND:
        onCommand(window, state, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == RefreshTimer) {
            refresh(window, state);
        }
        return 0;
    case WM_CLOSE:
        onClose(window, state);
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(window, state, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case FinishRecordingMessage:
        if (wParam != 0) {
            state.session.stopForSessionEnd();
        }
        state.session.stopAndWait();
        return 0;
    case WM_NCDESTROY:
        ::KillTimer(window, RefreshTimer);
        destroyRecordingBorder();
        if (recordingPanelWindow == window) {
            recordingPanelWindow = nullptr;
        }
        // Then the binding frees the state: the session's destruction stops a running recording
        // and waits for its file.
        return ::DefWindowProcW(window, message, wParam, lParam);
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

HWND openRecordingPanelFor(const PixelRect& region, RecordingWorkerEntry workerEntry)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!registerPanelClass(instance)) {
        return nullptr;
    }

    // A state that the window does not adopt is freed with `creation`.
    WindowCreation<RecordingPanelState> creation;
    creation.object = workerEntry
                          ? std::make_unique<RecordingPanelState>(region, std::move(workerEntry))
                          : std::make_unique<RecordingPanelState>(region);

    // Laid out for the DPI of the monitor it opens on, which is the one its place lies on.
    const RECT area = toRect(region);
    HMONITOR monitor = ::MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST);
    creation.object->dpi = monitorDpi(monitor);
    MONITORINFO monitorInfo{};
    monitorInfo.cbSize = sizeof(monitorInfo);
    ::GetMonitorInfoW(monitor, &monitorInfo);
    const PanelPosition position =
        recordingPanelPosition(toPixelRect(monitorInfo.rcWork), creation.object->dpi);
    const PanelSize size = recordingPanelSize(creation.object->dpi);

    recordingPanelWindow =
        ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, RecordingPanelClassName, PanelTitle,
                          WS_CAPTION | WS_SYSMENU, position.x, position.y, size.width, size.height,
                          nullptr, nullptr, instance, &creation);
    if (recordingPanelWindow == nullptr) {
        return nullptr;
    }

    ::SetWindowDisplayAffinity(recordingPanelWindow, WDA_EXCLUDEFROMCAPTURE);
    showRecordingBorder(region);
    ::ShowWindow(recordingPanelWindow, SW_SHOWNORMAL);
    return recordingPanelWindow;
}

void finishRecordingAndClosePanel(PanelClosing closing)
{
    if (recordingPanelWindow != nullptr) {
        ::SendMessageW(recordingPanelWindow, FinishRecordingMessage,
                       closing == PanelClosing::SessionEnd ? 1 : 0, 0);
        ::DestroyWindow(recordingPanelWindow);
    }
}

LRESULT CALLBACK RecordingPanelWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Out of memory while building a text or starting a worker: the panel keeps its last state,
    // and the next refresh tries again.
    return dispatchToBoundObject<RecordingPanelState, WindowOwnership::Owns>(
        window, message, wParam, lParam, handlePanelMessage);
}
