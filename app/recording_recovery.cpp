#include "app/recording_recovery.h"

#include "app/balloon_text.h"
#include "app/tray_icon.h"
#include "recording/mp4/interrupted_recordings.h"
#include "recording/panel/video_file_name.h"

#include <exception>
#include <utility>

bool RecordingRecovery::start(HWND window, std::wstring folder)
{
    if (worker.joinable() || folder.empty()) {
        return false;
    }
    stopRequested.store(false);
    try {
        worker = std::thread([this, window, path = std::move(folder)] { run(window, path); });
    } catch (const std::exception&) {
        return false; // the files stay as they are until the next start
    }
    return true;
}

void RecordingRecovery::run(HWND window, const std::wstring& folder) noexcept
{
    try {
        std::vector<std::wstring> names = completeInterruptedRecordings(
            folder, [](std::wstring_view name) { return isVideoFileName(name); }, stopRequested);
        if (names.empty()) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (std::wstring& name : names) {
                completed.push_back(std::move(name));
            }
        }
        // A window already gone takes no message; the names then stay untold, nothing leaks.
        ::PostMessageW(window, WM_RECORDINGS_RECOVERED, 0, 0);
    } catch (...) { // NOLINT(bugprone-empty-catch): a thread entry lets nothing through
        // Out of memory: the files completed are complete; only their balloons are missing.
    }
}

std::vector<std::wstring> RecordingRecovery::takeCompleted()
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(completed, {});
}

void RecordingRecovery::stop() noexcept
{
    stopRequested.store(true);
    try {
        if (worker.joinable()) {
            worker.join();
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): join refuses only a thread it cannot wait for
    }
}

RecordingRecovery& recordingRecovery()
{
    static RecordingRecovery recovery;
    return recovery;
}

void announceRecoveredRecordings()
{
    for (const std::wstring& name : recordingRecovery().takeCompleted()) {
        TrayIcon::instance().showNotification(recoveredRecordingText(name));
    }
}
