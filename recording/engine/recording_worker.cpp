#include "recording/engine/recording_worker.h"

#include "recording/sound/audio_track_writer.h"
#include "common/failure.h"
#include "recording/sound/default_output_sound.h"
#include "recording/engine/disk_space_watch.h"
#include "recording/mp4/encoder_fallback_writer.h"
#include "recording/core/failure_text.h"
#include "recording/video/nv12_conversion.h"
#include "recording/video/resilient_frame_source.h"
#include "recording/core/video_format.h"
#include "recording/core/recording_stage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// E_INVALIDARG, spelled out because this file stays free of platform headers.
constexpr std::int32_t InvalidArgumentResult = static_cast<std::int32_t>(0x80070057u);

// A pass this long after the previous one means the machine slept or the thread was held up
// (the performance counter goes on counting through sleep). Recording the whole span would fill
// the file with one frozen picture and silence, and the shown time would jump by as much.
constexpr std::int64_t StallLimit = 5 * UnitsPerSecond;
constexpr std::int64_t StallKept = UnitsPerSecond; // as a late pass would have it

// The part of the time since the previous pass that the recording leaves out: all of it while
// paused, and after a stall everything but its last second, so the sound read right after it
// keeps its place before the next frame.
std::int64_t timeLeftOut(std::int64_t sinceLastPass, bool paused) noexcept
{
    if (paused) {
        return sinceLastPass;
    }
    return sinceLastPass > StallLimit ? sinceLastPass - StallKept : 0;
}

// Sound of the drain after a stall (the chunks from `firstNew` on) whose positions lie in the
// part left out lands before `keptFrom` on the timeline; it goes, as sound read while paused does.
void discardStalledSound(AudioChunkQueue& queue, std::size_t firstNew, std::int64_t keptFrom)
{
    const std::int64_t firstKeptFrame = outputFramesIn(keptFrom);
    queue.erase(std::remove_if(queue.begin() + static_cast<std::ptrdiff_t>(firstNew), queue.end(),
                               [firstKeptFrame](const AudioChunk& chunk) {
                                   return chunk.startFrame < firstKeptFrame;
                               }),
                queue.end());
}

// The text must be in place before Failed is stored. If even the text cannot be made, Failed
// alone is better than a worker that never ends in an ended state.
void reportFailure(RecordingSession& session, const Failure* failure) noexcept
{
    try {
        session.fail(failure != nullptr ? failureText(*failure)
                                        : std::wstring(UnexpectedFailureText));
    } catch (...) {
        session.publishState(RecordingState::Failed);
    }
}

void record(RecordingSession& session, const PixelRect& region, const std::wstring& outputPath,
            RecordingPlatform& platform, MediaRuntime& runtime,
            std::unique_ptr<MediaFileWriter>& writer)
{
    runtime.startCom();
    runtime.startMediaFoundation();

    const FrameSize size = evenFrameSize(region);
    if (!isRecordableFrameSize(size)) {
        throw stageFailure(InvalidArgumentResult, RecordingStage::AreaSize);
    }
    DiskSpaceWatch disk(platform, outputPath);
    disk.requireReserve();

    DefaultOutputSound sound(platform, platform.startSound());
    ResilientFrameSource frames(platform, region, size.width, size.height);
    writer->open(outputPath, size.width, size.height, VideoEncoders::HardwareAllowed);
    {
        std::vector<std::uint8_t> nv12(nv12FrameBytes(size), 0);
        AudioChunkQueue queue;
        AudioTrackWriter track(queue, *writer, writer->audioStream());

        const std::int64_t startTime = platform.now();
        std::int64_t lastTick = startTime;
        std::int64_t pausedTotal = 0;
        std::int64_t nextFrameTime = 0;
        sound.drain(queue, true, startTime, 0, startTime);
        session.publishState(RecordingState::Recording);

        // Without it a 5 ms sleep lasts a whole default timer period (15.6 ms on Windows), and
        // passes that long cost frames as soon as a frame's work passes about 26 ms.
        std::unique_ptr<SleepPrecision> precision = platform.preciseSleep();
        while (!session.isStopRequested() || nextFrameTime == 0) {
            const std::int64_t now = platform.now();
            if (disk.runsLow(now)) {
                session.stopForLowDiskSpace();
            }
            // A stop that comes before the first frame still gets that frame, paused or not: the
            // loop cannot end without one, and waiting for a resume would hang whoever joins us.
            const bool paused =
                session.isPauseRequested() && (nextFrameTime != 0 || !session.isStopRequested());
            const std::int64_t leftOut = timeLeftOut(now - lastTick, paused);
            pausedTotal += leftOut;
            const std::int64_t elapsed = now - pausedTotal - startTime;
            session.publishElapsed(elapsed);
            const std::size_t queuedBefore = queue.size();
            sound.drain(queue, paused, startTime, pausedTotal, now);
            if (!paused && leftOut != 0) {
                discardStalledSound(queue, queuedBefore, elapsed - StallKept);
            }
            session.publishState(paused ? RecordingState::Paused : RecordingState::Recording);
            if (!paused && elapsed >= nextFrameTime) {
                const std::int64_t frameTime = elapsed / FramePeriod * FramePeriod;
                // A slot whose copy failed gets no frame: the video shows the last picture.
                if (frames.grab(now)) {
                    convertBgraToNv12(frames.pixels(), nv12, size.width, size.height);
                    writer->writeSample(writer->videoStream(), nv12.data(),
                                        static_cast<std::uint32_t>(nv12.size()), frameTime,
                                        FramePeriod);
                }
                nextFrameTime = frameTime + FramePeriod;
            }
            lastTick = now;
            track.writeUpTo(std::max<std::int64_t>(0, elapsed - AudioWriteLag));
            platform.sleepBetweenPasses();
        }
        precision.reset();

        session.publishState(RecordingState::Saving);
        sound.drain(queue, session.isPauseRequested(), startTime, pausedTotal, lastTick);
        sound.finish(queue);
        track.writeUpTo(std::max(nextFrameTime, session.readElapsed()));
        writer->finalize();
        session.publishState(RecordingState::Saved);
    }
    // The queue and the NV12 buffer are gone; next the writer's media types, then the desktop
    // capture and, last, the sound capture: the file is complete before the audio engine stops.
    writer.reset();
}

} // namespace

void runRecordingWorkerWith(RecordingSession& session, PixelRect region,
                            const std::wstring& outputPath, RecordingPlatform& platform) noexcept
{
    // Both outlive the guarded region: the handlers still finalize through the writer, and the
    // runtime shuts down only after the writer has been released.
    std::unique_ptr<MediaRuntime> runtime;
    std::unique_ptr<MediaFileWriter> writer;
    try {
        runtime = platform.makeMediaRuntime();
        writer = std::make_unique<EncoderFallbackWriter>(*runtime);
        record(session, region, outputPath, platform, *runtime, writer);
    } catch (const Failure& failure) {
        if (writer) {
            writer->abandon();
        }
        writer.reset();
        reportFailure(session, &failure);
    } catch (...) {
        if (writer) {
            writer->abandon();
        }
        writer.reset();
        reportFailure(session, nullptr);
    }
    writer.reset();
    runtime.reset();
}
