#pragma once
// Small fragmented MP4 files made from bytes, for tests that cannot run an encoder: one H.264
// track (made-up samples, real box layout) in fragments of a few samples, as the platform's
// fragmented-MP4 sink lays them out (ftyp, a moov with mvex, then moof + mdat pairs).
#include "support/mp4_box_walker.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

inline void put8(Bytes& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
}
inline void put16(Bytes& out, std::uint32_t value)
{
    put8(out, value >> 8);
    put8(out, value);
}
inline void put32(Bytes& out, std::uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xFFFFu);
}
inline void put64(Bytes& out, std::uint64_t value)
{
    put32(out, static_cast<std::uint32_t>(value >> 32));
    put32(out, static_cast<std::uint32_t>(value));
}
inline void putZeros(Bytes& out, std::size_t count)
{
    out.insert(out.end(), count, 0);
}
inline void putBytes(Bytes& out, const Bytes& bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

inline Bytes box(const char* type, const Bytes& payload)
{
    Bytes out;
    put32(out, static_cast<std::uint32_t>(payload.size() + 8));
    out.insert(out.end(), type, type + 4);
    putBytes(out, payload);
    return out;
}

inline Bytes fullBox(const char* type, std::uint8_t version, std::uint32_t flags,
                     const Bytes& payload)
{
    Bytes body;
    put32(body, (static_cast<std::uint32_t>(version) << 24) | flags);
    putBytes(body, payload);
    return box(type, body);
}

template <typename... Children>
Bytes container(const char* type, const Children&... children)
{
    Bytes payload;
    (putBytes(payload, children), ...);
    return box(type, payload);
}

inline void putMatrix(Bytes& out)
{
    for (const std::uint32_t value :
         {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
        put32(out, value);
    }
}

inline Bytes initialMoov(std::uint16_t width, std::uint16_t height)
{
    Bytes mvhd;
    put32(mvhd, 0); // creation
    put32(mvhd, 0); // modification
    put32(mvhd, 1000);
    put32(mvhd, 0); // duration: unknown while fragments follow
    put32(mvhd, 0x00010000);
    put16(mvhd, 0x0100);
    putZeros(mvhd, 10);
    putMatrix(mvhd);
    putZeros(mvhd, 24);
    put32(mvhd, 2); // next track

    Bytes tkhd;
    put32(tkhd, 0);
    put32(tkhd, 0);
    put32(tkhd, 1); // track 1
    put32(tkhd, 0);
    put32(tkhd, 0); // duration
    putZeros(tkhd, 8);
    put16(tkhd, 0);
    put16(tkhd, 0);
    put16(tkhd, 0);
    put16(tkhd, 0);
    putMatrix(tkhd);
    put32(tkhd, static_cast<std::uint32_t>(width) << 16);
    put32(tkhd, static_cast<std::uint32_t>(height) << 16);

    Bytes mdhd;
    put32(mdhd, 0);
    put32(mdhd, 0);
    put32(mdhd, 30); // one tick per frame at 30 fps
    put32(mdhd, 0);
    put16(mdhd, 0x55C4); // "und"
    put16(mdhd, 0);

    Bytes hdlr;
    put32(hdlr, 0);
    hdlr.insert(hdlr.end(), {'v', 'i', 'd', 'e'});
    putZeros(hdlr, 12);
    put8(hdlr, 0); // empty name

    Bytes vmhd;
    putZeros(vmhd, 8);
    Bytes dref;
    put32(dref, 1);
    putBytes(dref, fullBox("url ", 0, 1, {}));

    Bytes avcC;
    for (const std::uint32_t value : {1u, 0x42u, 0xC0u, 0x1Eu, 0xFFu, 0xE1u}) {
        put8(avcC, value);
    }
    const Bytes sps = {0x67, 0x42, 0xC0, 0x1E, 0xD9, 0x00, 0x44, 0x6C};
    const Bytes pps = {0x68, 0xCE, 0x3C, 0x80};
    put16(avcC, static_cast<std::uint32_t>(sps.size()));
    putBytes(avcC, sps);
    put8(avcC, 1);
    put16(avcC, static_cast<std::uint32_t>(pps.size()));
    putBytes(avcC, pps);

    Bytes avc1;
    putZeros(avc1, 6);
    put16(avc1, 1); // data reference
    putZeros(avc1, 16);
    put16(avc1, width);
    put16(avc1, height);
    put32(avc1, 0x00480000);
    put32(avc1, 0x00480000);
    put32(avc1, 0);
    put16(avc1, 1);
    putZeros(avc1, 32);
    put16(avc1, 0x18);
    put16(avc1, 0xFFFF);
    putBytes(avc1, box("avcC", avcC));

    Bytes stsd;
    put32(stsd, 1);
    putBytes(stsd, box("avc1", avc1));
    Bytes empty;
    put32(empty, 0);
    Bytes stsz;
    put32(stsz, 0);
    put32(stsz, 0);

    const Bytes stbl = container("stbl", fullBox("stsd", 0, 0, stsd), fullBox("stts", 0, 0, empty),
                                 fullBox("stsc", 0, 0, empty), fullBox("stsz", 0, 0, stsz),
                                 fullBox("stco", 0, 0, empty));
    const Bytes minf = container("minf", fullBox("vmhd", 0, 1, vmhd),
                                 container("dinf", fullBox("dref", 0, 0, dref)), stbl);
    const Bytes mdia =
        container("mdia", fullBox("mdhd", 0, 0, mdhd), fullBox("hdlr", 0, 0, hdlr), minf);
    const Bytes trak = container("trak", fullBox("tkhd", 0, 3, tkhd), mdia);

    Bytes trex;
    put32(trex, 1);          // track
    put32(trex, 1);          // sample description
    put32(trex, 1);          // one tick
    put32(trex, 0);          // size: in each trun
    put32(trex, 0x01010000); // not a sync sample
    const Bytes mvex = container("mvex", fullBox("trex", 0, 0, trex));
    return container("moov", fullBox("mvhd", 0, 0, mvhd), trak, mvex);
}

// One fragment: `count` samples of `size` bytes from `firstSample` on (the first a sync
// sample), each byte the sample's number.
inline Bytes fragment(std::uint32_t sequence, std::uint32_t firstSample, std::uint32_t count,
                      std::uint32_t size)
{
    const auto moofWith = [&](std::uint32_t dataOffset) {
        Bytes mfhd;
        put32(mfhd, sequence);
        Bytes tfhd;
        put32(tfhd, 1);
        Bytes tfdt;
        put64(tfdt, firstSample);
        Bytes trun;
        put32(trun, count);
        put32(trun, dataOffset);
        put32(trun, 0x02000000); // the first sample is a sync sample
        for (std::uint32_t i = 0; i < count; ++i) {
            put32(trun, size);
        }
        // default-base-is-moof; data offset, first sample flags and sizes in the trun.
        return container("moof", fullBox("mfhd", 0, 0, mfhd),
                         container("traf", fullBox("tfhd", 0, 0x020000, tfhd),
                                   fullBox("tfdt", 1, 0, tfdt),
                                   fullBox("trun", 0, 0x000205, trun)));
    };
    const std::size_t moofSize = moofWith(0).size();
    Bytes out = moofWith(static_cast<std::uint32_t>(moofSize + 8));
    Bytes data;
    for (std::uint32_t i = 0; i < count; ++i) {
        data.insert(data.end(), size, static_cast<std::uint8_t>(firstSample + i));
    }
    putBytes(out, box("mdat", data));
    return out;
}

// A whole fragmented file: `fragments` fragments of `samplesPerFragment` samples.
inline Bytes fragmentedMp4(std::uint32_t fragments, std::uint32_t samplesPerFragment,
                           std::uint32_t sampleSize = 64)
{
    Bytes ftyp;
    ftyp.insert(ftyp.end(), {'i', 's', 'o', '5'});
    put32(ftyp, 512);
    for (const char* brand : {"iso5", "iso6", "mp41"}) {
        ftyp.insert(ftyp.end(), brand, brand + 4);
    }
    Bytes out = box("ftyp", ftyp);
    putBytes(out, initialMoov(64, 48));
    for (std::uint32_t i = 0; i < fragments; ++i) {
        putBytes(out, fragment(i + 1, i * samplesPerFragment, samplesPerFragment, sampleSize));
    }
    return out;
}

struct TopLevelBox {
    std::string type; // "?" where a header is damaged or reaches past the end
    std::size_t offset = 0;
    std::size_t size = 0;
};

// The top-level boxes of `file`, in order, up to the first damaged one.
inline std::vector<TopLevelBox> topLevelBoxList(const Bytes& file)
{
    std::vector<TopLevelBox> boxes;
    std::size_t at = 0;
    while (at + 8 <= file.size()) {
        const std::optional<WalkedBox> box = boxAt(file, at, file.size());
        if (!box) {
            boxes.push_back({"?", at, file.size() - at});
            break;
        }
        boxes.push_back({box->type, at, static_cast<std::size_t>(box->size)});
        at += static_cast<std::size_t>(box->size);
    }
    return boxes;
}

// The types of the top-level boxes, in order; "?" where a header is damaged.
inline std::vector<std::string> topLevelBoxes(const Bytes& file)
{
    std::vector<std::string> types;
    for (const TopLevelBox& box : topLevelBoxList(file)) {
        types.push_back(box.type);
    }
    return types;
}

// Whether `type` appears anywhere in bytes [begin, end) of `file` (a plain search for the type's
// four characters, enough for a moov, which holds no sample data).
inline bool mentions(const Bytes& file, std::size_t begin, std::size_t end, const char* type)
{
    for (std::size_t i = begin; i + 4 <= end && i + 4 <= file.size(); ++i) {
        if (std::memcmp(&file[i], type, 4) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace test_support
