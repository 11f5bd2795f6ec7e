#include "recording/panel/video_path.h"

#include "common/local_time_now.h"
#include "common/writable_folder.h"
#include "recording/panel/video_file_name.h"

#include <windows.h>

#include <shlobj.h>

std::wstring videoFolderPath()
{
    wchar_t videos[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYVIDEO, nullptr, SHGFP_TYPE_CURRENT, videos))) {
        return {};
    }
    return std::wstring(videos) + VideoSubfolder;
}

std::wstring makeVideoPath()
{
    wchar_t videos[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, videos))) {
        return {};
    }

    const std::wstring folder = std::wstring(videos) + VideoSubfolder;
    if (!makeWritableFolder(folder)) {
        return {};
    }

    const std::wstring name = formatVideoFileName(localTimeNow());
    if (name.empty()) {
        return {};
    }
    return folder + name;
}
