#pragma once
// An MP4 file held in memory, for the finisher's tests and its fuzz target. It can be told to
// fail after a number of bytes have been written, which leaves the file as a crash would.
#include "recording/mp4/mp4_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace test_support {

class MemoryMp4File final : public Mp4File {
public:
    explicit MemoryMp4File(std::vector<std::uint8_t> contents) : bytes(std::move(contents)) {}

    std::uint64_t size() override { return bytes.size(); }

    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override
    {
        reads.push_back({offset, offset + into.size()});
        if (failReads || offset > bytes.size() || into.size() > bytes.size() - offset) {
            return false;
        }
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), into.size(), into.begin());
        return true;
    }

    // Writes at most what is left of the write budget, then fails.
    bool write(std::uint64_t offset, std::span<const std::uint8_t> data) override
    {
        ++writes;
        const std::uint64_t allowed = std::min<std::uint64_t>(data.size(), writeBudget);
        if (offset + allowed > bytes.size()) {
            bytes.resize(static_cast<std::size_t>(offset + allowed));
        }
        std::copy_n(data.begin(), allowed, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        writeBudget -= allowed;
        return allowed == data.size();
    }

    bool truncate(std::uint64_t newSize) override
    {
        if (writeBudget == 0) {
            return false;
        }
        bytes.resize(static_cast<std::size_t>(newSize));
        return true;
    }

    bool flush() override
    {
        ++flushes;
        return writeBudget > 0 || !failFlushWhenSpent;
    }

    struct Range {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };

    std::vector<std::uint8_t> bytes;
    std::vector<Range> reads;
    std::uint64_t writeBudget = std::numeric_limits<std::uint64_t>::max();
    bool failFlushWhenSpent = true;
    bool failReads = false;
    int writes = 0;
    int flushes = 0;
};

} // namespace test_support
