#pragma once
#include "recording/core/recording_ports.h"

class ComMediaScope;

// The recording platform of the program: COM and Media Foundation, the MP4 sink writer, the
// loopback capture of the system sound, the desktop duplication with the GDI copy as its
// fallback, and the performance counter.
class WindowsRecordingPlatform final : public RecordingPlatform {
public:
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override;
    std::unique_ptr<MediaFileWriter> makeFileWriter() override;
    std::unique_ptr<SoundSource> startSound() override;
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override;
    std::int64_t now() override;
    void sleepBetweenPasses() override;
    std::unique_ptr<SleepPrecision> preciseSleep() override; // a 1 ms timer resolution
    std::optional<std::uint64_t> freeDiskSpace(const std::wstring& filePath) override;
    void completeRecordedFile(const std::wstring& filePath) noexcept override;

private:
    // The writer calls Media Foundation through the functions this runtime loads. The worker
    // makes the runtime first and releases the writer before it.
    ComMediaScope* runtime = nullptr;
    // Once the duplication is given up, GDI copies the frames until the recording ends, also
    // where the frame source is made anew.
    bool gdiFromNowOn = false;
};
