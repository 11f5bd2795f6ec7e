#include "recording/mp4/box_reader.h"

std::uint64_t ByteReader::take(std::size_t count) noexcept
{
    if (!good || data.size() - at < count) {
        good = false;
        return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value = value << 8 | data[at + i];
    }
    at += count;
    return value;
}

void ByteReader::skip(std::size_t count) noexcept
{
    if (!good || data.size() - at < count) {
        good = false;
        return;
    }
    at += count;
}

std::span<const std::uint8_t> ByteReader::bytes(std::size_t count) noexcept
{
    if (!good || data.size() - at < count) {
        good = false;
        return {};
    }
    auto taken = data.subspan(at, count);
    at += count;
    return taken;
}

std::optional<BoxHeader> parseBoxHeader(std::span<const std::uint8_t> header, std::uint64_t offset,
                                        std::uint64_t spaceLeft) noexcept
{
    ByteReader reader(header);
    BoxHeader box;
    box.offset = offset;
    std::uint64_t size = reader.u32();
    box.type = reader.u32();
    box.headerSize = 8;
    if (size == 1) {
        size = reader.u64();
        box.headerSize = 16;
    } else if (size == 0) {
        size = spaceLeft;
    }
    if (!reader.ok() || size < box.headerSize) {
        return std::nullopt;
    }
    box.size = size;
    return box;
}

std::optional<ChildBoxes::Child> ChildBoxes::next() noexcept
{
    if (!good || at >= data.size()) {
        return std::nullopt;
    }
    const auto rest = data.subspan(at);
    const auto header = parseBoxHeader(rest, at, rest.size());
    // A size of 0 ("to the end of the file") belongs only to a file's last box; inside another
    // box it would make a copy of this child swallow whatever follows it.
    const bool toEnd =
        rest.size() >= 4 && rest[0] == 0 && rest[1] == 0 && rest[2] == 0 && rest[3] == 0;
    if (!header || toEnd || header->size > rest.size()) {
        good = false;
        return std::nullopt;
    }
    const auto length = static_cast<std::size_t>(header->size);
    const auto headerLength = static_cast<std::size_t>(header->headerSize);
    Child child{header->type, rest.subspan(headerLength, length - headerLength),
                rest.subspan(0, length)};
    at += length;
    return child;
}

std::optional<std::span<const std::uint8_t>> findChild(std::span<const std::uint8_t> payload,
                                                       FourCc type) noexcept
{
    ChildBoxes children(payload);
    while (const auto child = children.next()) {
        if (child->type == type) {
            return child->payload;
        }
    }
    return std::nullopt;
}
