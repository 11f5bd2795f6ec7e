#pragma once
#include <windows.h>

#include "common/unique_handle.h"

// A bitmap compatible with the screen, exactly as large as the grabbed area; its size is read
// back from the bitmap itself. Whoever holds it deletes it.
using CapturedImage = UniqueBitmap;

// Copies pixels from the live screen; one per process, keeps nothing between calls.
class ScreenGrabber {
public:
    static ScreenGrabber& instance();

    CapturedImage captureForegroundWindow();
    CapturedImage captureVirtualScreen();
    // rect: virtual-screen pixels, right and bottom exclusive.
    CapturedImage captureRect(const RECT& rect);
};
