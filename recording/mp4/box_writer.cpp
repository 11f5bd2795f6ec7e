#include "recording/mp4/box_writer.h"

void BoxWriter::put(std::uint64_t value, int count)
{
    for (int shift = (count - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::size_t BoxWriter::open(FourCc type)
{
    const std::size_t start = out.size();
    u32(0);
    u32(type);
    return start;
}

std::size_t BoxWriter::openFull(FourCc type, std::uint8_t version, std::uint32_t flags)
{
    const std::size_t start = open(type);
    u32(static_cast<std::uint32_t>(version) << 24 | (flags & 0xFFFFFFu));
    return start;
}

// Boxes written here stay below 4 GiB (the moov of a long recording is a few megabytes).
void BoxWriter::close(std::size_t start)
{
    const auto size = static_cast<std::uint32_t>(out.size() - start);
    for (int i = 0; i < 4; ++i) {
        out[start + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
}
