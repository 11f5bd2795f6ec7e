// Any bytes as an MP4 file for the finisher, in memory. A refused file must come back byte for
// byte; a completed one must be an ordinary MP4 by the tests' own box walker, whose samples all
// lie in its mdat, and finishing it again must change nothing.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target mp4_finisher_fuzz
//   build/fuzz/bin/mp4_finisher_fuzz -jobs=1 -runs=10000000 tests/fuzz/mp4_corpus
// The seeds are made by mp4_finisher_seeds (same preset) from ffmpeg's fragmented files.
#include "recording/mp4/mp4_finisher.h"
#include "support/memory_mp4_file.h"
#include "support/mp4_box_walker.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "mp4_finisher_fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> original(data, data + size);
    test_support::MemoryMp4File file(original);
    const FinishReport report = finishFragmentedMp4(file);
    switch (report.result) {
    case FinishResult::Completed: {
        const std::string fault = test_support::ordinaryMp4Fault(file.bytes, true);
        if (!fault.empty()) {
            fail("a completed file is not an ordinary MP4", fault);
        }
        const auto finished = file.bytes;
        const FinishReport again = finishFragmentedMp4(file);
        if (again.result != FinishResult::AlreadyOrdinary || file.bytes != finished) {
            fail("a completed file was not left alone the second time", again.reason);
        }
        break;
    }
    case FinishResult::IoError:
        fail("an input/output error on a file in memory", report.reason);
        break;
    default:
        if (file.bytes != original || file.writes != 0) {
            fail("a refused file was changed", report.reason);
        }
        break;
    }
    return 0;
}
