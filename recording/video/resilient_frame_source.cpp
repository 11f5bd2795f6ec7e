#include "recording/video/resilient_frame_source.h"

#include "common/failure.h"

ResilientFrameSource::ResilientFrameSource(RecordingPlatform& recordingPlatform,
                                           const PixelRect& area, std::int32_t frameWidth,
                                           std::int32_t frameHeight)
    : platform(recordingPlatform),
      region(area),
      width(frameWidth),
      height(frameHeight),
      source(platform.startDesktopCapture(region, width, height))
{}

bool ResilientFrameSource::grab(std::int64_t now)
{
    if (source) {
        try {
            source->grab();
            copiedAny = true;
            lastRemake.reset();
            return true;
        } catch (const Failure&) {
            if (!copiedAny) {
                throw;
            }
        }
    }
    if (!lastRemake) {
        lastRemake = now;
    } else if (now - *lastRemake >= DesktopRemakeInterval) {
        remake();
        lastRemake = now;
    }
    return false;
}

void ResilientFrameSource::remake()
{
    // The old objects go first, so a large area never holds two captures at once.
    source.reset();
    source = tryToStartCapture();
}

std::unique_ptr<FrameSource> ResilientFrameSource::tryToStartCapture()
{
    try {
        return platform.startDesktopCapture(region, width, height);
    } catch (const Failure&) {
        // Without a capture until the next attempt; the recording goes on with its sound.
        return nullptr;
    }
}
