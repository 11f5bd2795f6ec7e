#include "recording/engine/recording_session.h"

#include "recording/core/failure_text.h"

#include <exception>
#include <utility>

RecordingSession::RecordingSession(RecordingWorkerEntry entry, StopDeadline deadline)
    : workerEntry(std::move(entry)), stopDeadline(std::move(deadline))
{}

RecordingSession::~RecordingSession()
{
    stopAndWait();
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
    setWorkerFinished(false);
    try {
        workerThread = std::thread([this, entry = workerEntry, region, outputPath] {
            entry(*this, region, outputPath);
            setWorkerFinished(true);
        });
    } catch (const std::exception&) {
        setWorkerFinished(true);
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

void RecordingSession::stopAndWait()
{
    stopRequested.store(true);
    if (!workerThread.joinable()) {
        return;
    }
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(finishMutex);
        finished =
            finishChanged.wait_for(lock, stopDeadline.limit, [this] { return workerFinished; });
    }
    if (!finished) {
        stopDeadline.endProgram();
    }
    join();
}

void RecordingSession::setWorkerFinished(bool finished)
{
    {
        std::lock_guard<std::mutex> lock(finishMutex);
        workerFinished = finished;
    }
    finishChanged.notify_all();
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

void RecordingSession::saveAfterFailure(const std::wstring& text)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        errorText = text;
    }
    stopReason.store(StopReason::Failure);
    state.store(RecordingState::Saved);
}
