#pragma once
// The program's recording platform for tests that run the real worker: every call goes to the
// Windows bindings the program uses, unchanged. A test derives from it and overrides only the
// part it replaces or watches (the MP4 writer where Wine has no encoder, the sound where the
// machine has no output device), so the rest of a recording stays exactly the program's.
#include "recording/mp4/com_media_scope.h"
#include "recording/mp4/mp4_sink_writer.h"
#include "recording/core/recording_ports.h"
#include "recording/engine/windows_recording_platform.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace test_support {

class PassThroughRecordingPlatform : public RecordingPlatform {
public:
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override
    {
        auto scope = std::make_unique<ComMediaScope>();
        runtime = scope.get();
        return scope;
    }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override
    {
        return std::make_unique<Mp4SinkWriter>(mediaFoundation());
    }
    std::unique_ptr<SoundSource> startSound() override { return windows.startSound(); }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        return windows.startDesktopCapture(region, width, height);
    }
    std::int64_t now() override { return windows.now(); }
    void sleepBetweenPasses() override { windows.sleepBetweenPasses(); }
    std::unique_ptr<SleepPrecision> preciseSleep() override { return windows.preciseSleep(); }
    std::optional<std::uint64_t> freeDiskSpace(const std::wstring& filePath) override
    {
        return windows.freeDiskSpace(filePath);
    }
    void completeRecordedFile(const std::wstring& filePath) noexcept override
    {
        windows.completeRecordedFile(filePath);
    }

protected:
    // The functions of the runtime made last; the worker makes it before any writer.
    const MediaFoundationFunctions& mediaFoundation() const
    {
        if (runtime == nullptr) {
            throw std::logic_error("the MP4 writer needs the media runtime made first");
        }
        return runtime->mediaFoundation();
    }

private:
    WindowsRecordingPlatform windows;
    ComMediaScope* runtime = nullptr; // made before the writer, released after it
};

} // namespace test_support
