#include "screenshot/screen_grabber.h"

#include <cstdint>

namespace {

// SRCCOPY | CAPTUREBLT: layered windows such as translucent overlays are part of the picture.
constexpr DWORD CaptureRasterOp = SRCCOPY | CAPTUREBLT;

enum class CopyCheck : std::uint8_t { Ignore, Require };

struct GrabArea {
    int width;
    int height;
};

// readOrigin runs just before the copy so a virtual screen that moved meanwhile is read fresh.
template <typename ReadOrigin>
CapturedImage grab(GrabArea area, ReadOrigin readOrigin, CopyCheck check)
{
    CapturedImage bitmap;
    BOOL copied = FALSE;
    {
        ScopedGetDc screen(nullptr);
        if (!screen) {
            return {};
        }
        UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
        if (!memory) {
            return {};
        }
        // A zero width or height would give a 1x1 monochrome bitmap instead of a failure.
        if (area.width < 1 || area.height < 1) {
            return {};
        }
        // Compatible with the screen, not the memory DC, which would make it one bit deep.
        bitmap.reset(::CreateCompatibleBitmap(screen.get(), area.width, area.height));
        if (!bitmap) {
            return {};
        }
        ScopedSelectObject selected(memory.get(), bitmap.get());
        const POINT origin = readOrigin();
        copied = ::BitBlt(memory.get(), 0, 0, area.width, area.height, screen.get(), origin.x,
                          origin.y, CaptureRasterOp);
    }
    if (check == CopyCheck::Require && !copied) {
        bitmap.reset();
    }
    return bitmap;
}

// After the tray menu closes, the hidden tray window can stay the foreground window; its
// rectangle is a patch of desktop the user never chose.
bool isOwnHiddenWindow(HWND window) noexcept
{
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId == ::GetCurrentProcessId() && !::IsWindowVisible(window);
}

} // namespace

ScreenGrabber& ScreenGrabber::instance()
{
    static ScreenGrabber grabber;
    return grabber;
}

CapturedImage ScreenGrabber::captureForegroundWindow()
{
    HWND foreground = ::GetForegroundWindow();
    if (foreground == nullptr || isOwnHiddenWindow(foreground)) {
        return {};
    }
    RECT rect{};
    // A window destroyed since GetForegroundWindow has no rectangle to grab.
    if (!::GetWindowRect(foreground, &rect)) {
        return {};
    }
    return captureRect(rect);
}

CapturedImage ScreenGrabber::captureVirtualScreen()
{
    const GrabArea area{::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                        ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    return grab(
        area,
        [] {
            return POINT{::GetSystemMetrics(SM_XVIRTUALSCREEN),
                         ::GetSystemMetrics(SM_YVIRTUALSCREEN)};
        },
        CopyCheck::Require);
}

CapturedImage ScreenGrabber::captureRect(const RECT& rect)
{
    const GrabArea area{rect.right - rect.left, rect.bottom - rect.top};
    return grab(area, [&rect] { return POINT{rect.left, rect.top}; }, CopyCheck::Ignore);
}
