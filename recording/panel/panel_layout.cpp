#include "recording/panel/panel_layout.h"

#include "common/dpi_scaling.h"

PanelPosition recordingPanelPosition(const PixelRect& workArea, std::uint32_t dpi)
{
    return {workArea.left + scaleForDpi(20, dpi), workArea.bottom - scaleForDpi(174, dpi)};
}

PanelSize recordingPanelSize(std::uint32_t dpi)
{
    return {scaleForDpi(PanelWidth, dpi), scaleForDpi(PanelHeight, dpi)};
}

// Place and size are scaled each on its own, as every value of the 96-DPI layout is.
PixelRect panelControlRect(const PanelControl& control, std::uint32_t dpi)
{
    const std::int32_t left = scaleForDpi(control.x, dpi);
    const std::int32_t top = scaleForDpi(control.y, dpi);
    return {left, top, left + scaleForDpi(control.width, dpi),
            top + scaleForDpi(control.height, dpi)};
}
