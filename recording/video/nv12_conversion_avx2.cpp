// Built with AVX2 enabled and called only after the processor has been checked, so it includes
// nothing that could hand AVX2 code to the rest of the program through a shared inline function.
#include "recording/video/nv12_conversion_paths.h"

#if ORLIMO_NV12_AVX2
#include <immintrin.h>

namespace {

struct Channels {
    __m256i b;
    __m256i g;
    __m256i r;
};

// Sixteen pixels into three vectors of sixteen 16-bit values. Everything works within each
// 128-bit half, so the pixels come out in groups of four ordered 0, 2, 1, 3; every later step
// keeps that order and the stores undo it.
Channels loadSixteenPixels(const std::uint8_t* pixels)
{
    // Per half: the four blue bytes, then green, red and the ignored byte.
    const __m256i byChannel =
        _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1, 5, 9,
                         13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i lo = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels)), byChannel);
    const __m256i hi = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 32)), byChannel);
    const __m256i blueGreen = _mm256_unpacklo_epi32(lo, hi);
    const __m256i redIgnored = _mm256_unpackhi_epi32(lo, hi);
    const __m256i zero = _mm256_setzero_si256();
    Channels c;
    c.b = _mm256_unpacklo_epi8(blueGreen, zero);
    c.g = _mm256_unpackhi_epi8(blueGreen, zero);
    c.r = _mm256_unpacklo_epi8(redIgnored, zero);
    return c;
}

// Exact in unsigned 16-bit lanes: the sum tops out at 56228.
__m256i lumaOfSixteen(const Channels& c)
{
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(c.r, _mm256_set1_epi16(66)),
                         _mm256_mullo_epi16(c.g, _mm256_set1_epi16(129))),
        _mm256_add_epi16(_mm256_mullo_epi16(c.b, _mm256_set1_epi16(25)), _mm256_set1_epi16(128)));
    return _mm256_add_epi16(_mm256_srli_epi16(sum, 8), _mm256_set1_epi16(16));
}

__m256i averageOfBlocks(__m256i left, __m256i right)
{
    const __m256i ones = _mm256_set1_epi16(1);
    return _mm256_srli_epi16(
        _mm256_packs_epi32(_mm256_madd_epi16(left, ones), _mm256_madd_epi16(right, ones)), 2);
}

// Puts groups of four bytes written in the order 0, 2, 4, 6, 1, 3, 5, 7 back in place.
__m256i restoreGroupOrder(__m256i value)
{
    return _mm256_permutevar8x32_epi32(value, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// Same bounds as the SSE2 path: every partial chroma sum fits a signed 16-bit lane.
__m256i chroma(__m256i positive, __m256i positiveFactor, __m256i first, __m256i firstFactor,
               __m256i second, __m256i secondFactor)
{
    const __m256i rounding = _mm256_set1_epi16(128);
    const __m256i sum =
        _mm256_sub_epi16(_mm256_mullo_epi16(positive, positiveFactor),
                         _mm256_add_epi16(_mm256_mullo_epi16(first, firstFactor),
                                          _mm256_mullo_epi16(second, secondFactor)));
    return _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(sum, rounding), 8), rounding);
}

} // namespace

std::int32_t convertRowPairAvx2(const std::uint8_t* top, const std::uint8_t* bottom,
                                std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* uv,
                                std::int32_t width)
{
    const std::int32_t columns = width - width % 32;
    // Within each 128-bit half: eight U bytes then eight V bytes, interleaved into pairs.
    const __m256i interleave =
        _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 0, 8, 1, 9, 2, 10, 3,
                         11, 4, 12, 5, 13, 6, 14, 7, 15);
    for (std::int32_t x = 0; x < columns; x += 32) {
        const Channels t0 = loadSixteenPixels(top + x * 4);
        const Channels t1 = loadSixteenPixels(top + x * 4 + 64);
        const Channels b0 = loadSixteenPixels(bottom + x * 4);
        const Channels b1 = loadSixteenPixels(bottom + x * 4 + 64);

        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(yTop + x),
            restoreGroupOrder(_mm256_packus_epi16(lumaOfSixteen(t0), lumaOfSixteen(t1))));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(yBottom + x),
            restoreGroupOrder(_mm256_packus_epi16(lumaOfSixteen(b0), lumaOfSixteen(b1))));

        const __m256i ra =
            averageOfBlocks(_mm256_add_epi16(t0.r, b0.r), _mm256_add_epi16(t1.r, b1.r));
        const __m256i ga =
            averageOfBlocks(_mm256_add_epi16(t0.g, b0.g), _mm256_add_epi16(t1.g, b1.g));
        const __m256i ba =
            averageOfBlocks(_mm256_add_epi16(t0.b, b0.b), _mm256_add_epi16(t1.b, b1.b));
        const __m256i u = chroma(ba, _mm256_set1_epi16(112), ra, _mm256_set1_epi16(38), ga,
                                 _mm256_set1_epi16(74));
        const __m256i v = chroma(ra, _mm256_set1_epi16(112), ga, _mm256_set1_epi16(94), ba,
                                 _mm256_set1_epi16(18));
        const __m256i pairs = _mm256_shuffle_epi8(_mm256_packus_epi16(u, v), interleave);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(uv + x), restoreGroupOrder(pairs));
    }
    return columns;
}

#endif
