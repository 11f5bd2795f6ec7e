#pragma once
// A file of any size held as the pieces written into it; every other byte reads as zero. For
// made-up recordings past 4 GiB whose sample data nobody reads.
#include "recording/mp4/mp4_file.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace test_support {

// The part of a written piece that falls in a read.
inline void copyOverlap(std::uint64_t at, const std::vector<std::uint8_t>& piece,
                        std::uint64_t offset, std::span<std::uint8_t> into)
{
    const std::uint64_t end = offset + into.size();
    const std::uint64_t pieceEnd = at + piece.size();
    if (pieceEnd <= offset || at >= end) {
        return;
    }
    const std::uint64_t from = std::max(at, offset);
    const std::uint64_t to = std::min(pieceEnd, end);
    std::copy(piece.begin() + static_cast<std::ptrdiff_t>(from - at),
              piece.begin() + static_cast<std::ptrdiff_t>(to - at),
              into.begin() + static_cast<std::ptrdiff_t>(from - offset));
}

class SparseMp4File final : public Mp4File {
public:
    std::uint64_t size() override { return length; }

    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override
    {
        bytesRead += into.size();
        if (offset > length || into.size() > length - offset) {
            return false;
        }
        std::fill(into.begin(), into.end(), std::uint8_t{0});
        const std::uint64_t end = offset + into.size();
        auto first = pieces.upper_bound(offset);
        if (first != pieces.begin()) {
            --first;
        }
        for (auto piece = first; piece != pieces.end() && piece->first < end; ++piece) {
            copyOverlap(piece->first, piece->second, offset, into);
        }
        return true;
    }

    // Pieces do not overlap in the files made here but the finisher's writes may cover earlier
    // ones; those are clipped.
    bool write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override
    {
        clip(offset, offset + bytes.size());
        pieces[offset].assign(bytes.begin(), bytes.end());
        length = std::max<std::uint64_t>(length, offset + bytes.size());
        return true;
    }

    bool truncate(std::uint64_t newSize) override
    {
        clip(newSize, UINT64_MAX);
        length = newSize;
        return true;
    }

    bool flush() override { return true; }

    void setSize(std::uint64_t newSize) { length = newSize; }
    const std::map<std::uint64_t, std::vector<std::uint8_t>>& written() const noexcept
    {
        return pieces;
    }

    std::uint64_t bytesRead = 0;

private:
    void clip(std::uint64_t begin, std::uint64_t end)
    {
        std::map<std::uint64_t, std::vector<std::uint8_t>> kept;
        for (auto& [at, piece] : pieces) {
            const std::uint64_t pieceEnd = at + piece.size();
            if (pieceEnd <= begin || at >= end) {
                kept[at] = std::move(piece);
                continue;
            }
            if (at < begin) {
                kept[at].assign(piece.begin(),
                                piece.begin() + static_cast<std::ptrdiff_t>(begin - at));
            }
            if (pieceEnd > end) {
                kept[end].assign(piece.begin() + static_cast<std::ptrdiff_t>(end - at),
                                 piece.end());
            }
        }
        pieces = std::move(kept);
    }

    std::map<std::uint64_t, std::vector<std::uint8_t>> pieces;
    std::uint64_t length = 0;
};

} // namespace test_support
