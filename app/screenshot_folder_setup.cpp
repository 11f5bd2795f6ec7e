#include "app/screenshot_folder_setup.h"

#include "screenshot/screenshot_folder.h"
#include "app/screenshot_folder_rules.h"
#include "common/writable_folder.h"

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
    if (!makeWritableFolder(ScreenshotFolderPath)) {
        ScreenshotFolderPath.clear();
    }
    return !ScreenshotFolderPath.empty();
}
