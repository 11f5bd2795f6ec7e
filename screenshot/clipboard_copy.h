#pragma once
#include <windows.h>

// Puts a DIB-section copy of the bitmap on the clipboard as CF_BITMAP. Borrows the bitmap; on
// success the clipboard owns the copy.
bool copyBitmapToClipboard(HBITMAP bitmap);
