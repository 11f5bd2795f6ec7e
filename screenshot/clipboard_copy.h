#pragma once
#include <windows.h>

// Puts the picture on the clipboard as CF_DIB: a packed 24-bit DIB in movable memory, from which
// the system offers CF_BITMAP and CF_DIBV5 to other programs. Borrows the bitmap; on success the
// clipboard owns the memory.
bool copyBitmapToClipboard(HBITMAP bitmap);
