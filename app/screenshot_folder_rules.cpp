#include "app/screenshot_folder_rules.h"

namespace {

constexpr unsigned long ErrorAlreadyExists = 183;

} // namespace

std::wstring screenshotsFolderIn(std::wstring_view picturesFolder)
{
    std::wstring path(picturesFolder);
    path += L"\\Screenshots";
    return path;
}

bool screenshotsFolderUsable(bool created, unsigned long lastError)
{
    return created || lastError == ErrorAlreadyExists;
}
