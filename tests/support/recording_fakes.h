#pragma once
// Doubles of the recording ports: a scripted platform on a virtual clock that records every call
// in order and counts the objects it hands out, so tests can check order, content and leaks.
#include "common/failure.h"
#include "recording/core/recording_ports.h"
#include "recording/core/recording_stage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct WrittenSample {
    std::uint32_t stream = 0;
    std::vector<std::uint8_t> bytes;
    std::int64_t time = 0;
    std::int64_t duration = 0;

    std::vector<std::int16_t> pcm() const
    {
        std::vector<std::int16_t> values(bytes.size() / 2);
        std::memcpy(values.data(), bytes.data(), values.size() * 2);
        return values;
    }
};

class RecordingSink : public SampleSink {
public:
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override
    {
        samples.push_back(
            {stream, std::vector<std::uint8_t>(bytes, bytes + length), time, duration});
    }

    std::vector<WrittenSample> samples;
};

// Everything the fakes do is logged here, in order; `failAt` makes the named step throw.
struct FakeWorld {
    std::int64_t clock = 1'000'000'000;
    std::int64_t sleepStep = 50'000;
    std::vector<std::string> log;
    bool logging = true; // off for long runs
    // A step that throws on its n-th call (1 for the first): the Failure, or std::bad_alloc.
    struct PlannedFailure {
        int call = 1;
        Failure failure{0, nullptr};
        bool outOfMemory = false;
        int lastCall = 0; // when later than `call`: every call from `call` to it throws
    };
    std::map<std::string, PlannedFailure> failAt;
    std::map<std::string, int> calls;
    int liveObjects = 0;
    int madeObjects = 0;

    // Called from each sleep with the number of the pass that just ended (1 for the first).
    std::function<void(int pass)> onSleep;
    int passes = 0;

    // What the sound source queues on each non-discarding drain; empty: nothing.
    std::function<void(AudioChunkQueue& queue, std::int64_t startTime, std::int64_t pausedTotal)>
        onDrain;
    std::size_t largestQueue = 0;
    // The clock at each sound source's start; a source's number is its place here (1 for the
    // first). `drainingSound` is the source of the drain in progress.
    std::vector<std::int64_t> soundStarts;
    int drainingSound = 0;
    // Asked of source `sound` whenever the worker checks the default output; empty: never moves.
    std::function<bool(int sound)> defaultMoved;
    // Asked of source `sound` on every pass: whether the system reported a change of the default
    // output since the last call; empty: never.
    std::function<bool(int sound)> defaultChangeReported;
    // The sources whose stream was ended (the number of each, in order), and what such an end
    // queues; empty: nothing (not logged, so the logs of the other tests stay as they are).
    std::vector<int> streamEnds;
    std::function<void(AudioChunkQueue& queue, int sound)> onEndStream;

    // What the platform answers for the free space of the file's volume, and what it was asked.
    std::optional<std::uint64_t> freeDiskBytes = std::uint64_t{1} << 40;
    std::vector<std::wstring> diskChecks;

    std::vector<WrittenSample> video;
    std::vector<WrittenSample> audio;
    bool keepSamples = true; // off for long runs: only counts and the audio end are kept
    std::int64_t videoCount = 0;
    std::int64_t audioEnd = 0;
    bool audioContiguous = true;
    std::uint8_t pixelValue = 0;
    // Every copy of the desktop fails while set, as while the secure desktop is shown.
    bool copiesFail = false;
    // The encoders each open of a file was allowed, in order.
    std::vector<VideoEncoders> encoderChoices;

    // Sees every logged step and release as it happens, e.g. to sample the session's state.
    std::function<void(const std::string& name)> onNote;
    // Called on each read of the clock with the number of the read (1 for the first).
    std::function<void(int read)> onNow;
    int nowReads = 0;

    void note(const std::string& name)
    {
        if (logging) {
            log.push_back(name);
        }
        if (onNote) {
            onNote(name);
        }
    }
    void step(const std::string& name);
};

inline void FakeWorld::step(const std::string& name)
{
    note(name);
    const int call = ++calls[name];
    const auto planned = failAt.find(name);
    if (planned != failAt.end() && call >= planned->second.call &&
        call <= std::max(planned->second.call, planned->second.lastCall)) {
        if (planned->second.outOfMemory) {
            throw std::bad_alloc();
        }
        throw planned->second.failure;
    }
}

class Counted {
public:
    explicit Counted(FakeWorld& owner) : world(owner)
    {
        ++world.liveObjects;
        ++world.madeObjects;
    }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    virtual ~Counted() { --world.liveObjects; }

protected:
    FakeWorld& world;
};

class FakeSound final : public SoundSource, Counted {
public:
    FakeSound(FakeWorld& owner, int soundNumber) : Counted(owner), number(soundNumber) {}
    ~FakeSound() override { world.note("sound stopped"); }
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal) override
    {
        world.step(discard ? "drain discard" : "drain");
        world.drainingSound = number;
        if (!discard && world.onDrain) {
            world.onDrain(queue, startTime, pausedTotal);
        }
        if (queue.size() > world.largestQueue) {
            world.largestQueue = queue.size();
        }
    }
    void endStream(AudioChunkQueue& queue) override
    {
        world.streamEnds.push_back(number);
        if (world.onEndStream) {
            world.onEndStream(queue, number);
        }
    }
    bool defaultOutputMoved() override { return world.defaultMoved && world.defaultMoved(number); }
    bool defaultOutputChangeReported() override
    {
        return world.defaultChangeReported && world.defaultChangeReported(number);
    }

private:
    int number;
};

class FakeFrames final : public FrameSource, Counted {
public:
    FakeFrames(FakeWorld& owner, std::int32_t width, std::int32_t height)
        : Counted(owner), bgra(static_cast<std::size_t>(width) * height * 4)
    {}
    ~FakeFrames() override { world.note("desktop released"); }
    void grab() override
    {
        world.step("grab");
        if (world.copiesFail) {
            throw stageFailure(static_cast<std::int32_t>(0x80070005u),
                               RecordingStage::DesktopImageRead);
        }
        std::memset(bgra.data(), world.pixelValue, bgra.size());
    }
    const std::uint8_t* pixels() const noexcept override { return bgra.data(); }

private:
    std::vector<std::uint8_t> bgra;
};

class FakeFileWriter final : public MediaFileWriter, Counted {
public:
    using Counted::Counted;
    ~FakeFileWriter() override { world.note("writer released"); }

    void open(const std::wstring& path, std::int32_t width, std::int32_t height,
              VideoEncoders encoders) override
    {
        world.encoderChoices.push_back(encoders);
        world.step("open");
        openedPath = path;
        openedWidth = width;
        openedHeight = height;
        writingStarted = true;
        world.note("file " + std::to_string(width) + "x" + std::to_string(height));
    }
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override
    {
        world.step(stream == VideoStream ? "video sample" : "audio sample");
        if (stream == VideoStream) {
            ++world.videoCount;
        } else {
            world.audioContiguous = world.audioContiguous && time == world.audioEnd;
            world.audioEnd = time + duration;
        }
        if (world.keepSamples) {
            WrittenSample sample{stream, std::vector<std::uint8_t>(bytes, bytes + length), time,
                                 duration};
            (stream == VideoStream ? world.video : world.audio).push_back(std::move(sample));
        }
    }
    void finalize() override
    {
        world.step("finalize");
        writingStarted = false;
    }
    void abandon() noexcept override
    {
        world.note(writingStarted ? "abandon finalizes" : "abandon");
        writingStarted = false;
    }
    std::uint32_t videoStream() const noexcept override { return VideoStream; }
    std::uint32_t audioStream() const noexcept override { return AudioStream; }

    static constexpr std::uint32_t VideoStream = 0;
    static constexpr std::uint32_t AudioStream = 1;
    std::wstring openedPath;
    std::int32_t openedWidth = 0;
    std::int32_t openedHeight = 0;

private:
    bool writingStarted = false;
};

class FakeRuntime final : public MediaRuntime, Counted {
public:
    using Counted::Counted;
    ~FakeRuntime() override { world.note("runtime shut down"); }
    void startCom() override { world.step("COM"); }
    void startMediaFoundation() override { world.step("Media Foundation"); }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override
    {
        return std::make_unique<FakeFileWriter>(world);
    }
};

class FakePlatform final : public RecordingPlatform {
public:
    explicit FakePlatform(FakeWorld& owner) : world(owner) {}

    std::unique_ptr<MediaRuntime> makeMediaRuntime() override
    {
        world.step("make runtime");
        return std::make_unique<FakeRuntime>(world);
    }
    std::unique_ptr<SoundSource> startSound() override
    {
        world.step("sound");
        world.soundStarts.push_back(world.clock);
        return std::make_unique<FakeSound>(world, static_cast<int>(world.soundStarts.size()));
    }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        world.step("desktop");
        capturedRegion = region;
        return std::make_unique<FakeFrames>(world, width, height);
    }
    std::int64_t now() override
    {
        ++world.nowReads;
        if (world.onNow) {
            world.onNow(world.nowReads);
        }
        return world.clock;
    }
    void sleepBetweenPasses() override
    {
        world.clock += world.sleepStep;
        ++world.passes;
        if (world.onSleep) {
            world.onSleep(world.passes);
        }
    }
    std::unique_ptr<SleepPrecision> preciseSleep() override { return nullptr; }
    std::optional<std::uint64_t> freeDiskSpace(const std::wstring& filePath) override
    {
        world.diskChecks.push_back(filePath);
        return world.freeDiskBytes;
    }
    void completeRecordedFile(const std::wstring& filePath) noexcept override
    {
        world.note("complete file");
        completedPaths.push_back(filePath);
    }

    PixelRect capturedRegion;
    std::vector<std::wstring> completedPaths;

private:
    FakeWorld& world;
};

} // namespace test_support
