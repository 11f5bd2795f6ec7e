#include "recording/recording_worker.h"

#include "recording/audio_track_writer.h"
#include "common/failure.h"
#include "recording/failure_text.h"
#include "recording/nv12_conversion.h"
#include "recording/video_format.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

// E_INVALIDARG, spelled out because this file stays free of platform headers.
constexpr std::int32_t InvalidArgumentResult = static_cast<std::int32_t>(0x80070057u);

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
        throw Failure{InvalidArgumentResult, L"Obszar musi miec od 16x16 do 3840x2160 pikseli"};
    }

    const std::unique_ptr<SoundSource> sound = platform.startSound();
    const std::unique_ptr<FrameSource> frames =
        platform.startDesktopCapture(region, size.width, size.height);
    writer->open(outputPath, size.width, size.height);
    {
        std::vector<std::uint8_t> nv12(nv12FrameBytes(size), 0);
        AudioChunkQueue queue;
        AudioTrackWriter track(queue, *writer, writer->audioStream());

        const std::int64_t startTime = platform.now();
        std::int64_t lastTick = startTime;
        std::int64_t pausedTotal = 0;
        std::int64_t nextFrameTime = 0;
        sound->drain(queue, true, startTime, 0);
        session.publishState(RecordingState::Recording);

        // Without it a 5 ms sleep lasts a whole default timer period (15.6 ms on Windows), and
        // passes that long cost frames as soon as a frame's work passes about 26 ms.
        std::unique_ptr<SleepPrecision> precision = platform.preciseSleep();
        while (!session.isStopRequested() || nextFrameTime == 0) {
            const std::int64_t now = platform.now();
            // A stop that comes before the first frame still gets that frame, paused or not: the
            // loop cannot end without one, and waiting for a resume would hang whoever joins us.
            const bool paused =
                session.isPauseRequested() && (nextFrameTime != 0 || !session.isStopRequested());
            if (paused) {
                pausedTotal += now - lastTick;
            }
            const std::int64_t elapsed = now - pausedTotal - startTime;
            session.publishElapsed(elapsed);
            sound->drain(queue, paused, startTime, pausedTotal);
            session.publishState(paused ? RecordingState::Paused : RecordingState::Recording);
            if (!paused && elapsed >= nextFrameTime) {
                frames->grab();
                convertBgraToNv12(frames->pixels(), nv12, size.width, size.height);
                const std::int64_t frameTime = elapsed / FramePeriod * FramePeriod;
                writer->writeSample(writer->videoStream(), nv12.data(),
                                    static_cast<std::uint32_t>(nv12.size()), frameTime,
                                    FramePeriod);
                nextFrameTime = frameTime + FramePeriod;
            }
            lastTick = now;
            track.writeUpTo(std::max<std::int64_t>(0, elapsed - AudioWriteLag));
            platform.sleepBetweenPasses();
        }
        precision.reset();

        session.publishState(RecordingState::Saving);
        sound->drain(queue, session.isPauseRequested(), startTime, pausedTotal);
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
        writer = platform.makeFileWriter();
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
