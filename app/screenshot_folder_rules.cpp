#include "app/screenshot_folder_rules.h"

std::wstring screenshotsFolderIn(std::wstring_view picturesFolder)
{
    std::wstring path(picturesFolder);
    path += L"\\Screenshots";
    return path;
}
