#pragma once
// The only channel between the recording panel (UI thread) and the recording worker thread.
// The UI thread stores requests, the worker stores state and time, all as atomics; the mutex
// guards the failure text alone.
#include "common/pixel_rect.h"
#include "recording/core/recording_state.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RecordingSession;

// The body of the worker thread of one recording. The real one is runRecordingWorker; tests
// hand in a scripted double.
using RecordingWorkerEntry =
    std::function<void(RecordingSession& session, PixelRect region, std::wstring outputPath)>;

// How long the end of the program waits for a worker it has asked to stop, and how the program
// then ends: a worker stuck inside a platform call (a hung driver) must not keep it alive, and
// nothing the worker still uses may be freed first, so `endProgram` never returns in the program.
struct StopDeadline {
    std::chrono::milliseconds limit = std::chrono::seconds(15);
    std::function<void()> endProgram = [] { std::_Exit(EXIT_FAILURE); };
};

class RecordingSession {
public:
    // Runs runRecordingWorker and ends a stuck program at once (defined with the Windows
    // bindings).
    RecordingSession();
    explicit RecordingSession(RecordingWorkerEntry workerEntry, StopDeadline deadline = {});
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;
    // Requests a stop and waits for the worker (stopAndWait).
    ~RecordingSession();

    bool start(const PixelRect& region, const std::wstring& outputPath);
    void requestStop() noexcept;
    void setPaused(bool paused) noexcept;
    void join();
    // Requests a stop and waits until the file is finalized or failed, at most the deadline's
    // limit; when that runs out, ends the program through the deadline before anything is freed.
    void stopAndWait();
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
    // The UI thread's stop at the end of the user's session: the file is finalized but not
    // completed, which the next start does, so the session's end is not held up by it.
    void stopForSessionEnd() noexcept
    {
        stopReason.store(StopReason::SessionEnd);
        stopRequested.store(true);
    }
    // A failure after the first video frame: the file holds the recording up to it. The text and
    // the reason are in place before Saved is stored.
    void saveAfterFailure(const std::wstring& text);

private:
    void setWorkerFinished(bool finished);

    RecordingWorkerEntry workerEntry;
    std::thread workerThread;
    std::atomic<RecordingState> state{RecordingState::Idle};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> pauseRequested{false};
    std::atomic<std::int64_t> elapsed{0};
    mutable std::mutex mutex;
    std::wstring errorText;
    std::atomic<StopReason> stopReason{StopReason::Requested};
    StopDeadline stopDeadline;
    // Set by the worker thread as its last act, so the wait for it can be bounded.
    std::mutex finishMutex;
    std::condition_variable finishChanged;
    bool workerFinished = true;
};
