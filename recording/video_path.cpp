#include "recording/video_path.h"

#include "recording/video_file_name.h"

#include <windows.h>

#include <shlobj.h>

std::wstring makeVideoPath()
{
    wchar_t videos[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, videos))) {
        return {};
    }

    std::wstring folder = std::wstring(videos) + VideoSubfolder;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return {};
    }

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::wstring name = formatVideoFileName(
        {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds});
    if (name.empty()) {
        return {};
    }
    return folder + name;
}
