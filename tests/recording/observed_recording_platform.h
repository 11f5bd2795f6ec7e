#pragma once
// The program's recording platform as the read-back proof runs it, seen from outside the worker:
// every call passes through to the program's bindings unchanged, and the proof learns which call
// the worker is in (to name it when one never returns), how long each pass of the frame loop
// takes, how many frames were written and which H.264 encoder wrote them. Only the encoder choice
// can be pinned to the software encoder; nothing else the worker does is altered.
#include "common/failure.h"
#include "recording/sound/audio_conversion.h"
#include "recording/core/failure_text.h"
#include "recording/mp4/mp4_sink_writer.h"
#include "recording/core/recording_clock.h"
#include "recording/core/recording_ports.h"
#include "support/pass_through_recording_platform.h"
#include "tone/test_tone.h"
#include "recording/core/recording_stage.h"

#include <windows.h>
#include <mfapi.h>
#include <mfreadwrite.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

inline std::string narrow(const std::wstring& text)
{
    const int length = ::WideCharToMultiByte(
        CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                              length, nullptr, nullptr);
    }
    return bytes;
}

// The platform call the worker is in, or the last one it returned from.
class WorkerStage {
public:
    void enter(const char* call) noexcept
    {
        last.store(call);
        inside.store(true);
    }
    void leave() noexcept { inside.store(false); }
    std::string describe() const
    {
        return std::string(inside.load() ? "the worker is inside: "
                                         : "the worker returned from: ") +
               last.load();
    }

private:
    std::atomic<const char*> last{"nothing yet"};
    std::atomic<bool> inside{false};
};

class WorkerCall {
public:
    WorkerCall(WorkerStage& workerStage, const char* call) noexcept : stage(workerStage)
    {
        stage.enter(call);
    }
    WorkerCall(const WorkerCall&) = delete;
    WorkerCall& operator=(const WorkerCall&) = delete;
    ~WorkerCall() { stage.leave(); }

private:
    WorkerStage& stage;
};

// What one recording showed; written by the worker, read once it has been joined.
struct RecordingObservations {
    std::int64_t passes = 0;
    std::int64_t passTotal = 0; // 100-ns units, the work of a pass without its sleep
    std::int64_t longestPass = 0;
    std::int64_t framesWritten = 0;
    std::int64_t copies = 0;           // copies of the screen
    std::int64_t copyTotal = 0;        // 100-ns units
    int writersMade = 0;               // more than one: the software encoder took over
    std::vector<std::string> encoders; // the video encoder of each writer that opened
    std::vector<std::string> refusals; // failures of the writers, as the worker saw them
};

// The H.264 encoder the sink writer put on `stream`, by the transform's own attributes: its
// friendly name, and whether it is a hardware transform (those carry a hardware URL).
inline std::string videoEncoderOf(IMFSinkWriter& writer, DWORD stream)
{
    Microsoft::WRL::ComPtr<IMFSinkWriterEx> extended;
    if (FAILED(writer.QueryInterface(IID_PPV_ARGS(&extended)))) {
        return "unknown (the writer names no transforms)";
    }
    for (DWORD index = 0;; ++index) {
        GUID category{};
        Microsoft::WRL::ComPtr<IMFTransform> transform;
        if (FAILED(extended->GetTransformForStream(stream, index, &category, &transform))) {
            return "unknown (no encoder among the stream's transforms)";
        }
        if (category != MFT_CATEGORY_VIDEO_ENCODER) {
            continue;
        }
        Microsoft::WRL::ComPtr<IMFAttributes> attributes;
        if (FAILED(transform->GetAttributes(&attributes)) || !attributes) {
            return "unnamed encoder without attributes (so not a hardware one)";
        }
        std::string name = "unnamed encoder";
        wchar_t* friendlyName = nullptr;
        UINT32 nameLength = 0;
        if (SUCCEEDED(attributes->GetAllocatedString(MFT_FRIENDLY_NAME_Attribute, &friendlyName,
                                                     &nameLength))) {
            // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal
            // prepended to a temporary string.
            name = "\"";
            name += narrow(friendlyName);
            name += '"';
            ::CoTaskMemFree(friendlyName);
        }
        UINT32 urlLength = 0;
        const bool hardware =
            SUCCEEDED(attributes->GetStringLength(MFT_ENUM_HARDWARE_URL_Attribute, &urlLength));
        return name + (hardware ? " (hardware)" : " (software)");
    }
}

// The stand-in for the loopback stream where the machine has no output device: 10 ms packets
// of the tone, positioned on the performance counter as the engine does, through the packet
// conversion and the seam placement of the real capture.
class ToneSource final : public SoundSource {
public:
    ToneSource() : nextPacket(nowIn100ns()) {}
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal) override
    {
        constexpr std::uint32_t Frames = 480;
        constexpr std::int64_t Length = 100'000;
        std::vector<float> samples(Frames * 2);
        while (nextPacket + Length <= nowIn100ns()) {
            for (std::uint32_t i = 0; i < Frames; ++i) {
                const float value = tone::sample(played + i, 48000);
                samples[2 * i] = value;
                samples[2 * i + 1] = value;
            }
            if (!discard) {
                AudioPacket packet;
                packet.data = reinterpret_cast<const std::uint8_t*>(samples.data());
                packet.byteCount = samples.size() * sizeof(float);
                packet.frames = Frames;
                packet.position = static_cast<std::uint64_t>(nextPacket);
                converter.convert(packet, startTime, pausedTotal, queue);
            }
            played += Frames;
            nextPacket += Length;
        }
    }

private:
    std::int64_t nextPacket;
    std::int64_t played = 0;
    AudioStreamConverter converter{PacketFormat{SampleEncoding::Float32, 2, 48000, 8, 32}};
};

class ObservedRuntime final : public MediaRuntime {
public:
    ObservedRuntime(VideoEncoders pinned, WorkerStage& workerStage,
                    RecordingObservations& observations)
        : pinnedEncoders(pinned), stage(workerStage), observed(observations)
    {}
    ObservedRuntime(const ObservedRuntime&) = delete;
    ObservedRuntime& operator=(const ObservedRuntime&) = delete;
    ~ObservedRuntime() override { stage.enter("shutting down Media Foundation and COM"); }

    void startCom() override
    {
        const WorkerCall call(stage, "starting COM");
        inner.startCom();
    }
    void startMediaFoundation() override
    {
        const WorkerCall call(stage, "starting Media Foundation");
        inner.startMediaFoundation();
    }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override;

private:
    ComMediaScope inner;
    VideoEncoders pinnedEncoders;
    WorkerStage& stage;
    RecordingObservations& observed;
};

// The program's MP4 writer, opened as its own open does, so that the sink writer can be asked
// which encoder it chose.
class ObservedWriter final : public MediaFileWriter {
public:
    ObservedWriter(const MediaFoundationFunctions& mediaFoundation, VideoEncoders pinned,
                   WorkerStage& workerStage, RecordingObservations& observations)
        : mf(mediaFoundation),
          writer(mediaFoundation),
          pinnedEncoders(pinned),
          stage(workerStage),
          observed(observations)
    {}
    ObservedWriter(const ObservedWriter&) = delete;
    ObservedWriter& operator=(const ObservedWriter&) = delete;
    ~ObservedWriter() override { stage.enter("releasing the MP4 writer"); }

    void open(const std::wstring& path, std::int32_t width, std::int32_t height,
              VideoEncoders requested) override
    {
        const WorkerCall call(stage, "opening the MP4 file");
        const VideoEncoders encoders =
            pinnedEncoders == VideoEncoders::SoftwareOnly ? pinnedEncoders : requested;
        try {
            attributes = makeSinkWriterAttributes(mf, encoders);
            Microsoft::WRL::ComPtr<IMFSinkWriter> created;
            throwIfFailed(
                mf.createSinkWriterFromUrl(path.c_str(), nullptr, attributes.Get(), &created),
                RecordingStage::Mp4Create);
            writer.openStreams(created, width, height);
            observed.encoders.push_back(videoEncoderOf(*created.Get(), writer.videoStream()));
        } catch (const Failure& failure) {
            observed.refusals.push_back(narrow(failureText(failure)));
            throw;
        }
    }
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override
    {
        const bool video = stream == writer.videoStream();
        const WorkerCall call(stage, video ? "writing a video sample" : "writing an audio sample");
        try {
            writer.writeSample(stream, bytes, length, time, duration);
        } catch (const Failure& failure) {
            observed.refusals.push_back(narrow(failureText(failure)));
            throw;
        }
        observed.framesWritten += video ? 1 : 0;
    }
    void finalize() override
    {
        const WorkerCall call(stage, "finalizing the MP4 file");
        writer.finalize();
    }
    void abandon() noexcept override
    {
        const WorkerCall call(stage, "abandoning the MP4 file");
        writer.abandon();
    }
    std::uint32_t videoStream() const noexcept override { return writer.videoStream(); }
    std::uint32_t audioStream() const noexcept override { return writer.audioStream(); }

private:
    const MediaFoundationFunctions& mf;
    Mp4SinkWriter writer;
    Microsoft::WRL::ComPtr<IMFAttributes> attributes; // outlives the writer's set-up, as in open
    VideoEncoders pinnedEncoders;
    WorkerStage& stage;
    RecordingObservations& observed;
};

inline std::unique_ptr<MediaFileWriter> ObservedRuntime::makeFileWriter()
{
    ++observed.writersMade;
    return std::make_unique<ObservedWriter>(inner.mediaFoundation(), pinnedEncoders, stage,
                                            observed);
}

class ObservedSound final : public SoundSource {
public:
    ObservedSound(std::unique_ptr<SoundSource> source, WorkerStage& workerStage)
        : sound(std::move(source)), stage(workerStage)
    {}
    ObservedSound(const ObservedSound&) = delete;
    ObservedSound& operator=(const ObservedSound&) = delete;
    ~ObservedSound() override { stage.enter("stopping the sound capture"); }

    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal) override
    {
        const WorkerCall call(stage, "reading the sound");
        sound->drain(queue, discard, startTime, pausedTotal);
    }

private:
    std::unique_ptr<SoundSource> sound;
    WorkerStage& stage;
};

class ObservedFrames final : public FrameSource {
public:
    ObservedFrames(std::unique_ptr<FrameSource> source, WorkerStage& workerStage,
                   RecordingObservations& observations)
        : frames(std::move(source)), stage(workerStage), observed(observations)
    {}
    ObservedFrames(const ObservedFrames&) = delete;
    ObservedFrames& operator=(const ObservedFrames&) = delete;
    ~ObservedFrames() override { stage.enter("releasing the screen capture"); }

    void grab() override
    {
        const WorkerCall call(stage, "copying the screen");
        const std::int64_t start = nowIn100ns();
        frames->grab();
        observed.copyTotal += nowIn100ns() - start;
        ++observed.copies;
    }
    const std::uint8_t* pixels() const noexcept override { return frames->pixels(); }

private:
    std::unique_ptr<FrameSource> frames;
    WorkerStage& stage;
    RecordingObservations& observed;
};

// The duplication's part of the copies: each request for an image counts as one copy, with the
// copy of the area out of it when one came.
class ObservedDuplication final : public ScreenDuplication {
public:
    ObservedDuplication(std::unique_ptr<ScreenDuplication> duplication,
                        RecordingObservations& observations)
        : inner(std::move(duplication)), observed(observations)
    {}

    std::int32_t findAdapters(std::size_t& count) noexcept override
    {
        return inner->findAdapters(count);
    }
    DuplicationMade make(std::size_t adapter) noexcept override { return inner->make(adapter); }
    DuplicatedImage acquire() noexcept override
    {
        const std::int64_t start = nowIn100ns();
        const DuplicatedImage image = inner->acquire();
        observed.copyTotal += nowIn100ns() - start;
        ++observed.copies;
        return image;
    }
    std::int32_t copyArea(std::uint8_t* bgra) noexcept override
    {
        const std::int64_t start = nowIn100ns();
        const std::int32_t result = inner->copyArea(bgra);
        observed.copyTotal += nowIn100ns() - start;
        return result;
    }
    void release() noexcept override { inner->release(); }

private:
    std::unique_ptr<ScreenDuplication> inner;
    RecordingObservations& observed;
};

// How the proof records: the real loopback of the default output device or the stand-in tone,
// whether the writer may take a hardware encoder, and whether the screen is copied by GDI alone
// instead of the program's choice (the desktop duplication where the machine offers it).
struct ObservedRecordingSetup {
    bool loopback = true;
    VideoEncoders encoders = VideoEncoders::HardwareAllowed;
    bool gdiOnly = false;
};

class ObservedRecordingPlatform final : public test_support::PassThroughRecordingPlatform {
public:
    explicit ObservedRecordingPlatform(ObservedRecordingSetup recordingSetup)
        : setup(recordingSetup)
    {}

    std::unique_ptr<MediaRuntime> makeMediaRuntime() override
    {
        return std::make_unique<ObservedRuntime>(setup.encoders, stage, observed);
    }
    std::unique_ptr<SoundSource> startSound() override
    {
        const WorkerCall call(stage, "starting the sound capture");
        std::unique_ptr<SoundSource> sound;
        if (setup.loopback) {
            sound = PassThroughRecordingPlatform::startSound();
        } else {
            sound = std::make_unique<ToneSource>();
        }
        return std::make_unique<ObservedSound>(std::move(sound), stage);
    }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        const WorkerCall call(stage, "starting the screen capture");
        return std::make_unique<ObservedFrames>(
            PassThroughRecordingPlatform::startDesktopCapture(region, width, height), stage,
            observed);
    }
    std::unique_ptr<ScreenDuplication> startScreenDuplication(const PixelRect& region,
                                                              std::int32_t width,
                                                              std::int32_t height) override
    {
        if (setup.gdiOnly) {
            return nullptr;
        }
        return std::make_unique<ObservedDuplication>(
            PassThroughRecordingPlatform::startScreenDuplication(region, width, height), observed);
    }
    // The worker takes the precision right before its first pass and sleeps after each one, so
    // these two calls delimit the passes' work.
    std::unique_ptr<SleepPrecision> preciseSleep() override
    {
        std::unique_ptr<SleepPrecision> precision = PassThroughRecordingPlatform::preciseSleep();
        passStart = nowIn100ns();
        return precision;
    }
    void sleepBetweenPasses() override
    {
        const std::int64_t pass = nowIn100ns() - passStart;
        ++observed.passes;
        observed.passTotal += pass;
        observed.longestPass = std::max(observed.longestPass, pass);
        {
            const WorkerCall call(stage, "sleeping between passes");
            PassThroughRecordingPlatform::sleepBetweenPasses();
        }
        passStart = nowIn100ns();
    }

    const WorkerStage& workerStage() const noexcept { return stage; }
    const RecordingObservations& observations() const noexcept { return observed; }

private:
    ObservedRecordingSetup setup;
    WorkerStage stage;
    RecordingObservations observed;
    std::int64_t passStart = 0;
};
