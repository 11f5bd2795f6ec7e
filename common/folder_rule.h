#pragma once
// The one rule for the folders the program saves into (Pictures\Screenshots, Videos\Kestrova):
// made now, or already there as a folder. A file of that name makes CreateDirectoryW report
// ERROR_ALREADY_EXISTS too, but nothing can be saved into it.

constexpr unsigned long FolderErrorAlreadyExists = 183; // ERROR_ALREADY_EXISTS

constexpr bool folderUsable(bool created, unsigned long lastError, bool existingIsFolder) noexcept
{
    return created || (lastError == FolderErrorAlreadyExists && existingIsFolder);
}
