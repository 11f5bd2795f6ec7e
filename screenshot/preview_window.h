#pragma once
#include <windows.h>

#include <string>

// The click-to-open preview shown after a screenshot was saved. At most one exists.
class PreviewWindow {
public:
    static bool show(HBITMAP bitmap, const std::wstring& filePath, const std::wstring& message);
    static void close();
};

LRESULT CALLBACK PreviewWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
