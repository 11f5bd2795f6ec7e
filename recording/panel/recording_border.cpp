#include "recording/panel/recording_border.h"

#include "common/unique_handle.h"
#include "common/window_binding.h"
#include "recording/panel/border_geometry.h"

HWND recordingBorderWindow = nullptr;

namespace {

constexpr BYTE BorderAlpha = 180;
constexpr COLORREF BorderColour = RGB(245, 64, 72);
constexpr DWORD BorderExStyle =
    WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE;

bool registerBorderClass(HINSTANCE instance)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingBorderWndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = RecordingBorderClassName;
    return ::RegisterClassW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Cuts the area out of the window, so the frame is only the band round it.
void shapeAsFrame(HWND window, const BorderGeometry& geometry)
{
    UniqueRegion frame(::CreateRectRgn(0, 0, geometry.width, geometry.height));
    UniqueRegion hole(::CreateRectRgn(geometry.hole.left, geometry.hole.top, geometry.hole.right,
                                      geometry.hole.bottom));
    if (!frame || !hole) {
        return;
    }
    // Left unshaped, the window would cover the very pixels being recorded.
    if (::CombineRgn(frame.get(), frame.get(), hole.get(), RGN_DIFF) == ERROR) {
        return;
    }
    hole.reset();
    if (::SetWindowRgn(window, frame.get(), FALSE) != 0) {
        frame.release(); // the system owns it now
    }
}

void paintFrame(HWND window)
{
    ScopedPaint paint(window);
    HDC dc = paint.dc();
    if (dc != nullptr) {
        RECT client{};
        ::GetClientRect(window, &client);
        UniqueBrush brush(::CreateSolidBrush(BorderColour));
        if (brush) {
            ::FillRect(dc, &client, brush.get());
        }
    }
}

} // namespace

void destroyRecordingBorder()
{
    if (recordingBorderWindow != nullptr) {
        ::DestroyWindow(recordingBorderWindow);
        recordingBorderWindow = nullptr;
    }
}

void showRecordingBorder(const PixelRect& region)
{
    destroyRecordingBorder();

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!registerBorderClass(instance)) {
        return;
    }

    const BorderGeometry geometry = borderGeometryFor(region);
    recordingBorderWindow = ::CreateWindowExW(BorderExStyle, RecordingBorderClassName, L"",
                                              WS_POPUP, geometry.x, geometry.y, geometry.width,
                                              geometry.height, nullptr, nullptr, instance, nullptr);
    if (recordingBorderWindow == nullptr) {
        return;
    }

    shapeAsFrame(recordingBorderWindow, geometry);
    ::SetLayeredWindowAttributes(recordingBorderWindow, 0, BorderAlpha, LWA_ALPHA);
    ::SetWindowDisplayAffinity(recordingBorderWindow, WDA_EXCLUDEFROMCAPTURE);
    ::ShowWindow(recordingBorderWindow, SW_SHOWNOACTIVATE);
}

LRESULT CALLBACK RecordingBorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return runGuarded(message, [&]() -> LRESULT {
        switch (message) {
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_PAINT:
            paintFrame(window);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    });
}
