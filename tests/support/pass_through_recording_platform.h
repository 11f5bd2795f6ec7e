#pragma once
// The program's recording platform for tests that run the real worker: every call goes to the
// Windows bindings the program uses, unchanged. A test derives from it and overrides only the
// part it replaces or watches (the media runtime with its MP4 writer where Wine has no encoder,
// the sound where the machine has no output device), so the rest of a recording stays exactly
// the program's.
#include "recording/mp4/com_media_scope.h"
#include "recording/core/recording_ports.h"
#include "recording/engine/windows_recording_platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace test_support {

// The program's media runtime with another MP4 writer: COM and Media Foundation start as the
// program's do, and every writer is made by `makeWriter` from the runtime's functions.
class RuntimeWithOwnWriter final : public MediaRuntime {
public:
    using WriterFactory =
        std::function<std::unique_ptr<MediaFileWriter>(const MediaFoundationFunctions&)>;

    explicit RuntimeWithOwnWriter(WriterFactory factory) : makeWriter(std::move(factory)) {}

    void startCom() override { scope.startCom(); }
    void startMediaFoundation() override { scope.startMediaFoundation(); }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override
    {
        return makeWriter(scope.mediaFoundation());
    }

private:
    ComMediaScope scope;
    WriterFactory makeWriter;
};

class PassThroughRecordingPlatform : public RecordingPlatform {
public:
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override { return windows.makeMediaRuntime(); }
    std::unique_ptr<SoundSource> startSound() override { return windows.startSound(); }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        return windows.startDesktopCapture(region, width, height);
    }
    std::unique_ptr<ScreenDuplication> startScreenDuplication(const PixelRect& region,
                                                              std::int32_t width,
                                                              std::int32_t height) override
    {
        return windows.startScreenDuplication(region, width, height);
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

private:
    WindowsRecordingPlatform windows;
};

} // namespace test_support
