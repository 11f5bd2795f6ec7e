#pragma once
// Fragmented files ffmpeg does not write, made from one it does (the default_base_moof flavour,
// whose data offsets count from each moof): without tfdt, with an explicit base data offset at
// the mdat's payload, and with each trun split in two, the second without a data offset.
#include "support/mp4_box_walker.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mp4_variants {

using test_support::bigEndian;
using test_support::findBoxes;
using test_support::walkBoxes;
using test_support::WalkedBox;

inline void putBigEndian(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value,
                         int count)
{
    for (int i = count - 1; i >= 0; --i, value >>= 8) {
        bytes[at + static_cast<std::uint64_t>(i)] = static_cast<std::uint8_t>(value);
    }
}

inline void appendBigEndian(std::vector<std::uint8_t>& bytes, std::uint64_t value, int count)
{
    bytes.resize(bytes.size() + static_cast<std::size_t>(count));
    putBigEndian(bytes, bytes.size() - static_cast<std::size_t>(count), value, count);
}

inline void appendRange(std::vector<std::uint8_t>& to, std::span<const std::uint8_t> from,
                        std::uint64_t begin, std::uint64_t end)
{
    to.insert(to.end(), from.begin() + static_cast<std::ptrdiff_t>(begin),
              from.begin() + static_cast<std::ptrdiff_t>(end));
}

inline std::vector<std::uint8_t> withoutDecodeTimes(std::vector<std::uint8_t> bytes)
{
    for (const auto& tfdt : findBoxes(bytes, "tfdt")) {
        std::copy_n("free", 4, bytes.begin() + static_cast<std::ptrdiff_t>(tfdt.offset + 4));
    }
    return bytes;
}

// Each tfhd gains a base data offset pointing at the payload of the mdat after its moof (8 bytes
// more); each tfdt (20 bytes) becomes a 12-byte free box, so no box moves. Empty on a file of
// another shape.
inline std::vector<std::uint8_t> withBaseAtMdatPayload(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> out = bytes;
    const auto top = walkBoxes(bytes, 0, bytes.size());
    if (!top) {
        return {};
    }
    for (std::size_t i = 0; i + 1 < top->size(); ++i) {
        const WalkedBox& moof = (*top)[i];
        if (moof.type != "moof" || (*top)[i + 1].type != "mdat") {
            continue;
        }
        const std::uint64_t base = (*top)[i + 1].offset + (*top)[i + 1].headerSize;
        std::vector<WalkedBox> trafs;
        findBoxes(bytes, moof.offset + 8, moof.offset + moof.size, "traf", trafs);
        for (const auto& traf : trafs) {
            std::vector<std::uint8_t> payload;
            const auto children = walkBoxes(bytes, traf.offset + 8, traf.offset + traf.size);
            for (const auto& child : *children) {
                const std::uint64_t p = child.offset + 8;
                if (child.type == "tfhd") {
                    const std::uint64_t flags = bigEndian(bytes, p, 4);
                    appendBigEndian(payload, child.size + 8, 4);
                    appendRange(payload, bytes, child.offset + 4, child.offset + 8);
                    appendBigEndian(payload, (flags & ~std::uint64_t{0x020000}) | 0x000001, 4);
                    appendRange(payload, bytes, p + 4, p + 8);
                    appendBigEndian(payload, base, 8);
                    appendRange(payload, bytes, p + 8, child.offset + child.size);
                } else if (child.type == "tfdt") {
                    if (child.size != 20) {
                        return {};
                    }
                    appendBigEndian(payload, 12, 4);
                    payload.insert(payload.end(), {'f', 'r', 'e', 'e', 0, 0, 0, 0});
                } else if (child.type == "trun") {
                    const std::size_t at = payload.size();
                    appendRange(payload, bytes, child.offset, child.offset + child.size);
                    if (bigEndian(bytes, p, 4) & 1) {
                        const auto offset = static_cast<std::int32_t>(bigEndian(bytes, p + 8, 4));
                        putBigEndian(payload, at + 16,
                                     static_cast<std::uint32_t>(
                                         offset - static_cast<std::int32_t>(base - moof.offset)),
                                     4);
                    }
                } else {
                    appendRange(payload, bytes, child.offset, child.offset + child.size);
                }
            }
            if (payload.size() != traf.size - 8) {
                return {};
            }
            std::copy(payload.begin(), payload.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(traf.offset + 8));
        }
    }
    return out;
}

inline std::size_t bytesPerSample(std::uint64_t flags)
{
    return 4u * (((flags & 0x100) != 0) + ((flags & 0x200) != 0) + ((flags & 0x400) != 0) +
                 ((flags & 0x800) != 0));
}

// Every trun of two samples or more split into two: the first keeps its data offset and first
// sample flags, the second has neither and continues where the first ended. Each moof grows by
// 16 bytes a split, so the first run's data offset grows by its moof's growth; the mfra, whose
// offsets would be stale, is left out.
inline std::vector<std::uint8_t> withSplitRuns(const std::vector<std::uint8_t>& bytes)
{
    const auto top = walkBoxes(bytes, 0, bytes.size());
    if (!top) {
        return {};
    }
    std::vector<std::uint8_t> out;
    for (const auto& box : *top) {
        if (box.type == "mfra") {
            continue;
        }
        if (box.type != "moof") {
            appendRange(out, bytes, box.offset, box.offset + box.size);
            continue;
        }
        std::vector<WalkedBox> runs;
        findBoxes(bytes, box.offset + 8, box.offset + box.size, "trun", runs);
        std::uint64_t growth = 0;
        for (const auto& run : runs) {
            growth += bigEndian(bytes, run.offset + 12, 4) >= 2 ? 16 : 0;
        }
        const std::size_t moofAt = out.size();
        appendRange(out, bytes, box.offset, box.offset + 8);
        const auto children = walkBoxes(bytes, box.offset + 8, box.offset + box.size)
                                  .value_or(std::vector<WalkedBox>{});
        for (const auto& child : children) {
            if (child.type != "traf") {
                appendRange(out, bytes, child.offset, child.offset + child.size);
                continue;
            }
            const std::size_t trafAt = out.size();
            appendRange(out, bytes, child.offset, child.offset + 8);
            const auto parts = walkBoxes(bytes, child.offset + 8, child.offset + child.size)
                                   .value_or(std::vector<WalkedBox>{});
            for (const auto& part : parts) {
                const std::uint64_t p = part.offset + 8;
                const std::uint64_t count = part.type == "trun" ? bigEndian(bytes, p + 4, 4) : 0;
                if (count < 2) {
                    const std::size_t at = out.size();
                    appendRange(out, bytes, part.offset, part.offset + part.size);
                    if (part.type == "trun" && (bigEndian(bytes, p, 4) & 1)) {
                        putBigEndian(out, at + 16, bigEndian(bytes, p + 8, 4) + growth, 4);
                    }
                    continue;
                }
                const std::uint64_t flags = bigEndian(bytes, p, 4) & 0xFFFFFF;
                const std::uint64_t version = bytes[p];
                const std::size_t perSample = bytesPerSample(flags);
                const std::uint64_t fields = p + 8 + ((flags & 1) ? 4 : 0) + ((flags & 4) ? 4 : 0);
                const std::uint64_t firstCount = count / 2;
                const std::size_t firstAt = out.size();
                appendBigEndian(out, 0, 4);
                out.insert(out.end(), {'t', 'r', 'u', 'n'});
                appendRange(out, bytes, p, p + 4);
                appendBigEndian(out, firstCount, 4);
                if (flags & 1) {
                    appendBigEndian(out, bigEndian(bytes, p + 8, 4) + growth, 4);
                }
                if (flags & 4) {
                    appendRange(out, bytes, fields - 4, fields);
                }
                appendRange(out, bytes, fields, fields + firstCount * perSample);
                putBigEndian(out, firstAt, out.size() - firstAt, 4);
                const std::size_t secondAt = out.size();
                appendBigEndian(out, 0, 4);
                out.insert(out.end(), {'t', 'r', 'u', 'n'});
                appendBigEndian(out, version << 24 | (flags & ~std::uint64_t{5}), 4);
                appendBigEndian(out, count - firstCount, 4);
                appendRange(out, bytes, fields + firstCount * perSample,
                            fields + count * perSample);
                putBigEndian(out, secondAt, out.size() - secondAt, 4);
            }
            putBigEndian(out, trafAt, out.size() - trafAt, 4);
        }
        putBigEndian(out, moofAt, out.size() - moofAt, 4);
    }
    return out;
}

} // namespace mp4_variants
