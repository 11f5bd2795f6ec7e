#include "recording/mp4/mp4_completion.h"

#include "recording/mp4/mp4_finisher.h"
#include "recording/mp4/windows_mp4_file.h"

Mp4Completion completeMp4InPlace(const std::wstring& path) noexcept
{
    try {
        WindowsMp4File::OpenError error = WindowsMp4File::OpenError::Other;
        WindowsMp4File file = WindowsMp4File::open(path, &error);
        if (!file.isOpen()) {
            return error == WindowsMp4File::OpenError::InUse ? Mp4Completion::InUse
                                                             : Mp4Completion::Failed;
        }
        switch (finishFragmentedMp4(file).result) {
        case FinishResult::Completed:
            return Mp4Completion::Completed;
        case FinishResult::AlreadyOrdinary:
            return Mp4Completion::AlreadyOrdinary;
        case FinishResult::NotMp4:
        case FinishResult::NoWholeFragment:
        case FinishResult::Unsupported:
            return Mp4Completion::LeftAsItIs;
        case FinishResult::IoError:
            break;
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): memory ran out; the file stays as it was
    }
    return Mp4Completion::Failed;
}
