#pragma once
// What a window laid out for 96 DPI needs on a monitor with another scale: that monitor's DPI
// and the dialog font made for it.
#include "common/dpi_scaling.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <shellscalingapi.h>

// The effective DPI of a monitor as a per-monitor aware window there sees it; 96 when the
// system cannot say.
inline std::uint32_t monitorDpi(HMONITOR monitor) noexcept
{
    UINT dpiX = 0;
    UINT dpiY = 0;
    if (FAILED(::GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) || dpiX == 0) {
        return DefaultDpi;
    }
    return dpiX;
}

// The 8-point dialog font for `dpi`: the stock GUI font's face and style at the height the DPI
// gives. At 96 DPI it equals the stock GUI font; elsewhere it no longer depends on the DPI
// the system started with. Null when the font cannot be made.
inline UniqueFont makeDialogFont(std::uint32_t dpi) noexcept
{
    LOGFONTW logFont{};
    if (::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont) == 0) {
        return UniqueFont();
    }
    logFont.lfHeight = dialogFontHeight(dpi);
    logFont.lfWidth = 0;
    return UniqueFont(::CreateFontIndirectW(&logFont));
}

// What a window draws its text with: `font`, or the stock GUI font when `font` could not be made.
inline HGDIOBJ fontOrStock(const UniqueFont& font) noexcept
{
    return font ? static_cast<HGDIOBJ>(font.get()) : ::GetStockObject(DEFAULT_GUI_FONT);
}
