#pragma once
// The recordings an abrupt end left fragmented, completed at the start on a thread of their own,
// so that the tray icon and the keys are ready at once; the UI thread announces each one.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Posted to the window given to start once files have been completed.
inline constexpr UINT WM_RECORDINGS_RECOVERED = WM_APP + 2;

class RecordingRecovery {
public:
    RecordingRecovery() = default;
    RecordingRecovery(const RecordingRecovery&) = delete;
    RecordingRecovery& operator=(const RecordingRecovery&) = delete;
    ~RecordingRecovery() { stop(); }

    // Completes the recordings of `folder` (an empty one: nothing); `window` is told of the files
    // completed. False when no thread could be started (nothing is completed then).
    bool start(HWND window, std::wstring folder);
    // The UI thread's part: the names completed and not yet taken.
    std::vector<std::wstring> takeCompleted();
    // Asks the thread to stop after the file in hand and waits for it. Safe to call twice.
    void stop() noexcept;

private:
    void run(HWND window, const std::wstring& folder) noexcept;

    std::thread worker;
    std::atomic<bool> stopRequested{false};
    std::mutex mutex;
    std::vector<std::wstring> completed;
};

// The program's one recovery, started after the single-instance check.
RecordingRecovery& recordingRecovery();

// WM_RECORDINGS_RECOVERED on the UI thread: one tray balloon per completed file.
void announceRecoveredRecordings();
