#include "app/screenshot_folder.h"

std::wstring ScreenshotFolderPath;
