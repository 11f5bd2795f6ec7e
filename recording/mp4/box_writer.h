#pragma once
// Writing boxes into a growing buffer: a box is opened with a placeholder for its size, its
// fields and children follow, and closing it writes the size it came to.
#include "recording/mp4/box_reader.h"

#include <cstdint>
#include <span>
#include <vector>

class BoxWriter {
public:
    explicit BoxWriter(std::vector<std::uint8_t>& into) noexcept : out(into) {}

    // Returns where the box starts, for close().
    std::size_t open(FourCc type);
    std::size_t openFull(FourCc type, std::uint8_t version, std::uint32_t flags);
    void close(std::size_t start);

    void u8(std::uint8_t value) { out.push_back(value); }
    void u16(std::uint16_t value) { put(value, 2); }
    void u32(std::uint32_t value) { put(value, 4); }
    void u64(std::uint64_t value) { put(value, 8); }
    // A field whose width the box's version or type chooses: 64 bits when wide, else the low 32.
    void u32or64(std::uint64_t value, bool wide)
    {
        wide ? u64(value) : u32(static_cast<std::uint32_t>(value));
    }
    void bytes(std::span<const std::uint8_t> value)
    {
        out.insert(out.end(), value.begin(), value.end());
    }

private:
    void put(std::uint64_t value, int count);

    std::vector<std::uint8_t>& out;
};
