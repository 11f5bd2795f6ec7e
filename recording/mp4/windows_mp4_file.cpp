#include "recording/mp4/windows_mp4_file.h"

#include <algorithm>

namespace {

// ReadFile and WriteFile take 32-bit lengths; larger spans go in pieces of this size.
constexpr std::uint64_t LargestPiece = 1u << 30;

OVERLAPPED at(std::uint64_t offset) noexcept
{
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

} // namespace

WindowsMp4File WindowsMp4File::open(const std::wstring& path, OpenError* error) noexcept
{
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (error != nullptr) {
            *error = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                         ? OpenError::InUse
                         : OpenError::Other;
        }
        return WindowsMp4File(nullptr);
    }
    return WindowsMp4File(handle);
}

std::uint64_t WindowsMp4File::size()
{
    LARGE_INTEGER length{};
    if (::GetFileSizeEx(file.get(), &length) == FALSE || length.QuadPart < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(length.QuadPart);
}

bool WindowsMp4File::read(std::uint64_t offset, std::span<std::uint8_t> into)
{
    while (!into.empty()) {
        const auto piece = static_cast<DWORD>(std::min<std::uint64_t>(into.size(), LargestPiece));
        OVERLAPPED position = at(offset);
        DWORD done = 0;
        // On a handle opened without FILE_FLAG_OVERLAPPED the call is synchronous and reads at
        // the position given.
        if (::ReadFile(file.get(), into.data(), piece, &done, &position) == FALSE || done == 0) {
            return false;
        }
        offset += done;
        into = into.subspan(done);
    }
    return true;
}

bool WindowsMp4File::write(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const auto piece = static_cast<DWORD>(std::min<std::uint64_t>(bytes.size(), LargestPiece));
        OVERLAPPED position = at(offset);
        DWORD done = 0;
        if (::WriteFile(file.get(), bytes.data(), piece, &done, &position) == FALSE || done == 0) {
            return false;
        }
        offset += done;
        bytes = bytes.subspan(done);
    }
    return true;
}

bool WindowsMp4File::truncate(std::uint64_t size)
{
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) != FALSE &&
           ::SetEndOfFile(file.get()) != FALSE;
}

bool WindowsMp4File::flush()
{
    return ::FlushFileBuffers(file.get()) != FALSE;
}
