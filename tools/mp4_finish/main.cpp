// Completes one fragmented MP4 in place as an ordinary one: mp4_finish <file.mp4>
#include "recording/mp4/mp4_finisher.h"
#include "tools/mp4_finish/posix_mp4_file.h"

#include <cstdio>

namespace {

const char* resultName(FinishResult result)
{
    switch (result) {
    case FinishResult::Completed:
        return "completed";
    case FinishResult::AlreadyOrdinary:
        return "already an ordinary MP4, not changed";
    case FinishResult::NotMp4:
        return "not an MP4 the finisher can read, not changed";
    case FinishResult::NoWholeFragment:
        return "no whole fragment, not changed";
    case FinishResult::Unsupported:
        return "not supported, not changed";
    case FinishResult::IoError:
        return "input/output error";
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mp4_finish <file.mp4>\n");
        return 2;
    }
    PosixMp4File file(argv[1]);
    if (!file.isOpen()) {
        std::fprintf(stderr, "mp4_finish: cannot open %s for reading and writing\n", argv[1]);
        return 1;
    }
    const FinishReport report = finishFragmentedMp4(file);
    std::printf("%s: %s\n", argv[1], resultName(report.result));
    for (std::size_t i = 0; i < report.samplesPerTrack.size(); ++i) {
        std::printf("track %zu: %llu samples\n", i + 1,
                    static_cast<unsigned long long>(report.samplesPerTrack[i]));
    }
    std::printf("bytes read: %llu, bytes written: %llu\n",
                static_cast<unsigned long long>(report.bytesRead),
                static_cast<unsigned long long>(report.bytesWritten));
    if (report.result == FinishResult::Completed ||
        report.result == FinishResult::AlreadyOrdinary) {
        return 0;
    }
    std::fprintf(stderr, "mp4_finish: %s\n", report.reason.c_str());
    return 1;
}
