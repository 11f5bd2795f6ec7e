// Frames per second that the recording worker writes over 60 s of its virtual clock, against the
// work time of a pass that writes a frame, when Sleep(5) wakes on a timer of 15.6 ms (the
// Windows default) and of 1 ms (what the worker asks for while it loops). Then a model of the
// frames per second at 1920x1080 and 3840x2160 with each way of copying the screen: the GDI copy
// at its published costs, the desktop duplication at a read-back figure, each with the NV12
// conversion and the sample copy measured here.
//
//   cmake --preset native && cmake --build --preset native --target pacing_bench
//   build/native/bin/pacing_bench
#include "recording/video/nv12_conversion.h"
#include "support/recording_fakes.h"
#include "recording/engine/recording_worker.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace test_support;

namespace {

constexpr std::int64_t Millisecond = 10'000;
constexpr std::int64_t Recorded = 60 * 1000 * Millisecond;

// Sleep(5) ends at the first timer tick at or after 5 ms from now.
double framesPerSecond(std::int64_t workPerFrame, std::int64_t timerPeriod)
{
    FakeWorld world;
    world.logging = false;
    world.keepSamples = false;
    world.sleepStep = 5 * Millisecond;
    FakePlatform platform(world);
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    const std::int64_t start = world.clock;
    world.onNote = [&](const std::string& name) {
        if (name == "grab") {
            world.clock += workPerFrame; // grabbing, converting and encoding the frame
        }
    };
    world.onSleep = [&](int) {
        world.clock = (world.clock + timerPeriod - 1) / timerPeriod * timerPeriod;
        if (world.clock - start >= Recorded) {
            session.requestStop();
        }
    };
    runRecordingWorkerWith(session, PixelRect{0, 0, 16, 16}, L"pacing.mp4", platform);
    return static_cast<double>(world.videoCount) * 10'000'000.0 /
           static_cast<double>(session.readElapsed());
}

// Fastest of 15 runs of `work` in milliseconds, after one to warm the caches: on a shared machine
// the slower runs measure the neighbours.
template <typename Work>
double fastestMilliseconds(Work work)
{
    work();
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return *std::min_element(times.begin(), times.end());
}

struct FrameCosts {
    double conversion = 0; // BGRA to NV12
    double sampleCopy = 0; // the NV12 frame into the sample's buffer
    double rowCopy = 0;    // the area's BGRA rows out of the mapped staging texture
};

FrameCosts measure(std::int32_t width, std::int32_t height)
{
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> bgra(pixels * 4);
    std::vector<std::uint8_t> mapped(pixels * 4);
    std::vector<std::uint8_t> nv12(pixels * 3 / 2);
    std::vector<std::uint8_t> sample(pixels * 3 / 2);
    std::mt19937 random(1);
    for (std::uint8_t& byte : bgra) {
        byte = static_cast<std::uint8_t>(random());
    }
    FrameCosts costs;
    costs.conversion =
        fastestMilliseconds([&] { convertBgraToNv12(bgra.data(), nv12, width, height); });
    costs.sampleCopy =
        fastestMilliseconds([&] { std::memcpy(sample.data(), nv12.data(), nv12.size()); });
    costs.rowCopy =
        fastestMilliseconds([&] { std::memcpy(mapped.data(), bgra.data(), bgra.size()); });
    return costs;
}

// The duplication's copy of the area: acquiring the image, the copy on the graphics card and
// the wait in Map, then the read-back of the area's bytes over the bus, then the rows out of the
// mapped texture (measured).
constexpr double DuplicationFixedMs = 1.0;
constexpr double ReadBackBytesPerMs = 8.0e6; // 8 GB/s

void modelSourcesAt(std::int32_t width, std::int32_t height, double gdiCopyMs,
                    std::int64_t timerPeriod)
{
    const FrameCosts costs = measure(width, height);
    const double areaBytes = static_cast<double>(width) * height * 4;
    const double duplicationMs =
        DuplicationFixedMs + areaBytes / ReadBackBytesPerMs + costs.rowCopy;
    std::printf("%dx%d: conversion %.2f ms, sample copy %.2f ms (both measured here)\n", width,
                height, costs.conversion, costs.sampleCopy);
    for (const auto& [name, copyMs] :
         {std::pair{"GDI copy", gdiCopyMs}, std::pair{"duplication", duplicationMs}}) {
        const double workMs = copyMs + costs.conversion + costs.sampleCopy;
        std::printf("  %-12s copy %6.2f ms  work %6.2f ms  %6.2f fps\n", name, copyMs, workMs,
                    framesPerSecond(static_cast<std::int64_t>(workMs * Millisecond), timerPeriod));
    }
}

} // namespace

int main()
{
    constexpr std::int64_t DefaultTimer = 156'250; // 15.625 ms
    constexpr std::int64_t FineTimer = Millisecond;
    std::printf("work per frame   fps, 15.6 ms timer   fps, 1 ms timer\n");
    for (std::int64_t work = 5; work <= 30; ++work) {
        std::printf("%8lld ms      %14.2f      %14.2f\n", static_cast<long long>(work),
                    framesPerSecond(work * Millisecond, DefaultTimer),
                    framesPerSecond(work * Millisecond, FineTimer));
    }

    std::printf("\nModel, on the 1 ms timer the worker holds while it loops. Its parameters:\n"
                "  GDI copy (BitBlt from the screen DC), as published in screen-capture projects'\n"
                "    trackers: 25 ms at 1920x1080, 81.6 ms at 3840x2160\n"
                "  duplication: %.1f ms for acquiring, copying on the card and waiting in Map,\n"
                "    plus the area's BGRA bytes read back at %.0f GB/s (a conservative share of\n"
                "    PCIe 3.0 x16 or of an integrated GPU's memory), plus the row copy measured\n"
                "  the encoder is taken to work on its own (hardware), so a frame's work is the\n"
                "    copy, the conversion and the sample copy\n",
                DuplicationFixedMs, ReadBackBytesPerMs / 1.0e6);
    modelSourcesAt(1920, 1080, 25.0, FineTimer);
    modelSourcesAt(3840, 2160, 81.6, FineTimer);
    return 0;
}
