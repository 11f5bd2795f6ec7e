#include "recording/video/nv12_conversion.h"

#include "recording/video/nv12_conversion_paths.h"

#include <algorithm>
#include <cstddef>

#if ORLIMO_NV12_SSE2
#include <emmintrin.h>
#endif
#if defined(_MSC_VER) && ORLIMO_NV12_AVX2
#include <immintrin.h>
#include <intrin.h>
#endif

namespace {

inline std::uint8_t lumaOf(int r, int g, int b) noexcept
{
    return static_cast<std::uint8_t>(std::min(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16, 255));
}

inline std::uint8_t limitByte(int value) noexcept
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// Converts the blocks of columns [firstColumn, width) of one row pair.
void convertRowPairScalar(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                          std::uint8_t* yBottom, std::uint8_t* uv, std::int32_t firstColumn,
                          std::int32_t width) noexcept
{
    for (std::int32_t x = firstColumn; x < width; x += 2) {
        const std::uint8_t* p00 = top + x * 4;
        const std::uint8_t* p01 = p00 + 4;
        const std::uint8_t* p10 = bottom + x * 4;
        const std::uint8_t* p11 = p10 + 4;
        yTop[x] = lumaOf(p00[2], p00[1], p00[0]);
        yTop[x + 1] = lumaOf(p01[2], p01[1], p01[0]);
        yBottom[x] = lumaOf(p10[2], p10[1], p10[0]);
        yBottom[x + 1] = lumaOf(p11[2], p11[1], p11[0]);
        // >> on a negative sum must round toward minus infinity; it does for int since C++20.
        const int ra = (p00[2] + p01[2] + p10[2] + p11[2]) >> 2;
        const int ga = (p00[1] + p01[1] + p10[1] + p11[1]) >> 2;
        const int ba = (p00[0] + p01[0] + p10[0] + p11[0]) >> 2;
        uv[x] = limitByte(((-38 * ra - 74 * ga + 112 * ba + 128) >> 8) + 128);
        uv[x + 1] = limitByte(((112 * ra - 94 * ga - 18 * ba + 128) >> 8) + 128);
    }
}

#if ORLIMO_NV12_SSE2

struct Channels {
    __m128i b;
    __m128i g;
    __m128i r;
};

// Eight pixels into three vectors of eight 16-bit values.
inline Channels loadEightPixels(const std::uint8_t* pixels) noexcept
{
    const __m128i byteMask = _mm_set1_epi32(0xFF);
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 16));
    Channels c;
    c.b = _mm_packs_epi32(_mm_and_si128(lo, byteMask), _mm_and_si128(hi, byteMask));
    c.g = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 8), byteMask),
                          _mm_and_si128(_mm_srli_epi32(hi, 8), byteMask));
    c.r = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 16), byteMask),
                          _mm_and_si128(_mm_srli_epi32(hi, 16), byteMask));
    return c;
}

// The luma sum tops out at 220 x 255 + 128 = 56228, so it fits an unsigned 16-bit lane and a
// logical shift gives the exact result.
inline __m128i lumaOfEight(const Channels& c) noexcept
{
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(c.r, _mm_set1_epi16(66)),
                                    _mm_mullo_epi16(c.g, _mm_set1_epi16(129))),
                      _mm_add_epi16(_mm_mullo_epi16(c.b, _mm_set1_epi16(25)), _mm_set1_epi16(128)));
    return _mm_add_epi16(_mm_srli_epi16(sum, 8), _mm_set1_epi16(16));
}

// Sums of horizontal pairs of two row-summed halves, divided by four: eight block averages.
inline __m128i averageOfBlocks(__m128i left, __m128i right) noexcept
{
    const __m128i ones = _mm_set1_epi16(1);
    return _mm_srli_epi16(_mm_packs_epi32(_mm_madd_epi16(left, ones), _mm_madd_epi16(right, ones)),
                          2);
}

// Sixteen columns of one row pair: 32 luma bytes and eight chroma pairs.
inline void convertSixteenColumns(const std::uint8_t* top, const std::uint8_t* bottom,
                                  std::uint8_t* yTop, std::uint8_t* yBottom,
                                  std::uint8_t* uv) noexcept
{
    const Channels t0 = loadEightPixels(top);
    const Channels t1 = loadEightPixels(top + 32);
    const Channels b0 = loadEightPixels(bottom);
    const Channels b1 = loadEightPixels(bottom + 32);

    _mm_storeu_si128(reinterpret_cast<__m128i*>(yTop),
                     _mm_packus_epi16(lumaOfEight(t0), lumaOfEight(t1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(yBottom),
                     _mm_packus_epi16(lumaOfEight(b0), lumaOfEight(b1)));

    const __m128i ra = averageOfBlocks(_mm_add_epi16(t0.r, b0.r), _mm_add_epi16(t1.r, b1.r));
    const __m128i ga = averageOfBlocks(_mm_add_epi16(t0.g, b0.g), _mm_add_epi16(t1.g, b1.g));
    const __m128i ba = averageOfBlocks(_mm_add_epi16(t0.b, b0.b), _mm_add_epi16(t1.b, b1.b));

    // Every partial chroma sum stays within -28560..28688: signed 16-bit lanes are exact and
    // the arithmetic shift rounds toward minus infinity like the formula.
    const __m128i rounding = _mm_set1_epi16(128);
    const __m128i u = _mm_add_epi16(
        _mm_srai_epi16(
            _mm_add_epi16(_mm_sub_epi16(_mm_mullo_epi16(ba, _mm_set1_epi16(112)),
                                        _mm_add_epi16(_mm_mullo_epi16(ra, _mm_set1_epi16(38)),
                                                      _mm_mullo_epi16(ga, _mm_set1_epi16(74)))),
                          rounding),
            8),
        rounding);
    const __m128i v = _mm_add_epi16(
        _mm_srai_epi16(
            _mm_add_epi16(_mm_sub_epi16(_mm_mullo_epi16(ra, _mm_set1_epi16(112)),
                                        _mm_add_epi16(_mm_mullo_epi16(ga, _mm_set1_epi16(94)),
                                                      _mm_mullo_epi16(ba, _mm_set1_epi16(18)))),
                          rounding),
            8),
        rounding);
    // packus limits to 0..255 as the formula does.
    const __m128i uBytes = _mm_packus_epi16(u, u);
    const __m128i vBytes = _mm_packus_epi16(v, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(uv), _mm_unpacklo_epi8(uBytes, vBytes));
}

#endif

#if ORLIMO_NV12_AVX2
// AVX2 needs the instructions and a system that saves the wide registers on a thread switch.
bool detectAvx2() noexcept
{
#if defined(_MSC_VER)
    int info[4] = {};
    __cpuid(info, 0);
    if (info[0] < 7) {
        return false;
    }
    __cpuid(info, 1);
    const bool osSavesAvx =
        (info[2] & (1 << 27)) != 0 && (info[2] & (1 << 28)) != 0 && (_xgetbv(0) & 0x6) == 0x6;
    __cpuidex(info, 7, 0);
    return osSavesAvx && (info[1] & (1 << 5)) != 0;
#else
    // Checks the register state the system saves as well, not only the instruction bits.
    return __builtin_cpu_supports("avx2");
#endif
}
#endif

template <typename RowPair>
void convertRowPairs(const std::uint8_t* bgra, std::uint8_t* nv12, std::int32_t width,
                     std::int32_t height, RowPair convertRowPair)
{
    std::uint8_t* uvPlane = nv12 + static_cast<std::ptrdiff_t>(width) * height;
    for (std::int32_t y = 0; y < height; y += 2) {
        const std::uint8_t* top = bgra + static_cast<std::ptrdiff_t>(y) * width * 4;
        std::uint8_t* yTop = nv12 + static_cast<std::ptrdiff_t>(y) * width;
        convertRowPair(top, top + static_cast<std::ptrdiff_t>(width) * 4, yTop, yTop + width,
                       uvPlane + static_cast<std::ptrdiff_t>(y / 2) * width);
    }
}

#if ORLIMO_NV12_SSE2
// Whole groups of sixteen columns from `firstColumn` on, then the rest one block at a time.
void convertRowPairSse2(const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                        std::uint8_t* yBottom, std::uint8_t* uv, std::int32_t firstColumn,
                        std::int32_t width) noexcept
{
    std::int32_t x = firstColumn;
    for (; x + 16 <= width; x += 16) {
        convertSixteenColumns(top + x * 4, bottom + x * 4, yTop + x, yBottom + x, uv + x);
    }
    convertRowPairScalar(top, bottom, yTop, yBottom, uv, x, width);
}
#endif

} // namespace

void convertBgraToNv12Scalar(const std::uint8_t* bgra, std::uint8_t* nv12, std::int32_t width,
                             std::int32_t height)
{
    convertRowPairs(bgra, nv12, width, height,
                    [width](const std::uint8_t* top, const std::uint8_t* bottom, std::uint8_t* yTop,
                            std::uint8_t* yBottom, std::uint8_t* uv) {
                        convertRowPairScalar(top, bottom, yTop, yBottom, uv, 0, width);
                    });
}

bool isNv12PathAvailable(Nv12Path path) noexcept
{
    switch (path) {
    case Nv12Path::Scalar:
        return true;
    case Nv12Path::Sse2:
        return ORLIMO_NV12_SSE2 != 0;
    case Nv12Path::Avx2: {
#if ORLIMO_NV12_AVX2
        static const bool available = detectAvx2();
        return available;
#else
        return false;
#endif
    }
    }
    return false;
}

void convertBgraToNv12With(Nv12Path path, const std::uint8_t* bgra, std::uint8_t* nv12,
                           std::int32_t width, std::int32_t height)
{
    if (!isNv12PathAvailable(path)) {
        path = Nv12Path::Scalar;
    }
    switch (path) {
    case Nv12Path::Scalar:
        break;
    case Nv12Path::Sse2:
#if ORLIMO_NV12_SSE2
        convertRowPairs(bgra, nv12, width, height,
                        [width](const std::uint8_t* top, const std::uint8_t* bottom,
                                std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* uv) {
                            convertRowPairSse2(top, bottom, yTop, yBottom, uv, 0, width);
                        });
        return;
#else
        break;
#endif
    case Nv12Path::Avx2:
#if ORLIMO_NV12_AVX2
        convertRowPairs(bgra, nv12, width, height,
                        [width](const std::uint8_t* top, const std::uint8_t* bottom,
                                std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* uv) {
                            const std::int32_t done =
                                convertRowPairAvx2(top, bottom, yTop, yBottom, uv, width);
                            convertRowPairSse2(top, bottom, yTop, yBottom, uv, done, width);
                        });
        return;
#else
        break;
#endif
    }
    convertBgraToNv12Scalar(bgra, nv12, width, height);
}

Nv12Path fastestNv12Path() noexcept
{
    static const Nv12Path fastest = isNv12PathAvailable(Nv12Path::Avx2)   ? Nv12Path::Avx2
                                    : isNv12PathAvailable(Nv12Path::Sse2) ? Nv12Path::Sse2
                                                                          : Nv12Path::Scalar;
    return fastest;
}

void convertBgraToNv12(const std::uint8_t* bgra, std::vector<std::uint8_t>& nv12,
                       std::int32_t width, std::int32_t height)
{
    convertBgraToNv12With(fastestNv12Path(), bgra, nv12.data(), width, height);
}
