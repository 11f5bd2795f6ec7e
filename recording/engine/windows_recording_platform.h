#pragma once
#include "recording/core/recording_ports.h"

// The recording platform of the program: COM and Media Foundation with the MP4 sink writer, the
// loopback capture of the system sound, the desktop duplication with the GDI copy as its
// fallback, and the performance counter.
class WindowsRecordingPlatform final : public RecordingPlatform {
public:
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override; // it makes the MP4 writers
    std::unique_ptr<SoundSource> startSound() override;
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override;
    std::unique_ptr<ScreenDuplication> startScreenDuplication(const PixelRect& region,
                                                              std::int32_t width,
                                                              std::int32_t height) override;
    std::int64_t now() override;
    void sleepBetweenPasses() override;
    std::unique_ptr<SleepPrecision> preciseSleep() override; // a 1 ms timer resolution
    std::optional<std::uint64_t> freeDiskSpace(const std::wstring& filePath) override;
    void completeRecordedFile(const std::wstring& filePath) noexcept override;
};
