// The finisher on a made-up one-hour recording: 30 fps video at 8 Mbit/s and AAC at 160 kbit/s
// in one-second fragments, written as a sparse file (the boxes only; the finisher never reads
// sample data). Prints the time to complete it and the bytes read and written.
//
//   cmake --preset native && cmake --build --preset native --target mp4_finish_bench
//   build/native/bin/mp4_finish_bench
#include "recording/mp4/mp4_finisher.h"
#include "support/synthetic_fragmented_mp4.h"
#include "tools/mp4_finish/posix_mp4_file.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

int main()
{
    const auto path = std::filesystem::temp_directory_path() / "orlimo-mp4-finish-bench.mp4";
    std::uint64_t size = 0;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        size = test_support::writeSyntheticRecording(
            test_support::SyntheticRecordingShape{},
            [&](std::uint64_t at, std::span<const std::uint8_t> box) {
                out.seekp(static_cast<std::streamoff>(at));
                out.write(reinterpret_cast<const char*>(box.data()),
                          static_cast<std::streamsize>(box.size()));
            });
    }
    std::filesystem::resize_file(path, size);

    PosixMp4File file(path.string());
    const auto start = std::chrono::steady_clock::now();
    const FinishReport report = finishFragmentedMp4(file);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(path);
    if (report.result != FinishResult::Completed) {
        std::fprintf(stderr, "mp4_finish_bench: not completed: %s\n", report.reason.c_str());
        return 1;
    }
    std::printf("one hour, %.2f GB (sparse), %llu video and %llu audio samples\n",
                static_cast<double>(size) / 1e9,
                static_cast<unsigned long long>(report.samplesPerTrack.at(0)),
                static_cast<unsigned long long>(report.samplesPerTrack.at(1)));
    std::printf("finished in %.3f s (goal: under 1 s)\n", seconds);
    std::printf("read %llu bytes = %.4f %% of the file (goal: under 1 %%), wrote %llu bytes\n",
                static_cast<unsigned long long>(report.bytesRead),
                100.0 * static_cast<double>(report.bytesRead) / static_cast<double>(size),
                static_cast<unsigned long long>(report.bytesWritten));
    return seconds < 1.0 && report.bytesRead * 100 < size ? 0 : 1;
}
