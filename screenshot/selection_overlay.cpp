#include "screenshot/selection_overlay.h"

#include <atomic>

#include "common/system_library.h"
#include "common/unique_handle.h"
#include "common/win_rect.h"
#include "common/window_binding.h"
#include "screenshot/selection_geometry.h"

namespace {

constexpr wchar_t OverlayClassName[] = L"SelectionOverlayClass";
constexpr BYTE OverlayAlpha = 180;

// Changed only on the UI thread, which runs every overlay, but read by the keyboard hook's
// thread too, so it is published with release and read with acquire.
std::atomic<int> runningOverlays{0};

class RunningOverlay {
public:
    RunningOverlay() noexcept { runningOverlays.fetch_add(1, std::memory_order_release); }
    RunningOverlay(const RunningOverlay&) = delete;
    RunningOverlay& operator=(const RunningOverlay&) = delete;
    ~RunningOverlay() { runningOverlays.fetch_sub(1, std::memory_order_release); }
};

bool isCancel(const MSG& msg) noexcept
{
    return (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) ||
           msg.message == WM_CANCEL_SELECTION;
}

void registerOverlayClass(HINSTANCE instance) noexcept
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = SelectionOverlayWndProc;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
    wc.lpszClassName = OverlayClassName;
    // An existing registration is used as it is.
    ::RegisterClassExW(&wc);
}

void paintOverlay(HWND window, const RECT& selection) noexcept
{
    ScopedPaint paint(window);
    HDC dc = paint.dc();
    if (dc != nullptr) {
        RECT client{};
        ::GetClientRect(window, &client);
        ::SetBkMode(dc, TRANSPARENT);
        {
            UniqueBrush black(::CreateSolidBrush(RGB(0, 0, 0)));
            ::FillRect(dc, &client, black.get());
        }
        UniquePen outline(::CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
        ScopedSelectObject pen(dc, outline.get());
        ScopedSelectObject brush(dc, ::GetStockObject(NULL_BRUSH));
        ::Rectangle(dc, selection.left, selection.top, selection.right, selection.bottom);
    }
}

} // namespace

bool SelectionOverlay::isOpen() noexcept
{
    return runningOverlays.load(std::memory_order_acquire) > 0;
}

RECT SelectionOverlay::run(const RECT& bounds)
{
    const RunningOverlay running;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    registerOverlayClass(instance);

    window.reset(::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST,
                                   OverlayClassName, L"", WS_POPUP, bounds.left, bounds.top,
                                   bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr,
                                   nullptr, instance, this));
    if (!window) {
        return RECT{};
    }
    if (HCURSOR cross = ::LoadCursorW(nullptr, IDC_CROSS)) {
        ::SetClassLongPtrW(window.get(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cross));
    }

    HWND overlay = window.get();
    ::SetLayeredWindowAttributes(overlay, 0, OverlayAlpha, LWA_ALPHA);
    ::ShowWindow(overlay, SW_SHOW);
    ::UpdateWindow(overlay);
    ::SetForegroundWindow(overlay);
    ::SetFocus(overlay);
    ::SetActiveWindow(overlay);

    const PixelRect screenBounds = toPixelRect(bounds);
    bool dragging = false;
    PixelPoint anchor{};
    MSG msg{};
    BOOL got = 0;
    while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        if (isCancel(msg)) {
            window.reset();
            return RECT{};
        }
        if (msg.message == WM_LBUTTONDOWN && msg.hwnd == overlay) {
            ::SetCapture(overlay);
            dragging = true;
            anchor = pointFromMouseLParam(msg.lParam);
        } else if (msg.message == WM_MOUSEMOVE && dragging) {
            selection = toRect(rectBetween(anchor, pointFromMouseLParam(msg.lParam)));
            ::InvalidateRect(overlay, nullptr, TRUE);
        } else if (msg.message == WM_LBUTTONUP && dragging) {
            ::ReleaseCapture();
            window.reset();
            // Returns once the composition has shown a frame without the overlay, so the grab
            // that follows sees the desktop undimmed.
            if (const auto flush = dwmFunctions().flush) {
                flush();
            }
            return toRect(
                selectionInScreen(screenBounds, anchor, pointFromMouseLParam(msg.lParam)));
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (got == 0) {
        // The application's own loop must end too.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
    }
    window.reset();
    return RECT{};
}

DwmFunctions& dwmFunctions()
{
    static const SystemLibrary library(L"dwmapi.dll");
    static DwmFunctions functions{library.find<decltype(&::DwmFlush)>("DwmFlush")};
    return functions;
}

void SelectionOverlay::close()
{
    window.reset();
    ::UnregisterClassW(OverlayClassName, ::GetModuleHandleW(nullptr));
}

LRESULT CALLBACK SelectionOverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The overlay object lives on its caller's stack; the window only borrows it.
    return dispatchToBoundObject<SelectionOverlay, WindowOwnership::Borrows>(
        window, message, wParam, lParam,
        [](HWND target, SelectionOverlay& overlay, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            switch (msg) {
            case WM_DESTROY:
                return 0;
            case WM_PAINT:
                paintOverlay(target, overlay.selection);
                return 0;
            default:
                return ::DefWindowProcW(target, msg, w, l);
            }
        });
}
