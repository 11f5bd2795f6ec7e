#pragma once
// Temporary folders, and what tests ask of the files in them.
#include <windows.h>

#include <cstddef>
#include <cwctype>
#include <string>
#include <vector>

namespace test_support {

inline bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

inline bool directoryExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder()
    {
        wchar_t base[MAX_PATH + 1]{};
        ::GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        path_ = std::wstring(base) + L"orlimo-test-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter);
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder()
    {
        for (const auto& name : files()) {
            ::DeleteFileW(file(name).c_str());
        }
        ::RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const noexcept { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L'\\' + name; }

    // The names of the files in the folder (not of folders).
    std::vector<std::wstring> files() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data{};
        HANDLE find = ::FindFirstFileW((path_ + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.emplace_back(data.cFileName);
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
        return names;
    }

private:
    std::wstring path_;
};

// Whether `name` is `shape` with a digit wherever the shape has a '9'.
inline bool hasNameShape(const std::wstring& name, const std::wstring& shape)
{
    if (name.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == L'9' ? !std::iswdigit(name[i]) : name[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

// Screenshot_YYYY-MM-DD_HH-MM-SS_mmm.png with digits where the digits go.
inline bool looksLikeScreenshotName(const std::wstring& name)
{
    return hasNameShape(name, L"Screenshot_9999-99-99_99-99-99_999.png");
}

} // namespace test_support
