#include "screenshot/preview_window.h"

#include <shellapi.h>

#include <memory>

#include "common/unique_handle.h"
#include "common/win_rect.h"
#include "common/window_binding.h"
#include "common/window_dpi.h"
#include "screenshot/preview_layout.h"

#ifndef WDA_EXCLUDEFROMCAPTURE
#define WDA_EXCLUDEFROMCAPTURE 0x00000011
#endif

namespace {

constexpr wchar_t PreviewClassName[] = L"KestrovaPreview";
constexpr wchar_t PreviewTitle[] = L"Podglad zrzutu";
constexpr wchar_t HintText[] = L"Kliknij obraz, aby otworzyc plik";
constexpr wchar_t CloseMark[] = L"X";
constexpr UINT_PTR AutoCloseTimer = 1;
constexpr UINT AutoCloseIntervalMs = 10000;
constexpr COLORREF BackgroundColour = RGB(24, 28, 36);
constexpr COLORREF TextColour = RGB(245, 246, 250);

struct PreviewState {
    // Laid out for the DPI of the monitor the preview opens on.
    PreviewGeometry geometry;
    UniqueFont font;
    UniqueBitmap thumbnail;
    int thumbWidth = 0;
    int thumbHeight = 0;
    std::wstring filePath;
    std::wstring message;
};

// Cleared by the window's own WM_NCDESTROY.
HWND previewWindow = nullptr;

bool scaleInto(PreviewState& state, HBITMAP screenshot, int width, int height) noexcept
{
    BOOL stretched = FALSE;
    ScopedGetDc screen(nullptr);
    UniqueMemoryDc source(::CreateCompatibleDC(screen.get()));
    UniqueMemoryDc target(::CreateCompatibleDC(screen.get()));
    state.thumbnail.reset(
        ::CreateCompatibleBitmap(screen.get(), state.thumbWidth, state.thumbHeight));
    if (source && target && state.thumbnail) {
        ScopedSelectObject sourceSelected(source.get(), screenshot);
        ScopedSelectObject targetSelected(target.get(), state.thumbnail.get());
        ::SetStretchBltMode(target.get(), HALFTONE);
        ::SetBrushOrgEx(target.get(), 0, 0, nullptr);
        stretched = ::StretchBlt(target.get(), 0, 0, state.thumbWidth, state.thumbHeight,
                                 source.get(), 0, 0, width, height, SRCCOPY);
    }
    return stretched != FALSE;
}

bool registerPreviewClass(HINSTANCE instance) noexcept
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = PreviewWndProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_HAND);
    wc.lpszClassName = PreviewClassName;
    return ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void paintPreview(HWND window, const PreviewState& state) noexcept
{
    ScopedPaint paint(window);
    HDC dc = paint.dc();
    if (dc == nullptr) {
        return;
    }
    RECT client{};
    ::GetClientRect(window, &client);
    {
        UniqueBrush background(::CreateSolidBrush(BackgroundColour));
        ::FillRect(dc, &client, background.get());
    }
    const PreviewGeometry& geometry = state.geometry;
    ScopedSelectObject font(dc, fontOrStock(state.font));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, TextColour);

    RECT statusRect = toRect(geometry.statusLine);
    ::DrawTextW(dc, state.message.c_str(), static_cast<int>(state.message.size()), &statusRect,
                DT_SINGLELINE | DT_END_ELLIPSIS);
    ::TextOutW(dc, geometry.closeMark.x, geometry.closeMark.y, CloseMark, 1);

    {
        UniqueMemoryDc thumbDc(::CreateCompatibleDC(dc));
        if (thumbDc && state.thumbnail) {
            ScopedSelectObject selected(thumbDc.get(), state.thumbnail.get());
            const PixelPoint origin =
                thumbnailOrigin({state.thumbWidth, state.thumbHeight}, geometry);
            ::BitBlt(dc, origin.x, origin.y, state.thumbWidth, state.thumbHeight, thumbDc.get(), 0,
                     0, SRCCOPY);
        }
    }

    RECT hintRect = toRect(geometry.hint);
    ::DrawTextW(dc, HintText, -1, &hintRect, DT_SINGLELINE);
}

LRESULT handlePreviewMessage(HWND window, PreviewState& state, UINT message, WPARAM wParam,
                             LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_PAINT:
        paintPreview(window, state);
        return 0;
    case WM_LBUTTONUP:
        if (!isInCloseZone(pointFromMouseLParam(lParam), state.geometry)) {
            ::ShellExecuteW(window, L"open", state.filePath.c_str(), nullptr, nullptr,
                            SW_SHOWNORMAL);
        }
        ::DestroyWindow(window);
        return 0;
    case WM_TIMER: {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        RECT bounds{};
        ::GetWindowRect(window, &bounds);
        if (!::PtInRect(&bounds, cursor)) {
            ::DestroyWindow(window);
        }
        return 0;
    }
    case WM_NCDESTROY:
        if (previewWindow == window) {
            previewWindow = nullptr;
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

bool PreviewWindow::show(HBITMAP bitmap, const std::wstring& filePath, const std::wstring& message)
{
    if (previewWindow != nullptr) {
        ::DestroyWindow(previewWindow);
    }

    BITMAP info{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(info), &info) == 0) {
        return false;
    }

    // The preview opens on the monitor under the mouse and is laid out for that monitor's DPI.
    POINT cursor{};
    ::GetCursorPos(&cursor);
    HMONITOR monitor = ::MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST);
    const std::uint32_t dpi = monitorDpi(monitor);
    const PreviewGeometry geometry = previewGeometryFor(dpi);
    const auto size = thumbnailSizeFor(info.bmWidth, info.bmHeight, geometry);
    if (!size) {
        return false;
    }

    auto state = std::make_unique<PreviewState>();
    state->geometry = geometry;
    state->font = makeDialogFont(dpi);
    state->filePath = filePath;
    state->message = message;
    state->thumbWidth = size->width;
    state->thumbHeight = size->height;
    if (!scaleInto(*state, bitmap, info.bmWidth, info.bmHeight)) {
        return false;
    }

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!registerPreviewClass(instance)) {
        return false;
    }

    MONITORINFO monitorInfo{};
    monitorInfo.cbSize = sizeof(monitorInfo);
    ::GetMonitorInfoW(monitor, &monitorInfo);
    const PixelPoint origin = previewOrigin(toPixelRect(monitorInfo.rcWork), geometry);

    WindowCreation<PreviewState> creation{std::move(state)};
    HWND window = ::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                    PreviewClassName, PreviewTitle, WS_POPUP | WS_BORDER, origin.x,
                                    origin.y, geometry.outerWidth, geometry.outerHeight, nullptr,
                                    nullptr, instance, &creation);
    if (window == nullptr) {
        return false;
    }

    previewWindow = window;
    // Refused by some systems; the preview then simply shows in later grabs.
    ::SetWindowDisplayAffinity(window, WDA_EXCLUDEFROMCAPTURE);
    ::SetTimer(window, AutoCloseTimer, AutoCloseIntervalMs, nullptr);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
    return true;
}

void PreviewWindow::close()
{
    if (previewWindow != nullptr) {
        ::DestroyWindow(previewWindow);
    }
}

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return dispatchToBoundObject<PreviewState, WindowOwnership::Owns>(window, message, wParam,
                                                                      lParam, handlePreviewMessage);
}
