#pragma once
// Reading ISO base media boxes from bytes that came from outside: every read is checked against
// the bytes that are there, a failed read sets a flag and yields zero, and a box's size is taken
// only when it fits inside its parent.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

using FourCc = std::uint32_t;

constexpr FourCc fourCc(const char (&name)[5]) noexcept
{
    return static_cast<FourCc>(static_cast<std::uint8_t>(name[0])) << 24 |
           static_cast<FourCc>(static_cast<std::uint8_t>(name[1])) << 16 |
           static_cast<FourCc>(static_cast<std::uint8_t>(name[2])) << 8 |
           static_cast<FourCc>(static_cast<std::uint8_t>(name[3]));
}

// Big-endian fields in order; once a read runs past the end every later read fails too.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept : data(bytes) {}

    std::uint8_t u8() noexcept { return static_cast<std::uint8_t>(take(1)); }
    std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(take(2)); }
    std::uint32_t u32() noexcept { return static_cast<std::uint32_t>(take(4)); }
    std::uint64_t u64() noexcept { return take(8); }
    void skip(std::size_t count) noexcept;
    std::span<const std::uint8_t> bytes(std::size_t count) noexcept;

    bool ok() const noexcept { return good; }
    std::size_t position() const noexcept { return at; }
    std::size_t remaining() const noexcept { return good ? data.size() - at : 0; }

private:
    std::uint64_t take(std::size_t count) noexcept;

    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    bool good = true;
};

// A box's place: where its header starts, how long the header and the whole box are.
struct BoxHeader {
    FourCc type = 0;
    std::uint64_t offset = 0;
    std::uint64_t headerSize = 0;
    std::uint64_t size = 0;
};

// The header of the box that starts `header` (at least 16 bytes when there are, fewer at the
// end of a file); `spaceLeft` is what its parent has from the box's start on. A size of 0 means
// "to the end of the parent". Empty when the header is cut short or claims less than itself;
// a size past `spaceLeft` is returned as read, for the caller to decide (a file's last box may
// be cut off).
std::optional<BoxHeader> parseBoxHeader(std::span<const std::uint8_t> header, std::uint64_t offset,
                                        std::uint64_t spaceLeft) noexcept;

// The children of a box held in memory, in order; stops at the first child that does not fit or
// claims a size of 0.
class ChildBoxes {
public:
    struct Child {
        FourCc type = 0;
        std::span<const std::uint8_t> payload;
        std::span<const std::uint8_t> whole;
    };

    explicit ChildBoxes(std::span<const std::uint8_t> payload) noexcept : data(payload) {}
    std::optional<Child> next() noexcept;
    // True when every byte was taken by whole children.
    bool allWhole() const noexcept { return good && at == data.size(); }

private:
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
    bool good = true;
};

// The payload of the first child of the given type, if one fits.
std::optional<std::span<const std::uint8_t>> findChild(std::span<const std::uint8_t> payload,
                                                       FourCc type) noexcept;
