#pragma once
// The platform's RECT and the portable PixelRect hold the same four numbers.
#include "common/pixel_rect.h"

#include <windows.h>

inline RECT toRect(const PixelRect& r) noexcept
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

inline PixelRect toPixelRect(const RECT& r) noexcept
{
    return PixelRect{r.left, r.top, r.right, r.bottom};
}

// The rectangle that holds every monitor, in virtual-screen pixels; its corner may be negative.
inline PixelRect currentVirtualScreen() noexcept
{
    return virtualScreenRect(
        ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
        ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
}
