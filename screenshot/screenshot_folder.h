#pragma once
#include <string>

// Pictures folder + "\Screenshots", prepared at start-up; empty when the folder cannot be used.
extern std::wstring ScreenshotFolderPath;
