#include "recording/panel/recording_area.h"

#include "recording/core/video_format.h"

AreaCheck checkRecordingArea(const PixelRect& selection)
{
    const FrameSize size = evenFrameSize(selection);
    // Nothing left after rounding (or a rectangle turned inside out): cancelled, not refused.
    if (size.width <= 0 || size.height <= 0) {
        if (selection.right - static_cast<std::int64_t>(selection.left) > INT32_MAX ||
            selection.bottom - static_cast<std::int64_t>(selection.top) > INT32_MAX) {
            return {AreaVerdict::Refuse, {}};
        }
        return {};
    }
    if (!isRecordableFrameSize(size)) {
        return {AreaVerdict::Refuse, {}};
    }
    // Within the bounds, left + width never passes the original right.
    PixelRect rounded = selection;
    rounded.right = selection.left + size.width;
    rounded.bottom = selection.top + size.height;
    return {AreaVerdict::Accept, rounded};
}
