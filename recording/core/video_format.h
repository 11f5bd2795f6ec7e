#pragma once
// Sizes, rates and timing of the recorded video, shared by the worker and the MP4 writer.
#include "common/pixel_rect.h"
#include "recording/core/media_clock.h"

#include <cstdint>

inline constexpr std::int64_t AudioWriteLag = UnitsPerSecond / 10; // sound is written 0.1 s behind

inline constexpr std::int32_t MinFrameSide = 16;
inline constexpr std::int32_t MaxFrameWidth = 3840;
inline constexpr std::int32_t MaxFrameHeight = 2160;

struct FrameSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// Width and height of the region, each rounded down to an even number. A region whose size does
// not fit 32 bits (or is negative) gives a size that isRecordableFrameSize refuses.
FrameSize evenFrameSize(const PixelRect& region) noexcept;

// 16x16 up to 3840x2160.
bool isRecordableFrameSize(FrameSize size) noexcept;

// Bytes of one NV12 frame: width x height x 3 / 2.
std::uint32_t nv12FrameBytes(FrameSize size) noexcept;

// Average H.264 bit rate: width x height x 4, limited to 1,000,000..16,000,000.
std::int32_t videoBitRate(std::int32_t width, std::int32_t height) noexcept;
