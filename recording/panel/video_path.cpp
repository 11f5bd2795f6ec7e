#include "recording/panel/video_path.h"

#include "common/local_time_now.h"
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

    std::wstring folder = std::wstring(videos) + VideoSubfolder;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
        // A plain file of that name "already exists" too, but nothing can be recorded into it.
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return {};
        }
    }

    const std::wstring name = formatVideoFileName(localTimeNow());
    if (name.empty()) {
        return {};
    }
    return folder + name;
}
