#pragma once
// The only channel between the recording panel (UI thread) and the recording worker thread.
// The UI thread stores requests, the worker stores state and time, all as atomics; the mutex
// guards the failure text alone.
#include "common/pixel_rect.h"
#include "recording/recording_state.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RecordingSession;

// The body of the worker thread of one recording. The real one is runRecordingWorker; tests
// hand in a scripted double.
using RecordingWorkerEntry =
    std::function<void(RecordingSession& session, PixelRect region, std::wstring outputPath)>;

class RecordingSession {
public:
    // Runs runRecordingWorker (defined with the Windows bindings).
    RecordingSession();
    explicit RecordingSession(RecordingWorkerEntry workerEntry);
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;
    // Requests a stop and waits for the worker: blocks until the file is finalized or failed.
    ~RecordingSession();

    bool start(const PixelRect& region, const std::wstring& outputPath);
    void requestStop() noexcept;
    void setPaused(bool paused) noexcept;
    void join();
    std::wstring readErrorText() const;
    StopReason readStopReason() const noexcept { return stopReason.load(); }

    RecordingState readState() const noexcept { return state.load(); }
    std::int64_t readElapsed() const noexcept { return elapsed.load(); }

    // The worker's side.
    bool isStopRequested() const noexcept { return stopRequested.load(); }
    bool isPauseRequested() const noexcept { return pauseRequested.load(); }
    void publishState(RecordingState value) noexcept { state.store(value); }
    void publishElapsed(std::int64_t value) noexcept { elapsed.store(value); }
    // Sets the text before the state, so a reader that sees Failed always finds the text.
    void fail(const std::wstring& text);
    // Ends the recording as the user's stop does; the reason is stored first, so a reader that
    // sees the recording Saved finds it.
    void stopForLowDiskSpace() noexcept
    {
        stopReason.store(StopReason::LowDiskSpace);
        stopRequested.store(true);
    }

private:
    RecordingWorkerEntry workerEntry;
    std::thread workerThread;
    std::atomic<RecordingState> state{RecordingState::Idle};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> pauseRequested{false};
    std::atomic<std::int64_t> elapsed{0};
    mutable std::mutex mutex;
    std::wstring errorText;
    std::atomic<StopReason> stopReason{StopReason::Requested};
};
