#pragma once
// How the screenshots folder is derived from the Pictures folder.
#include <string>
#include <string_view>

// The Pictures folder followed by "\Screenshots" (no trailing backslash).
std::wstring screenshotsFolderIn(std::wstring_view picturesFolder);
