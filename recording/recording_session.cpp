#include "recording/recording_session.h"

#include "recording/failure_text.h"

#include <exception>
#include <utility>

RecordingSession::RecordingSession(RecordingWorkerEntry entry) : workerEntry(std::move(entry))
{}

RecordingSession::~RecordingSession()
{
    stopRequested.store(true);
    join();
}

bool RecordingSession::start(const PixelRect& region, const std::wstring& outputPath)
{
    if (isActive(state.load())) {
        return false;
    }
    join();
    stopRequested.store(false);
    stopReason.store(StopReason::Requested);
    pauseRequested.store(false);
    elapsed.store(0);
    {
        std::lock_guard<std::mutex> lock(mutex);
        errorText.clear();
    }
    state.store(RecordingState::Starting);
    try {
        workerThread = std::thread(workerEntry, std::ref(*this), region, outputPath);
    } catch (const std::exception&) {
        // No thread (refused by the system, or no memory for its start-up copies), so no worker
        // will ever leave Starting: report a failed recording instead of leaving the panel
        // waiting forever.
        try {
            fail(UnexpectedFailureText);
        } catch (...) {
            // Not even the text could be made: Failed without it still ends the recording, so
            // the panel can start again or close.
            state.store(RecordingState::Failed);
        }
    }
    return true;
}

void RecordingSession::requestStop() noexcept
{
    stopRequested.store(true);
}

void RecordingSession::setPaused(bool paused) noexcept
{
    const RecordingState current = state.load();
    if (current == RecordingState::Recording || current == RecordingState::Paused) {
        pauseRequested.store(paused);
    }
}

void RecordingSession::join()
{
    if (workerThread.joinable()) {
        workerThread.join();
    }
}

std::wstring RecordingSession::readErrorText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return errorText;
}

void RecordingSession::fail(const std::wstring& text)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        errorText = text;
    }
    state.store(RecordingState::Failed);
}
