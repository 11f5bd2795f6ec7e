#include "recording/engine/windows_recording_platform.h"

#include "recording/mp4/com_media_scope.h"
#include "recording/video/desktop_capture.h"
#include "recording/video/desktop_duplication.h"
#include "recording/sound/loopback_audio_capture.h"
#include "recording/mp4/mp4_completion.h"
#include "recording/core/recording_clock.h"
#include "recording/engine/timer_resolution_scope.h"

#include <windows.h>

std::unique_ptr<MediaRuntime> WindowsRecordingPlatform::makeMediaRuntime()
{
    return std::make_unique<ComMediaScope>();
}

std::unique_ptr<SoundSource> WindowsRecordingPlatform::startSound()
{
    auto capture = std::make_unique<LoopbackAudioCapture>();
    capture->start();
    return capture;
}

std::unique_ptr<FrameSource> WindowsRecordingPlatform::startDesktopCapture(const PixelRect& region,
                                                                           std::int32_t width,
                                                                           std::int32_t height)
{
    return std::make_unique<DesktopCapture>(region, width, height);
}

std::unique_ptr<ScreenDuplication> WindowsRecordingPlatform::startScreenDuplication(
    const PixelRect& region, std::int32_t width, std::int32_t height)
{
    return std::make_unique<DesktopDuplication>(region, width, height);
}

std::int64_t WindowsRecordingPlatform::now()
{
    return nowIn100ns();
}

void WindowsRecordingPlatform::sleepBetweenPasses()
{
    ::Sleep(5);
}

std::unique_ptr<SleepPrecision> WindowsRecordingPlatform::preciseSleep()
{
    return std::make_unique<TimerResolutionScope>();
}

std::optional<std::uint64_t> WindowsRecordingPlatform::freeDiskSpace(const std::wstring& filePath)
{
    // The call takes a folder (with its trailing backslash), not a file that may not exist yet.
    const std::size_t separator = filePath.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return std::nullopt;
    }
    const std::wstring folder = filePath.substr(0, separator + 1);
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) == FALSE) {
        return std::nullopt;
    }
    return available.QuadPart;
}

void WindowsRecordingPlatform::completeRecordedFile(const std::wstring& filePath) noexcept
{
    // Whatever the outcome the file plays: a fragmented file that could not be completed now is
    // completed at the next start.
    static_cast<void>(completeMp4InPlace(filePath));
}
