#pragma once
// The recording's MP4 file opened for completion in place: read and written through one handle
// that lets other programs read it meanwhile (a player may already show it) but not write it or
// delete it, so nothing else changes the file under the finisher.
#include "common/unique_handle.h"
#include "recording/mp4/mp4_file.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class WindowsMp4File final : public Mp4File {
public:
    enum class OpenError : std::uint8_t {
        InUse, // another handle writes it or refused us the sharing we ask for
        Other, // missing, no access, not a file
    };

    // The file, or why it could not be opened.
    static WindowsMp4File open(const std::wstring& path, OpenError* error) noexcept;

    bool isOpen() const noexcept { return static_cast<bool>(file); }

    std::uint64_t size() override;
    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override;
    bool write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    bool truncate(std::uint64_t size) override;
    bool flush() override;

private:
    explicit WindowsMp4File(HANDLE handle) noexcept : file(handle) {}

    UniqueKernelHandle file;
};
