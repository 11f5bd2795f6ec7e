// Milliseconds per 3840x2160 frame: the NV12 conversion the worker uses, its scalar reference,
// a plain memcpy of the same input bytes and, when available, libyuv's ARGBToNV12; then the path
// the conversion took and its median time over memcpy's and over libyuv's.
//
//   cmake --preset native -B build/native && cmake --build build/native -j2 --target nv12_bench
//   build/native/bin/nv12_bench
#include "recording/video/nv12_conversion.h"
#include "recording/video/nv12_conversion_paths.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#ifdef ORLIMO_HAVE_LIBYUV
#include <libyuv.h>
#endif

namespace {

constexpr std::int32_t Width = 3840;
constexpr std::int32_t Height = 2160;
constexpr int Rounds = 40;

struct Candidate {
    const char* name;
    std::function<void()> work;
    std::vector<double> times;

    double median() const { return times[times.size() / 2]; }
};

const char* nameOf(Nv12Path path)
{
    switch (path) {
    case Nv12Path::Scalar:
        return "scalar";
    case Nv12Path::Sse2:
        return "SSE2";
    case Nv12Path::Avx2:
        return "AVX2";
    }
    return "?";
}

// The candidates take turns in every round, so a busy machine slows them alike.
void report(std::vector<Candidate>& candidates)
{
    for (Candidate& c : candidates) {
        c.work(); // warm the caches and the page tables
    }
    for (int i = 0; i < Rounds; ++i) {
        for (Candidate& c : candidates) {
            const auto start = std::chrono::steady_clock::now();
            c.work();
            const auto end = std::chrono::steady_clock::now();
            c.times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    for (Candidate& c : candidates) {
        std::sort(c.times.begin(), c.times.end());
        std::printf("%-28s min %6.2f ms  median %6.2f ms per frame\n", c.name, c.times.front(),
                    c.median());
    }
}

} // namespace

int main()
{
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(Width) * Height * 4);
    std::mt19937 random(1);
    for (auto& byte : bgra) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::vector<std::uint8_t> nv12(static_cast<std::size_t>(Width) * Height * 3 / 2);
    std::vector<std::uint8_t> copy(bgra.size());

    std::printf("%dx%d frame, %d rounds\n", Width, Height, Rounds);
    std::vector<Candidate> candidates;
    candidates.push_back(
        {"convertBgraToNv12", [&] { convertBgraToNv12(bgra.data(), nv12, Width, Height); }, {}});
    candidates.push_back({"convertBgraToNv12Scalar",
                          [&] { convertBgraToNv12Scalar(bgra.data(), nv12.data(), Width, Height); },
                          {}});
    candidates.push_back({"memcpy of the input bytes",
                          [&] { std::memcpy(copy.data(), bgra.data(), bgra.size()); },
                          {}});
#ifdef ORLIMO_HAVE_LIBYUV
    std::uint8_t* y = nv12.data();
    std::uint8_t* uv = nv12.data() + static_cast<std::size_t>(Width) * Height;
    candidates.push_back(
        {"libyuv ARGBToNV12",
         [&] { libyuv::ARGBToNV12(bgra.data(), Width * 4, y, Width, uv, Width, Width, Height); },
         {}});
#else
    std::printf("libyuv not found: no comparison\n");
#endif
    report(candidates);

    const double converted = candidates[0].median();
    std::printf("path: %s\n", nameOf(fastestNv12Path()));
    std::printf("convertBgraToNv12 / memcpy: %.2f\n", converted / candidates[2].median());
#ifdef ORLIMO_HAVE_LIBYUV
    std::printf("convertBgraToNv12 / libyuv: %.2f\n", converted / candidates[3].median());
#endif
    return 0;
}
