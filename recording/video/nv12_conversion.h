#pragma once
// BGRA frames from the desktop capture into the NV12 layout the H.264 encoder takes: 8-bit
// BT.601 studio range, one chroma pair per 2x2 block from the block's averaged colour.
#include <cstdint>
#include <vector>

// `bgra`: width x height pixels of 4 bytes (blue, green, red, ignored), rows top-down, no padding.
// `nv12` must already hold width x height x 3 / 2 bytes; only its contents change.
// Width and height are even and positive.
void convertBgraToNv12(const std::uint8_t* bgra, std::vector<std::uint8_t>& nv12,
                       std::int32_t width, std::int32_t height);

// The plain formula, one block at a time: the reference every faster path must match.
void convertBgraToNv12Scalar(const std::uint8_t* bgra, std::uint8_t* nv12, std::int32_t width,
                             std::int32_t height);
