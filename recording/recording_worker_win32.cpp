#include "recording/recording_worker.h"
#include "recording/windows_recording_platform.h"

void runRecordingWorker(RecordingSession& session, PixelRect region, std::wstring outputPath)
{
    WindowsRecordingPlatform platform;
    runRecordingWorkerWith(session, region, outputPath, platform);
}

// Defined here rather than with the session, so the portable library needs no platform.
RecordingSession::RecordingSession() : RecordingSession(runRecordingWorker)
{}
