#pragma once
// Whole files as bytes, for tests that make files and check what became of them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

inline bool writeFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok != FALSE && written == bytes.size();
}

// Empty when the file cannot be read (others may hold it open for writing: it is shared).
inline std::vector<std::uint8_t> readFileBytes(const std::wstring& path)
{
    std::vector<std::uint8_t> bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size) != FALSE) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        if (::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ==
                FALSE ||
            read != bytes.size()) {
            bytes.clear();
        }
    }
    ::CloseHandle(file);
    return bytes;
}

} // namespace test_support
