#pragma once
// The small interfaces the recording worker is written against. The Windows bindings implement
// them with GDI, Media Foundation and Core Audio; the unit tests implement them with fakes and a
// virtual clock. Every operation reports a failed platform call by throwing Failure.
#include "common/pixel_rect.h"
#include "recording/core/audio_chunk.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class MediaFileWriter;

// COM and Media Foundation for the worker thread; shuts both down in its destructor. The MP4
// writer works through them, so only a runtime makes one: each writer it makes must be released
// before the runtime, and may be opened only once both have started.
class MediaRuntime {
public:
    virtual ~MediaRuntime() = default;
    virtual void startCom() = 0;             // RecordingStage::Com
    virtual void startMediaFoundation() = 0; // RecordingStage::MediaFoundation
    virtual std::unique_ptr<MediaFileWriter> makeFileWriter() = 0;
};

// The system sound (loopback capture of the default output device).
class SoundSource {
public:
    virtual ~SoundSource() = default;
    // Reads every pending packet; queues converted chunks unless `discard`.
    virtual void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
                       std::int64_t pausedTotal) = 0;
    // The sound stops being continuous (the end of the recording, or the source is about to be
    // closed): queues what the conversion still holds back of the sound drained so far.
    virtual void endStream(AudioChunkQueue& queue) { static_cast<void>(queue); }
    // Whether the default output device is now another one than this source captures. A source
    // bound to no particular device, or one that cannot tell, never moves.
    virtual bool defaultOutputMoved() { return false; }
    // Whether the system reported a change of the default output since the last call; cheap
    // enough for every pass. A source that is not told never hears of one.
    virtual bool defaultOutputChangeReported() { return false; }
};

// Copies the recorded area of the screen into a top-down BGRA buffer of width x height pixels.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual void grab() = 0; // RecordingStage::DesktopImageRead
    virtual const std::uint8_t* pixels() const noexcept = 0;
};

// What making the desktop duplication on one graphics adapter gave.
struct DuplicationMade {
    std::int32_t result = 0;    // the platform's result: the device's or the duplication's
    PixelRect monitor;          // the duplicated output's place on the virtual screen
    std::int32_t modeWidth = 0; // the duplicated desktop surface's size
    std::int32_t modeHeight = 0;
    bool rotated = false;
};

// What the duplication gave when asked for the next desktop image.
struct DuplicatedImage {
    std::int32_t result = 0;          // the platform's result of the request
    std::int64_t lastPresentTime = 0; // 0: no image was presented since the last one
    std::uint32_t accumulatedFrames = 0;
    bool texture = false;     // an image surface came with it
    std::uint32_t format = 0; // the surface's pixel format, the platform's number
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The desktop duplication of the monitor that holds the recorded area, driven step by step by
// the frame source, which decides on every answer. Results are the platform's HRESULTs.
class ScreenDuplication {
public:
    virtual ~ScreenDuplication() = default;
    // Lists anew the graphics adapters whose outputs include the unrotated monitor that holds
    // the whole area, in the order to try them. A failure when there is none.
    virtual std::int32_t findAdapters(std::size_t& count) noexcept = 0;
    // Makes the duplication on adapter `adapter` of the last list; an earlier one goes first.
    virtual DuplicationMade make(std::size_t adapter) noexcept = 0;
    // Gives back the image held since the last request and asks, without waiting, for the next.
    virtual DuplicatedImage acquire() noexcept = 0;
    // Copies the area from the image just acquired into a top-down BGRA buffer.
    virtual std::int32_t copyArea(std::uint8_t* bgra) noexcept = 0;
    // Lets go of the duplication and its device until the next make.
    virtual void release() noexcept = 0;
};

// Receives audio samples; the MP4 writer's audio stream in the program.
class SampleSink {
public:
    virtual ~SampleSink() = default;
    virtual void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                             std::int64_t time, std::int64_t duration) = 0;
};

// Which H.264 encoders the MP4 writer may use.
enum class VideoEncoders : std::uint8_t {
    HardwareAllowed, // a hardware encoder where the system offers one
    SoftwareOnly,    // the platform's software encoder
};

// The MP4 file with one H.264 and one AAC stream.
class MediaFileWriter : public SampleSink {
public:
    virtual void open(const std::wstring& path, std::int32_t width, std::int32_t height,
                      VideoEncoders encoders) = 0;
    virtual void finalize() = 0; // RecordingStage::Mp4Finalize
    // Failure path: finalizes (result ignored) when writing had begun, then releases the writer.
    virtual void abandon() noexcept = 0;
    virtual std::uint32_t videoStream() const noexcept = 0;
    virtual std::uint32_t audioStream() const noexcept = 0;
};

// Makes the sleep between the loop's passes last what it asks for, for as long as it lives.
class SleepPrecision {
public:
    virtual ~SleepPrecision() = default;
};

// Everything platform-bound that one recording needs, created in the worker's set-up order.
class RecordingPlatform {
public:
    virtual ~RecordingPlatform() = default;
    virtual std::unique_ptr<MediaRuntime> makeMediaRuntime() = 0;
    virtual std::unique_ptr<SoundSource> startSound() = 0;
    // The copy of the area from the screen's device context.
    virtual std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region,
                                                             std::int32_t width,
                                                             std::int32_t height) = 0;
    // The desktop duplication for the area; nothing where only the desktop copy is offered.
    virtual std::unique_ptr<ScreenDuplication> startScreenDuplication(const PixelRect& region,
                                                                      std::int32_t width,
                                                                      std::int32_t height)
    {
        static_cast<void>(region);
        static_cast<void>(width);
        static_cast<void>(height);
        return nullptr;
    }
    virtual std::int64_t now() = 0;        // the recording clock, 100-ns units
    virtual void sleepBetweenPasses() = 0; // Sleep(5)
    // Held for the life of the frame loop; may hand out nothing where sleeps are precise anyway.
    virtual std::unique_ptr<SleepPrecision> preciseSleep() = 0;
    // Bytes this user may still write on the volume that holds `filePath` (the file need not
    // exist yet); nothing where that cannot be read.
    virtual std::optional<std::uint64_t> freeDiskSpace(const std::wstring& filePath)
    {
        static_cast<void>(filePath);
        return std::nullopt;
    }
    // Turns the fragmented file the writer left at `filePath` into an ordinary MP4, in place, as
    // far as its whole fragments reach. Called after the writer is released; a file that cannot
    // be completed now stays as it is (it still plays) and the next start tries again.
    virtual void completeRecordedFile(const std::wstring& filePath) noexcept
    {
        static_cast<void>(filePath);
    }
};
