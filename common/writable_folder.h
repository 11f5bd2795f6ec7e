#pragma once
#include "common/folder_rule.h"

#include <windows.h>

#include <string>

// Makes `folder` where it is missing; true when it can be saved into afterwards.
inline bool makeWritableFolder(const std::wstring& folder)
{
    const bool created = ::CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
    const unsigned long error = created ? ERROR_SUCCESS : ::GetLastError();
    const DWORD attributes =
        created ? FILE_ATTRIBUTE_DIRECTORY : ::GetFileAttributesW(folder.c_str());
    const bool isFolder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folderUsable(created, error, isFolder);
}
