// Built with AVX2 enabled and called only after the processor has been checked, so it includes
// nothing that could hand AVX2 code to the rest of the program through a shared inline function.
#include "recording/video/nv12_conversion_paths.h"

#if ORLIMO_NV12_AVX2
#include <immintrin.h>

#include <cstdint>

namespace {

// The four bytes of every 32-bit lane, lowest first.
constexpr int laneOf(int b0, int b1, int b2, int b3)
{
    return static_cast<int>(
        static_cast<std::uint32_t>(b0 & 0xFF) | static_cast<std::uint32_t>(b1 & 0xFF) << 8 |
        static_cast<std::uint32_t>(b2 & 0xFF) << 16 | static_cast<std::uint32_t>(b3 & 0xFF) << 24);
}

// Packing works within each 128-bit half, so 32 results come out in groups of four bytes ordered
// 0, 2, 4, 6 | 1, 3, 5, 7; this puts them back in place.
__m256i restoreGroupOrder(__m256i value)
{
    return _mm256_permutevar8x32_epi32(value, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// floor((value + 128) / 256) in every signed 16-bit lane: mulhrs computes
// ((value * 128 >> 14) + 1) >> 1, which is exactly that rounding.
__m256i roundedEighthBitShift(__m256i value)
{
    return _mm256_mulhrs_epi16(value, _mm256_set1_epi16(128));
}

// Luma of 32 pixels given as four vectors of eight, as 32 bytes in pixel order.
// maddubs takes the coefficients 25, 129, 66, 0 as unsigned bytes and the pixels as signed bytes
// p - 128 (xor 0x80), so 129 fits and no pair sum (at most 154 x 128) saturates. A pixel's sum is
// then 66 R + 129 G + 25 B - 110 x 256, within a signed 16-bit lane; the rounded shift gives
// ((66 R + 129 G + 25 B + 128) >> 8) - 110, and 126 added to the byte makes it the luma.
__m256i lumaOfThirtyTwo(__m256i p0, __m256i p1, __m256i p2, __m256i p3)
{
    const __m256i coefficients = _mm256_set1_epi32(laneOf(25, 129, 66, 0));
    const __m256i toSigned = _mm256_set1_epi8(-128);
    const __m256i m0 = _mm256_maddubs_epi16(coefficients, _mm256_xor_si256(p0, toSigned));
    const __m256i m1 = _mm256_maddubs_epi16(coefficients, _mm256_xor_si256(p1, toSigned));
    const __m256i m2 = _mm256_maddubs_epi16(coefficients, _mm256_xor_si256(p2, toSigned));
    const __m256i m3 = _mm256_maddubs_epi16(coefficients, _mm256_xor_si256(p3, toSigned));
    const __m256i low = roundedEighthBitShift(_mm256_hadd_epi16(m0, m1));
    const __m256i high = roundedEighthBitShift(_mm256_hadd_epi16(m2, m3));
    return restoreGroupOrder(_mm256_add_epi8(_mm256_packs_epi16(low, high), _mm256_set1_epi8(126)));
}

__m256i evenLanes(__m256i a, __m256i b)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0x88));
}

__m256i oddLanes(__m256i a, __m256i b)
{
    return _mm256_castps_si256(
        _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
}

// U - 128 and V - 128 of the eight 2x2 blocks of two vectors of the top row and the two below
// them, as 16-bit lanes U, V per block.
//
// The block average floor(s / 4) comes exactly out of byte averages. With x = avg(top, bottom) =
// ceil(column sum / 2) for the block's even and odd column, s = 2 (xe + xo) - pe - po, where p is
// the parity of a column sum (bit 0 of top ^ bottom). Hence floor(s / 4) = floor((xe + xo - q) / 2)
// with q = pe | po, which is avg(xe, xo) - 1 when q is set and avg(xe, xo) - bit 0 of (xe ^ xo)
// otherwise.
__m256i chromaOfEightBlocks(__m256i top0, __m256i top1, __m256i bottom0, __m256i bottom1)
{
    // The order of these steps steers the compiler's schedule: with the parity's shuffles between
    // the two averages, tools/mca_nv12.sh shows the fewest cycles for the MinGW build on Zen 3,
    // Zen 5 and Skylake alike.
    const __m256i x0 = _mm256_avg_epu8(top0, bottom0);
    const __m256i p0 = _mm256_xor_si256(top0, bottom0);
    const __m256i p1 = _mm256_xor_si256(top1, bottom1);
    const __m256i q = _mm256_or_si256(evenLanes(p0, p1), oddLanes(p0, p1));
    const __m256i x1 = _mm256_avg_epu8(top1, bottom1);
    const __m256i xo = oddLanes(x0, x1);
    const __m256i xe = evenLanes(x0, x1);
    const __m256i correction =
        _mm256_and_si256(_mm256_or_si256(q, _mm256_xor_si256(xe, xo)), _mm256_set1_epi8(1));
    const __m256i average = _mm256_sub_epi8(_mm256_avg_epu8(xe, xo), correction);

    // Each 16-bit lane of maddubs sees two bytes of a block: blue and green, or red and the
    // ignored byte. The block turned by 16 bits supplies the third colour to each: the lanes of
    // the sum are -38 R - 74 G + 112 B and 112 R - 94 G - 18 B, no pair beyond 112 x 255.
    const __m256i turned = _mm256_shuffle_epi8(
        average, _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1,
                                  6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
    const __m256i sums =
        _mm256_add_epi16(_mm256_maddubs_epi16(average, _mm256_set1_epi32(laneOf(112, -74, 112, 0))),
                         _mm256_maddubs_epi16(turned, _mm256_set1_epi32(laneOf(-38, 0, -18, -94))));
    return roundedEighthBitShift(sums);
}

} // namespace

std::int32_t convertRowPairAvx2(const std::uint8_t* top, const std::uint8_t* bottom,
                                std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* uv,
                                std::int32_t width)
{
    const std::int32_t columns = width - width % 32;
    for (std::int32_t x = 0; x < columns; x += 32) {
        const auto* t = reinterpret_cast<const __m256i*>(top + x * 4);
        const auto* b = reinterpret_cast<const __m256i*>(bottom + x * 4);
        const __m256i t0 = _mm256_loadu_si256(t);
        const __m256i t1 = _mm256_loadu_si256(t + 1);
        const __m256i t2 = _mm256_loadu_si256(t + 2);
        const __m256i t3 = _mm256_loadu_si256(t + 3);
        const __m256i b0 = _mm256_loadu_si256(b);
        const __m256i b1 = _mm256_loadu_si256(b + 1);
        const __m256i b2 = _mm256_loadu_si256(b + 2);
        const __m256i b3 = _mm256_loadu_si256(b + 3);

        // The bottom row's luma after the chroma: in this order the compiler's schedule keeps the
        // shuffle and multiply ports busiest alike (tools/mca_nv12.sh).
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yTop + x), lumaOfThirtyTwo(t0, t1, t2, t3));

        // U and V back to 16..240 by the xor 0x80 on the signed bytes; packs keeps U, V paired.
        const __m256i chroma = _mm256_packs_epi16(chromaOfEightBlocks(t0, t1, b0, b1),
                                                  chromaOfEightBlocks(t2, t3, b2, b3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(uv + x),
                            restoreGroupOrder(_mm256_xor_si256(chroma, _mm256_set1_epi8(-128))));

        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yBottom + x),
                            lumaOfThirtyTwo(b0, b1, b2, b3));
    }
    return columns;
}

#endif
