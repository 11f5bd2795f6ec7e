#pragma once
// The tests' own reading of MP4 boxes, written apart from the finisher's so that the two check
// each other: the top-level boxes, a search by type through the container boxes, and the check
// that a file is an ordinary MP4 whose sample tables point into its mdat.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace test_support {

struct WalkedBox {
    std::string type;
    std::uint64_t offset = 0;
    std::uint64_t headerSize = 0;
    std::uint64_t size = 0;
};

inline std::uint64_t bigEndian(std::span<const std::uint8_t> bytes, std::uint64_t at, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value = value << 8 | bytes[at + static_cast<std::uint64_t>(i)];
    }
    return value;
}

// The box whose header starts at `at`, if it fits inside [at, end).
inline std::optional<WalkedBox> boxAt(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                      std::uint64_t end)
{
    if (at > end || end - at < 8) {
        return std::nullopt;
    }
    WalkedBox box;
    box.offset = at;
    box.size = bigEndian(bytes, at, 4);
    box.type.assign(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
    box.headerSize = 8;
    if (box.size == 1) {
        if (end - at < 16) {
            return std::nullopt;
        }
        box.size = bigEndian(bytes, at + 8, 8);
        box.headerSize = 16;
    } else if (box.size == 0) {
        box.size = end - at;
    }
    if (box.size < box.headerSize || box.size > end - at) {
        return std::nullopt;
    }
    return box;
}

// The boxes that fill [begin, end) one after another; empty optional if one does not fit.
inline std::optional<std::vector<WalkedBox>> walkBoxes(std::span<const std::uint8_t> bytes,
                                                       std::uint64_t begin, std::uint64_t end)
{
    std::vector<WalkedBox> boxes;
    for (std::uint64_t at = begin; at < end;) {
        const std::optional<WalkedBox> box = boxAt(bytes, at, end);
        if (!box) {
            return std::nullopt;
        }
        boxes.push_back(*box);
        at += box->size;
    }
    return boxes;
}

inline bool isContainer(const std::string& type)
{
    for (const char* name :
         {"moov", "trak", "edts", "mdia", "minf", "stbl", "mvex", "moof", "traf", "dinf"}) {
        if (type == name) {
            return true;
        }
    }
    return false;
}

// Every box of the given type inside the containers of [begin, end), depth first.
inline void findBoxes(std::span<const std::uint8_t> bytes, std::uint64_t begin, std::uint64_t end,
                      const std::string& type, std::vector<WalkedBox>& found, int depth = 0)
{
    const auto boxes = walkBoxes(bytes, begin, end);
    if (!boxes || depth > 8) {
        return;
    }
    for (const auto& box : *boxes) {
        if (box.type == type) {
            found.push_back(box);
        }
        if (isContainer(box.type)) {
            findBoxes(bytes, box.offset + box.headerSize, box.offset + box.size, type, found,
                      depth + 1);
        }
    }
}

inline std::vector<WalkedBox> findBoxes(std::span<const std::uint8_t> bytes,
                                        const std::string& type)
{
    std::vector<WalkedBox> found;
    findBoxes(bytes, 0, bytes.size(), type, found);
    return found;
}

// The boxes of the given type among the children of `parent`.
inline std::vector<WalkedBox> childrenOf(std::span<const std::uint8_t> bytes,
                                         const WalkedBox& parent, const std::string& type)
{
    std::vector<WalkedBox> found;
    const auto children =
        walkBoxes(bytes, parent.offset + parent.headerSize, parent.offset + parent.size);
    for (const auto& child : children.value_or(std::vector<WalkedBox>{})) {
        if (child.type == type) {
            found.push_back(child);
        }
    }
    return found;
}

// The sample tables a player reads: moov/trak/mdia/minf/stbl.
inline std::vector<WalkedBox> sampleTables(std::span<const std::uint8_t> bytes,
                                           const WalkedBox& moov)
{
    std::vector<WalkedBox> tables;
    for (const auto& trak : childrenOf(bytes, moov, "trak")) {
        for (const auto& mdia : childrenOf(bytes, trak, "mdia")) {
            for (const auto& minf : childrenOf(bytes, mdia, "minf")) {
                for (const auto& stbl : childrenOf(bytes, minf, "stbl")) {
                    tables.push_back(stbl);
                }
            }
        }
    }
    return tables;
}

// Empty when `bytes` is an ordinary MP4: one ftyp first, one moov without mvex, no fragment
// boxes at the top (only ftyp, mdat and moov unless `otherTopLevelBoxes`), and every chunk of
// every track (stco/co64, stsc, stsz) inside the payload of a top-level mdat. Otherwise one line
// saying what is wrong.
inline std::string ordinaryMp4Fault(std::span<const std::uint8_t> bytes,
                                    bool otherTopLevelBoxes = false)
{
    const auto top = walkBoxes(bytes, 0, bytes.size());
    if (!top || top->empty()) {
        return "the top-level boxes do not fill the file";
    }
    std::optional<WalkedBox> moov;
    int moovs = 0;
    for (const auto& box : *top) {
        const bool expected = box.type == "ftyp" || box.type == "mdat" || box.type == "moov";
        if (box.type == "moof" || box.type == "mfra" || (!expected && !otherTopLevelBoxes)) {
            return "a top-level " + box.type + " box";
        }
        if (box.type == "moov") {
            moov = box;
            ++moovs;
        }
    }
    if (moovs != 1 || top->front().type != "ftyp") {
        return "not one ftyp first and one moov";
    }
    if (!childrenOf(bytes, *moov, "mvex").empty()) {
        return "an mvex in the moov";
    }
    for (const auto& stbl : sampleTables(bytes, *moov)) {
        const auto tables =
            walkBoxes(bytes, stbl.offset + stbl.headerSize, stbl.offset + stbl.size);
        if (!tables) {
            return "a damaged sample table";
        }
        std::optional<WalkedBox> stsz, stsc, offsets;
        for (const auto& table : *tables) {
            if (table.type == "stsz") {
                stsz = table;
            } else if (table.type == "stsc") {
                stsc = table;
            } else if (table.type == "stco" || table.type == "co64") {
                offsets = table;
            }
        }
        if (!stsz || !stsc || !offsets || stsz->size < 20 || stsc->size < 16 ||
            offsets->size < 16) {
            return "a sample table without stsz, stsc and chunk offsets";
        }
        const std::uint64_t p = stsz->offset + stsz->headerSize;
        const std::uint64_t constantSize = bigEndian(bytes, p + 4, 4);
        const std::uint64_t samples = bigEndian(bytes, p + 8, 4);
        if (constantSize == 0 && stsz->size < 20 + samples * 4) {
            return "stsz shorter than its count";
        }
        const bool wide = offsets->type == "co64";
        const std::uint64_t o = offsets->offset + offsets->headerSize;
        const std::uint64_t chunks = bigEndian(bytes, o + 4, 4);
        if (offsets->size < 16 + chunks * (wide ? 8 : 4)) {
            return "chunk offsets shorter than their count";
        }
        const std::uint64_t c = stsc->offset + stsc->headerSize;
        const std::uint64_t entries = bigEndian(bytes, c + 4, 4);
        if (stsc->size < 16 + entries * 12) {
            return "stsc shorter than its count";
        }
        std::uint64_t sample = 0;
        for (std::uint64_t entry = 0; entry < entries; ++entry) {
            const std::uint64_t firstChunk = bigEndian(bytes, c + 8 + entry * 12, 4);
            const std::uint64_t perChunk = bigEndian(bytes, c + 12 + entry * 12, 4);
            const std::uint64_t lastChunk =
                entry + 1 < entries ? bigEndian(bytes, c + 8 + (entry + 1) * 12, 4) - 1 : chunks;
            if (firstChunk == 0 || lastChunk > chunks || firstChunk > lastChunk + 1) {
                return "stsc names chunks that are not there";
            }
            for (std::uint64_t chunk = firstChunk; chunk <= lastChunk; ++chunk) {
                std::uint64_t at =
                    bigEndian(bytes, o + 8 + (chunk - 1) * (wide ? 8 : 4), wide ? 8 : 4);
                for (std::uint64_t i = 0; i < perChunk; ++i, ++sample) {
                    if (sample >= samples) {
                        return "stsc holds more samples than stsz";
                    }
                    const std::uint64_t size =
                        constantSize != 0 ? constantSize : bigEndian(bytes, p + 12 + sample * 4, 4);
                    bool inside = false;
                    for (const auto& box : *top) {
                        inside =
                            inside || (box.type == "mdat" && at >= box.offset + box.headerSize &&
                                       at + size <= box.offset + box.size);
                    }
                    if (!inside) {
                        return "a sample outside every mdat";
                    }
                    at += size;
                }
            }
        }
        if (sample != samples) {
            return "stsc and stsz count different samples";
        }
    }
    return {};
}

} // namespace test_support
