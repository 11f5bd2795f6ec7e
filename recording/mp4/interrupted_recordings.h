#pragma once
// Recordings that an abrupt end (the process killed, the power gone, the session ended) left as
// fragmented files, completed in place at the next start.
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Completes every file directly in `folder` whose name `isRecordingName` accepts and that is not
// an ordinary MP4 already. A file in use is skipped; one the finisher cannot complete is left as
// it is. `stop` is read before each file, so the program's end waits for one file at most.
// Returns the names (without the folder) of the files completed, in the order found.
std::vector<std::wstring> completeInterruptedRecordings(
    const std::wstring& folder, const std::function<bool(std::wstring_view name)>& isRecordingName,
    const std::atomic<bool>& stop);
