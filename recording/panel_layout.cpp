#include "recording/panel_layout.h"

PanelPosition recordingPanelPosition(const PixelRect& workArea)
{
    return {workArea.left + 20, workArea.bottom - 174};
}
