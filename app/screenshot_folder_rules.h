#pragma once
// How the screenshots folder is derived from the Pictures folder, and when it counts as usable.
#include <string>
#include <string_view>

// The Pictures folder followed by "\Screenshots" (no trailing backslash).
std::wstring screenshotsFolderIn(std::wstring_view picturesFolder);

// Whether the folder can be used after CreateDirectoryW: made now, or something of that name is
// there already (a folder or a file: both report ERROR_ALREADY_EXISTS).
bool screenshotsFolderUsable(bool created, unsigned long lastError);
