#include "recording/engine/disk_space_watch.h"

#include "common/failure.h"
#include "recording/core/recording_stage.h"

#include <optional>
#include <utility>

DiskSpaceWatch::DiskSpaceWatch(RecordingPlatform& recordingPlatform, std::wstring filePath)
    : platform(recordingPlatform), path(std::move(filePath))
{}

void DiskSpaceWatch::requireReserve()
{
    if (belowReserve()) {
        throw stageFailure(DiskFullResult, RecordingStage::LowDiskSpace);
    }
}

bool DiskSpaceWatch::runsLow(std::int64_t now)
{
    if (now < nextCheck) {
        return false;
    }
    nextCheck = now + DiskSpaceCheckPeriod;
    return belowReserve();
}

bool DiskSpaceWatch::belowReserve()
{
    const std::optional<std::uint64_t> free = platform.freeDiskSpace(path);
    return free.has_value() && *free < DiskSpaceReserve;
}
