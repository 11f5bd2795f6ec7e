#include "recording/engine/recording_worker.h"
#include "recording/engine/windows_recording_platform.h"

#include <windows.h>

namespace {

// The worker did not finish within the limit after the stop request: it is stuck inside a
// platform call. The process ends at once, without the DLL detach routines that ExitProcess runs
// (the stuck thread may hold their locks) and without freeing anything the worker still uses.
void endProcessAtOnce()
{
    ::TerminateProcess(::GetCurrentProcess(), ERROR_TIMEOUT);
}

StopDeadline programDeadline()
{
    StopDeadline deadline;
    deadline.endProgram = endProcessAtOnce;
    return deadline;
}

} // namespace

void runRecordingWorker(RecordingSession& session, PixelRect region, std::wstring outputPath)
{
    WindowsRecordingPlatform platform;
    runRecordingWorkerWith(session, region, outputPath, platform);
}

// Defined here rather than with the session, so the portable library needs no platform.
RecordingSession::RecordingSession() : RecordingSession(runRecordingWorker, programDeadline())
{}
