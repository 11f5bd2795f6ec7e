#pragma once
// The processor-specific ways of convertBgraToNv12, exposed so that tests can hold each of them
// against the scalar reference. convertBgraToNv12 takes the fastest one available.
#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define ORLIMO_NV12_SSE2 1
#define ORLIMO_NV12_AVX2 1
#else
#define ORLIMO_NV12_SSE2 0
#define ORLIMO_NV12_AVX2 0
#endif

enum class Nv12Path : std::uint8_t {
    Scalar,
    Sse2,
    Avx2,
};

bool isNv12PathAvailable(Nv12Path path) noexcept;

// The path convertBgraToNv12 takes on this processor.
Nv12Path fastestNv12Path() noexcept;

// Falls back to the scalar reference when `path` is not available.
void convertBgraToNv12With(Nv12Path path, const std::uint8_t* bgra, std::uint8_t* nv12,
                           std::int32_t width, std::int32_t height);

#if ORLIMO_NV12_AVX2
// Converts the leading multiple of 32 columns of one row pair and returns how many it did.
// Only to be called when the processor and the system support AVX2.
std::int32_t convertRowPairAvx2(const std::uint8_t* top, const std::uint8_t* bottom,
                                std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* uv,
                                std::int32_t width);
#endif
