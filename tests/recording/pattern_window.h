#pragma once
// A small topmost window painted in four known colours, for checking what a screen grab sees.
#include "common/unique_handle.h"

#include <windows.h>

#include <array>
#include <cstddef>

// Four quadrants of known colours (COLORREF is 0x00BBGGRR).
inline constexpr std::array<COLORREF, 4> QuadrantColours = {RGB(255, 0, 0), RGB(0, 255, 0),
                                                            RGB(0, 0, 255), RGB(255, 255, 0)};
inline constexpr int PatternWidth = 64;
inline constexpr int PatternHeight = 48;

inline LRESULT CALLBACK PatternWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        for (int q = 0; q < 4; ++q) {
            const RECT quadrant{(q % 2) * PatternWidth / 2, (q / 2) * PatternHeight / 2,
                                (q % 2 + 1) * PatternWidth / 2, (q / 2 + 1) * PatternHeight / 2};
            HBRUSH brush = ::CreateSolidBrush(QuadrantColours[static_cast<std::size_t>(q)]);
            ::FillRect(dc, &quadrant, brush);
            ::DeleteObject(brush);
        }
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

class PatternWindow {
public:
    PatternWindow(int left, int top)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PatternWndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrlimoCapturePattern";
        ::RegisterClassW(&windowClass);
        window.reset(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"OrlimoCapturePattern",
                                       L"", WS_POPUP, left, top, PatternWidth, PatternHeight,
                                       nullptr, nullptr, windowClass.hInstance, nullptr));
        ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(window.get());
    }
    explicit operator bool() const noexcept { return static_cast<bool>(window); }

    static void pumpMessages()
    {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }

private:
    UniqueWindow window;
};
