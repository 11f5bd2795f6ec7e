#pragma once
// An MP4 file on a POSIX system, for the command-line finisher, its tests and its benchmark.
#include "recording/mp4/mp4_file.h"

#include <string>

class PosixMp4File final : public Mp4File {
public:
    // Opens an existing file for reading and writing; isOpen() tells whether it worked.
    explicit PosixMp4File(const std::string& path);
    ~PosixMp4File() override;
    PosixMp4File(const PosixMp4File&) = delete;
    PosixMp4File& operator=(const PosixMp4File&) = delete;

    bool isOpen() const noexcept { return descriptor >= 0; }

    std::uint64_t size() override;
    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override;
    bool write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    bool truncate(std::uint64_t size) override;
    bool flush() override;

private:
    int descriptor = -1;
};
