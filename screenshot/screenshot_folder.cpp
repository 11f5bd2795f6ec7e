#include "screenshot/screenshot_folder.h"

std::wstring ScreenshotFolderPath;
