#include "app/screenshot_folder_setup.h"

#include "screenshot/screenshot_folder.h"
#include "app/screenshot_folder_rules.h"

#include <windows.h>
#include <shlobj.h>

bool prepareScreenshotFolder()
{
    ScreenshotFolderPath.clear();
    wchar_t pictures[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, 0,
                                  pictures))) {
        return false;
    }
    ScreenshotFolderPath = screenshotsFolderIn(pictures);
    const bool created = ::CreateDirectoryW(ScreenshotFolderPath.c_str(), nullptr) != FALSE;
    if (!screenshotsFolderUsable(created, created ? ERROR_SUCCESS : ::GetLastError())) {
        ScreenshotFolderPath.clear();
    }
    return !ScreenshotFolderPath.empty();
}
