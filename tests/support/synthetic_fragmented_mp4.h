#pragma once
// A made-up fragmented recording as a recorder would write it, without its sample data: an ftyp,
// a moov with mvex for one H.264 and one AAC track, then one moof and one mdat a fragment, each
// mdat only a header in front of the place its samples take. Only the boxes are handed out, with
// their offsets; the caller puts them in a sparse file. For the finisher's benchmark and for
// files past 4 GiB that are never written.
#include "recording/mp4/box_writer.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace test_support {

struct SyntheticRecordingShape {
    std::uint32_t fragments = 3600;            // one a second
    std::uint32_t videoBytesPerFrame = 33'333; // 8 Mbit/s at 30 fps
    std::uint32_t audioBytesPerFrame = 427;    // 160 kbit/s in 1024-sample AAC frames at 48 kHz
    std::uint64_t extraDataPerFragment = 0;    // padding after the samples, to pass 4 GiB cheaply
};

constexpr std::uint32_t SyntheticVideoTimescale = 30'000;
constexpr std::uint32_t SyntheticFrameDuration = 1'000;
constexpr std::uint32_t SyntheticAudioTimescale = 48'000;
constexpr std::uint32_t SyntheticAudioFrame = 1'024;

inline std::vector<std::uint8_t> syntheticInitialSegment()
{
    std::vector<std::uint8_t> bytes;
    BoxWriter out(bytes);
    const auto ftyp = out.open(fourCc("ftyp"));
    out.u32(fourCc("iso6"));
    out.u32(0);
    out.u32(fourCc("isom"));
    out.u32(fourCc("iso6"));
    out.close(ftyp);

    const auto moov = out.open(fourCc("moov"));
    const auto mvhd = out.openFull(fourCc("mvhd"), 0, 0);
    for (std::uint32_t value : {0u, 0u, 1000u, 0u, 0x00010000u}) {
        out.u32(value);
    }
    out.u16(0x0100);
    out.bytes(std::vector<std::uint8_t>(10, 0));
    for (std::uint32_t value : {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
        out.u32(value);
    }
    out.bytes(std::vector<std::uint8_t>(24, 0));
    out.u32(3);
    out.close(mvhd);

    for (std::uint32_t track = 1; track <= 2; ++track) {
        const bool video = track == 1;
        const auto trak = out.open(fourCc("trak"));
        const auto tkhd = out.openFull(fourCc("tkhd"), 0, 3);
        for (std::uint32_t value : {0u, 0u, track, 0u, 0u, 0u, 0u}) {
            out.u32(value);
        }
        out.u16(0);
        out.u16(video ? 0 : 1);
        out.u16(video ? 0 : 0x0100);
        out.u16(0);
        for (std::uint32_t value :
             {0x00010000u, 0u, 0u, 0u, 0x00010000u, 0u, 0u, 0u, 0x40000000u}) {
            out.u32(value);
        }
        out.u32(video ? 1920u << 16 : 0);
        out.u32(video ? 1080u << 16 : 0);
        out.close(tkhd);
        const auto mdia = out.open(fourCc("mdia"));
        const auto mdhd = out.openFull(fourCc("mdhd"), 0, 0);
        for (std::uint32_t value :
             {0u, 0u, video ? SyntheticVideoTimescale : SyntheticAudioTimescale, 0u}) {
            out.u32(value);
        }
        out.u16(0x55C4);
        out.u16(0);
        out.close(mdhd);
        const auto hdlr = out.openFull(fourCc("hdlr"), 0, 0);
        out.u32(0);
        out.u32(fourCc(video ? "vide" : "soun"));
        out.bytes(std::vector<std::uint8_t>(13, 0));
        out.close(hdlr);
        const auto minf = out.open(fourCc("minf"));
        if (video) {
            const auto vmhd = out.openFull(fourCc("vmhd"), 0, 1);
            out.bytes(std::vector<std::uint8_t>(8, 0));
            out.close(vmhd);
        } else {
            const auto smhd = out.openFull(fourCc("smhd"), 0, 0);
            out.u32(0);
            out.close(smhd);
        }
        const auto dinf = out.open(fourCc("dinf"));
        const auto dref = out.openFull(fourCc("dref"), 0, 0);
        out.u32(1);
        const auto url = out.openFull(fourCc("url "), 0, 1);
        out.close(url);
        out.close(dref);
        out.close(dinf);
        const auto stbl = out.open(fourCc("stbl"));
        const auto stsd = out.openFull(fourCc("stsd"), 0, 0);
        out.u32(1);
        if (video) {
            const auto avc1 = out.open(fourCc("avc1"));
            out.bytes(std::vector<std::uint8_t>(6, 0));
            out.u16(1);
            out.bytes(std::vector<std::uint8_t>(16, 0));
            out.u16(1920);
            out.u16(1080);
            out.u32(0x00480000);
            out.u32(0x00480000);
            out.u32(0);
            out.u16(1);
            out.bytes(std::vector<std::uint8_t>(32, 0));
            out.u16(24);
            out.u16(0xFFFF);
            const auto avcC = out.open(fourCc("avcC"));
            const std::uint8_t config[] = {1, 0x64, 0, 0x28, 0xFF, 0xE1, 0,    4,    0x67, 0x64,
                                           0, 0x28, 1, 0,    4,    0x68, 0xEE, 0x3C, 0x80};
            out.bytes(config);
            out.close(avcC);
            out.close(avc1);
        } else {
            const auto mp4a = out.open(fourCc("mp4a"));
            out.bytes(std::vector<std::uint8_t>(6, 0));
            out.u16(1);
            out.bytes(std::vector<std::uint8_t>(8, 0));
            out.u16(2);
            out.u16(16);
            out.u32(0);
            out.u32(SyntheticAudioTimescale << 16);
            out.close(mp4a);
        }
        out.close(stsd);
        for (const FourCc table : {fourCc("stts"), fourCc("stsc"), fourCc("stco")}) {
            const auto box = out.openFull(table, 0, 0);
            out.u32(0);
            out.close(box);
        }
        const auto stsz = out.openFull(fourCc("stsz"), 0, 0);
        out.u32(0);
        out.u32(0);
        out.close(stsz);
        out.close(stbl);
        out.close(minf);
        out.close(mdia);
        out.close(trak);
    }
    const auto mvex = out.open(fourCc("mvex"));
    for (std::uint32_t track = 1; track <= 2; ++track) {
        const auto trex = out.openFull(fourCc("trex"), 0, 0);
        out.u32(track);
        out.u32(1);
        out.u32(track == 1 ? SyntheticFrameDuration : SyntheticAudioFrame);
        out.u32(0);
        out.u32(track == 1 ? 0x00010000u : 0u);
        out.close(trex);
    }
    out.close(mvex);
    out.close(moov);
    return bytes;
}

// One second: 30 video frames (a key frame first, then frames shown after two later ones, as
// B-frames are) and the AAC frames that end within the second, video data before audio data.
inline std::vector<std::uint8_t> syntheticFragment(const SyntheticRecordingShape& shape,
                                                   std::uint32_t index,
                                                   std::uint64_t& audioFramesSoFar,
                                                   std::uint64_t& dataSize)
{
    const std::uint64_t audioEnd =
        (static_cast<std::uint64_t>(index) + 1) * SyntheticAudioTimescale / SyntheticAudioFrame;
    const auto audioFrames = static_cast<std::uint32_t>(audioEnd - audioFramesSoFar);
    std::vector<std::uint8_t> bytes;
    BoxWriter out(bytes);
    const auto moof = out.open(fourCc("moof"));
    const auto mfhd = out.openFull(fourCc("mfhd"), 0, 0);
    out.u32(index + 1);
    out.close(mfhd);
    std::size_t videoOffsetAt = 0;
    std::size_t audioOffsetAt = 0;
    for (std::uint32_t track = 1; track <= 2; ++track) {
        const bool video = track == 1;
        const auto traf = out.open(fourCc("traf"));
        const auto tfhd = out.openFull(fourCc("tfhd"), 0, 0x020000 | 0x000010);
        out.u32(track);
        out.u32(video ? shape.videoBytesPerFrame : shape.audioBytesPerFrame);
        out.close(tfhd);
        const auto tfdt = out.openFull(fourCc("tfdt"), 1, 0);
        out.u64(video ? static_cast<std::uint64_t>(index) * 30 * SyntheticFrameDuration
                      : audioFramesSoFar * SyntheticAudioFrame);
        out.close(tfdt);
        const auto trun =
            out.openFull(fourCc("trun"), 0, video ? 0x000001 | 0x000004 | 0x000800 : 0x000001);
        out.u32(video ? 30 : audioFrames);
        (video ? videoOffsetAt : audioOffsetAt) = bytes.size();
        out.u32(0);
        if (video) {
            out.u32(0x02000000);
            for (std::uint32_t frame = 0; frame < 30; ++frame) {
                const std::uint32_t shown = frame == 0 ? 1 : frame % 3 == 1 ? 3 : 0;
                out.u32(shown * SyntheticFrameDuration);
            }
        }
        out.close(trun);
        out.close(traf);
    }
    out.close(moof);
    const std::uint64_t videoData = 30ull * shape.videoBytesPerFrame;
    const std::uint64_t audioData =
        static_cast<std::uint64_t>(audioFrames) * shape.audioBytesPerFrame;
    const std::uint64_t mdatHeader = 16;
    const auto putOffset = [&](std::size_t at, std::uint64_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(value >> (24 - 8 * i));
        }
    };
    putOffset(videoOffsetAt, bytes.size() + mdatHeader);
    putOffset(audioOffsetAt, bytes.size() + mdatHeader + videoData);
    dataSize = videoData + audioData + shape.extraDataPerFragment;
    out.u32(1);
    out.u32(fourCc("mdat"));
    out.u64(mdatHeader + dataSize);
    audioFramesSoFar = audioEnd;
    return bytes;
}

// Hands every box of the recording to `put` with its offset; returns the file's size.
inline std::uint64_t writeSyntheticRecording(
    const SyntheticRecordingShape& shape,
    const std::function<void(std::uint64_t, std::span<const std::uint8_t>)>& put)
{
    const auto initial = syntheticInitialSegment();
    put(0, initial);
    std::uint64_t at = initial.size();
    std::uint64_t audioFrames = 0;
    for (std::uint32_t index = 0; index < shape.fragments; ++index) {
        std::uint64_t dataSize = 0;
        const auto fragment = syntheticFragment(shape, index, audioFrames, dataSize);
        put(at, fragment);
        at += fragment.size() + dataSize;
    }
    return at;
}

} // namespace test_support
