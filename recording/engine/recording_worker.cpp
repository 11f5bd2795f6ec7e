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

// A failure after the first video frame ends a recording that exists: it is saved as far as it
// got, with the failure's text for the panel.
void reportSavedAfterFailure(RecordingSession& session, const Failure* failure) noexcept
{
    try {
        session.saveAfterFailure(failure != nullptr ? failureText(*failure)
                                                    : std::wstring(UnexpectedFailureText));
    } catch (...) {
        session.publishState(RecordingState::Saved);
    }
}

// What the handlers must know of how far the recording got.
struct RecordingProgress {
    bool videoWritten = false; // the file holds at least one video frame
};

// The video track has a frame in every slot: a fragmented file carries no decode time of its
// own per fragment, so a slot left out would move every later frame earlier against the sound.
class VideoSlots {
public:
    VideoSlots(MediaFileWriter& fileWriter, std::vector<std::uint8_t>& frame,
               RecordingProgress& recordingProgress)
        : writer(fileWriter), nv12(frame), progress(recordingProgress)
    {}

    // The pass at `elapsed` is due when it has reached the next empty slot.
    bool due(std::int64_t elapsed) const noexcept { return elapsed >= nextFrameTime; }
    // At least one frame is in the file.
    bool any() const noexcept { return nextFrameTime != 0; }
    std::int64_t end() const noexcept { return nextFrameTime; }

    // Fills every empty slot up to the one that holds `elapsed`. The slots this pass came too late
    // for show the last converted picture; its own slot shows the new one, or the last one again
    // when no new picture came. Before any picture was converted there is nothing to repeat, and
    // the first one fills every slot from the start.
    template <typename NewPicture>
    void fillUpTo(std::int64_t elapsed, bool havePicture, NewPicture&& convertNewPicture)
    {
        const std::int64_t current = elapsed / FramePeriod * FramePeriod;
        if (havePicture && converted) {
            writeRepeated(nextFrameTime, current);
            nextFrameTime = current;
        }
        if (havePicture) {
            convertNewPicture();
            converted = true;
        }
        // The first copy of a recording either succeeds or ends it, so this is only a guard
        // against a frame source that breaks that rule: no slot gets a picture never converted.
        if (!converted) {
            return;
        }
        writeRepeated(nextFrameTime, current + FramePeriod);
        nextFrameTime = current + FramePeriod;
    }

private:
    void writeRepeated(std::int64_t from, std::int64_t to)
    {
        for (std::int64_t time = from; time < to; time += FramePeriod) {
            writer.writeSample(writer.videoStream(), nv12.data(),
                               static_cast<std::uint32_t>(nv12.size()), time, FramePeriod);
            progress.videoWritten = true;
        }
    }

    MediaFileWriter& writer;
    std::vector<std::uint8_t>& nv12;
    RecordingProgress& progress;
    std::int64_t nextFrameTime = 0;
    bool converted = false;
};

void record(RecordingSession& session, const PixelRect& region, const std::wstring& outputPath,
            RecordingPlatform& platform, MediaRuntime& runtime,
            std::unique_ptr<MediaFileWriter>& writer, RecordingProgress& progress)
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
        VideoSlots video(*writer, nv12, progress);

        const std::int64_t startTime = platform.now();
        std::int64_t lastTick = startTime;
        std::int64_t pausedTotal = 0;
        sound.drain(queue, true, startTime, 0, startTime);
        session.publishState(RecordingState::Recording);

        // Without it a 5 ms sleep lasts a whole default timer period (15.6 ms on Windows), and
        // passes that long cost frames as soon as a frame's work passes about 26 ms.
        std::unique_ptr<SleepPrecision> precision = platform.preciseSleep();
        while (!session.isStopRequested() || !video.any()) {
            const std::int64_t now = platform.now();
            if (disk.runsLow(now)) {
                session.stopForLowDiskSpace();
            }
            // A stop that comes before the first frame still gets that frame, paused or not: the
            // loop cannot end without one, and waiting for a resume would hang whoever joins us.
            const bool paused =
                session.isPauseRequested() && (video.any() || !session.isStopRequested());
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
            if (!paused && video.due(elapsed)) {
                // A copy that failed (the secure desktop is shown), or a desktop that presented
                // nothing new, leaves the last converted picture for this slot as well.
                const bool newPicture = frames.grab(now) && frames.pictureIsNew();
                video.fillUpTo(elapsed, newPicture, [&] {
                    convertBgraToNv12(frames.pixels(), nv12, size.width, size.height);
                });
            }
            lastTick = now;
            track.writeUpTo(std::max<std::int64_t>(0, elapsed - AudioWriteLag));
            platform.sleepBetweenPasses();
        }
        precision.reset();

        session.publishState(RecordingState::Saving);
        sound.drain(queue, session.isPauseRequested(), startTime, pausedTotal, lastTick);
        sound.finish(queue);
        track.writeUpTo(std::max(video.end(), session.readElapsed()));
        writer->finalize();
    }
    // The queue and the NV12 buffer are gone; next the writer's media types. The file is complete
    // before the desktop capture and, last, the sound capture are released, so it is complete
    // before the audio engine stops.
    writer.reset();
    if (session.readStopReason() != StopReason::SessionEnd) {
        platform.completeRecordedFile(outputPath);
    }
    session.publishState(RecordingState::Saved);
}

// The failure handlers' end: the writer is closed with what it holds (finalized where it still
// can be, released in any case); a file with video is completed and reported saved.
void endAfterFailure(RecordingSession& session, const std::wstring& outputPath,
                     RecordingPlatform& platform, std::unique_ptr<MediaFileWriter>& writer,
                     const RecordingProgress& progress, const Failure* failure) noexcept
{
    if (writer) {
        writer->abandon();
    }
    writer.reset();
    if (!progress.videoWritten) {
        reportFailure(session, failure);
        return;
    }
    if (session.readStopReason() != StopReason::SessionEnd) {
        platform.completeRecordedFile(outputPath);
    }
    reportSavedAfterFailure(session, failure);
}

} // namespace

void runRecordingWorkerWith(RecordingSession& session, PixelRect region,
                            const std::wstring& outputPath, RecordingPlatform& platform) noexcept
{
    // Both outlive the guarded region: the handlers still finalize through the writer, and the
    // runtime shuts down only after the writer has been released.
    std::unique_ptr<MediaRuntime> runtime;
    std::unique_ptr<MediaFileWriter> writer;
    RecordingProgress progress;
    try {
        runtime = platform.makeMediaRuntime();
        writer = std::make_unique<EncoderFallbackWriter>(*runtime);
        record(session, region, outputPath, platform, *runtime, writer, progress);
    } catch (const Failure& failure) {
        endAfterFailure(session, outputPath, platform, writer, progress, &failure);
    } catch (...) {
        endAfterFailure(session, outputPath, platform, writer, progress, nullptr);
    }
    writer.reset();
    runtime.reset();
}
