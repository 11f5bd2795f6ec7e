#pragma once
// Random access to an MP4 file being completed in place. On Windows it is a file handle opened
// for reading and writing with others allowed only to read; natively a POSIX file (the tests and
// the command-line tool) or a buffer in memory (the fuzz target).
#include <cstdint>
#include <span>

class Mp4File {
public:
    virtual ~Mp4File() = default;
    virtual std::uint64_t size() = 0;
    // False on an error or a short read.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
    virtual bool write(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool truncate(std::uint64_t size) = 0;
    // Everything written so far is on the disk.
    virtual bool flush() = 0;
};
