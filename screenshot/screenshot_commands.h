#pragma once
#include <windows.h>

#include <string>

// The three screenshot commands; each runs to completion on the UI thread.
void takeRegionScreenshot();
void takeFullScreenshot();
void takeWindowScreenshot();

std::wstring makeScreenshotFileName();
void saveScreenshot(HBITMAP bitmap, const std::wstring& fileName);
