#pragma once
// Windows that show a known picture, for checking what a screen grab or a recording sees.
#include "common/unique_handle.h"
#include "support/message_pump.h"
#include "support/pixels.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace test_support {

// Four quadrants of known colours (0x00RRGGBB): red, green, blue and yellow, in reading order.
inline constexpr int QuadrantPatternWidth = 64;
inline constexpr int QuadrantPatternHeight = 48;
inline constexpr std::array<std::uint32_t, 4> QuadrantColours = {0xFF0000, 0x00FF00, 0x0000FF,
                                                                 0xFFFF00};

inline Pixels quadrantPixels()
{
    Pixels p{QuadrantPatternWidth, QuadrantPatternHeight,
             std::vector<std::uint32_t>(std::size_t{QuadrantPatternWidth} * QuadrantPatternHeight)};
    for (int y = 0; y < QuadrantPatternHeight; ++y) {
        for (int x = 0; x < QuadrantPatternWidth; ++x) {
            const int quadrant =
                (x * 2 / QuadrantPatternWidth) + 2 * (y * 2 / QuadrantPatternHeight);
            p.rgb[static_cast<std::size_t>(y) * QuadrantPatternWidth + x] =
                QuadrantColours[static_cast<std::size_t>(quadrant)];
        }
    }
    return p;
}

// A topmost popup that shows its picture over its whole client area. It is brought to the
// front, and messages are served for a while so that it is on the screen when made.
class PatternWindow {
public:
    PatternWindow(int x, int y, Pixels picture) : pixels_(std::move(picture))
    {
        HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = PatternWndProc;
        wc.hInstance = instance;
        wc.lpszClassName = L"OrlimoTestPattern";
        ::RegisterClassW(&wc);
        window_.reset(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"OrlimoTestPattern",
                                        L"pattern", WS_POPUP, x, y, pixels_.width, pixels_.height,
                                        nullptr, nullptr, instance, this));
        ::ShowWindow(window_.get(), SW_SHOW);
        ::SetForegroundWindow(window_.get());
        ::UpdateWindow(window_.get());
        pumpMessagesFor(Milliseconds{300});
    }
    // The seeded pattern of patternPixels.
    PatternWindow(int x, int y, int width, int height, int seed = 0)
        : PatternWindow(x, y, patternPixels(width, height, seed))
    {}
    ~PatternWindow()
    {
        window_.reset();
        pumpMessagesFor(Milliseconds{50});
    }
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;

    HWND window() const noexcept { return window_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(window_); }

private:
    static LRESULT CALLBACK PatternWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        } else if (message == WM_PAINT) {
            const auto* self =
                reinterpret_cast<const PatternWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
            PAINTSTRUCT ps{};
            HDC dc = ::BeginPaint(window, &ps);
            if (dc != nullptr && self != nullptr) {
                const Pixels& p = self->pixels_;
                BITMAPINFO info = topDown32(p.width, p.height);
                ::SetDIBitsToDevice(
                    dc, 0, 0, static_cast<DWORD>(p.width), static_cast<DWORD>(p.height), 0, 0, 0,
                    static_cast<UINT>(p.height), p.rgb.data(), &info, DIB_RGB_COLORS);
            }
            ::EndPaint(window, &ps);
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    Pixels pixels_; // before the window, which paints it from its first message
    UniqueWindow window_;
};

// The pattern window on a thread of its own, so it repaints while the test thread is busy,
// as another program's window would.
class ThreadedPatternWindow {
public:
    ThreadedPatternWindow(int x, int y, int width, int height, int seed = 0)
        : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        thread_ = std::thread([=, this] {
            threadId_ = ::GetCurrentThreadId();
            PatternWindow window(x, y, width, height, seed);
            window_ = window.window();
            ::SetEvent(ready_.get());
            MSG msg{};
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        });
        ::WaitForSingleObject(ready_.get(), 10000);
    }
    ~ThreadedPatternWindow()
    {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    ThreadedPatternWindow(const ThreadedPatternWindow&) = delete;
    ThreadedPatternWindow& operator=(const ThreadedPatternWindow&) = delete;

    HWND window() const noexcept { return window_; }

private:
    HWND window_ = nullptr;
    UniqueKernelHandle ready_;
    std::thread thread_;
    DWORD threadId_ = 0;
};

} // namespace test_support
