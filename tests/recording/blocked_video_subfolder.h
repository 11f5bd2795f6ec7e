#pragma once
// Test helper for the Windows tests of the recording panel and the video paths. Wine takes the
// Videos folder from its own user directories and ignores the shell-folder registry values, so
// the folder cannot be redirected; a plain file named like the subfolder blocks it instead.
#include "support/runs_under_wine.h"

#include <windows.h>

#include <shlobj.h>

#include <cwchar>
#include <string>

// Whether Videos\Kestrova holds files on Windows, where they are the user's recordings: the
// subfolder can then be neither removed nor blocked, and the tests that need that skip. Under
// Wine the prefix is fresh, so a file there is a fault of the tests themselves.
inline bool videoSubfolderHoldsUserFiles()
{
    if (test_support::runsUnderWine()) {
        return false;
    }
    wchar_t videos[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_MYVIDEO, nullptr, SHGFP_TYPE_CURRENT, videos);
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((std::wstring(videos) + L"\\Kestrova\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool holdsFiles = false;
    do {
        holdsFiles =
            std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0;
    } while (!holdsFiles && FindNextFileW(search, &found));
    FindClose(search);
    return holdsFiles;
}

// Makes Videos\Kestrova a plain file for the lifetime of the object.
class BlockedVideoSubfolder {
public:
    BlockedVideoSubfolder()
    {
        wchar_t videos[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_MYVIDEO | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                         videos);
        blocker_ = std::wstring(videos) + L"\\Kestrova";
        // Only an empty folder is removed; the tests never leave files in it.
        RemoveDirectoryW(blocker_.c_str());
        HANDLE file = CreateFileW(blocker_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            blocking_ = true;
        }
    }
    BlockedVideoSubfolder(const BlockedVideoSubfolder&) = delete;
    BlockedVideoSubfolder& operator=(const BlockedVideoSubfolder&) = delete;
    ~BlockedVideoSubfolder()
    {
        if (blocking_) {
            DeleteFileW(blocker_.c_str());
        }
    }

    bool blocking() const noexcept { return blocking_; }

private:
    std::wstring blocker_;
    bool blocking_ = false;
};
