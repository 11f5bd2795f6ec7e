#pragma once
// The red frame round the recorded area: outside the area, click-through, never activated, and
// excluded from screen captures so that it never appears in the video.
#include "common/pixel_rect.h"

#include <windows.h>

// The one frame window, or null. The recording panel destroys it when a recording ends.
extern HWND recordingBorderWindow;

inline constexpr const wchar_t* RecordingBorderClassName = L"KestrovaRecordingBorder";

// Replaces any frame with one round `region`. On failure there is simply no frame.
void showRecordingBorder(const PixelRect& region);
// Destroys the frame, if any, and clears the handle.
void destroyRecordingBorder();

LRESULT CALLBACK RecordingBorderWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
