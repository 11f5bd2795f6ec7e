#pragma once
#include <windows.h>

#include <string>

// The three screenshot commands; each runs to completion on the UI thread.
void takeRegionScreenshot();
void takeFullScreenshot();
void takeWindowScreenshot();

// Where the commands report what no preview can show: the shell hands in its tray balloon. With
// none set, such a report is dropped.
using ScreenshotNotifier = void (*)(const std::wstring& text);
void setScreenshotNotifier(ScreenshotNotifier notifier) noexcept;

std::wstring makeScreenshotFileName();
void saveScreenshot(HBITMAP bitmap, const std::wstring& fileName);
