#include "recording/mp4/interrupted_recordings.h"

#include "recording/mp4/mp4_completion.h"

#include <windows.h>

#include <memory>

namespace {

struct FindCloser {
    void operator()(HANDLE search) const noexcept { ::FindClose(search); }
};

// The plain files of the folder the filter accepts, listed before any is changed.
std::vector<std::wstring> recordingNames(
    const std::wstring& folder, const std::function<bool(std::wstring_view name)>& isRecordingName)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\*";
    HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    const std::unique_ptr<void, FindCloser> searchOwner(search);
    do {
        const bool plainFile = (found.dwFileAttributes &
                                (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        if (plainFile && isRecordingName(found.cFileName)) {
            names.emplace_back(found.cFileName);
        }
    } while (::FindNextFileW(search, &found) != FALSE);
    return names;
}

} // namespace

std::vector<std::wstring> completeInterruptedRecordings(
    const std::wstring& folder, const std::function<bool(std::wstring_view name)>& isRecordingName,
    const std::atomic<bool>& stop)
{
    std::vector<std::wstring> completed;
    for (const std::wstring& name : recordingNames(folder, isRecordingName)) {
        if (stop.load()) {
            break;
        }
        std::wstring path = folder;
        path += L'\\';
        path += name;
        if (completeMp4InPlace(path) == Mp4Completion::Completed) {
            completed.push_back(name);
        }
    }
    return completed;
}
