#include "recording/mp4/mp4_finisher.h"

FinishReport finishFragmentedMp4(Mp4File& /*file*/)
{
    FinishReport report;
    report.result = FinishResult::Unsupported;
    report.reason = "the finisher is not built yet";
    return report;
}
