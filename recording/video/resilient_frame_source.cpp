#include "recording/video/resilient_frame_source.h"

#include "common/failure.h"

ResilientFrameSource::ResilientFrameSource(RecordingPlatform& recordingPlatform,
                                           const PixelRect& area, std::int32_t frameWidth,
                                           std::int32_t frameHeight)
    : platform(recordingPlatform),
      region(area),
      width(frameWidth),
      height(frameHeight),
      gdi(platform.startDesktopCapture(region, width, height)),
      duplication(platform.startScreenDuplication(region, width, height))
{}

bool ResilientFrameSource::grab(std::int64_t now)
{
    if (duplication && copierChoice.makeDue(now)) {
        makeDuplication(now);
    }
    const FrameAction action = copierChoice.acquireDue() ? acquire(now) : FrameAction::CopyByGdi;
    if (copierChoice.copier() == FrameCopier::Gdi && duplication) {
        // Nothing of the graphics device is held while GDI copies, for good or until the next
        // attempt.
        duplication->release();
        if (copierChoice.givenUp()) {
            duplication.reset();
        }
    }
    switch (action) {
    case FrameAction::UseCopy:
        current = picture.data();
        pictureNew = true;
        return true;
    case FrameAction::KeepLast:
        pictureNew = false;
        return current != nullptr;
    case FrameAction::CopyByGdi:
        break;
    }
    pictureNew = copyByGdi(now);
    return pictureNew;
}

void ResilientFrameSource::makeDuplication(std::int64_t now)
{
    std::size_t adapters = 0;
    std::int32_t result = duplication->findAdapters(adapters);
    DuplicationAnswer answer = classifyDuplicationResult(result);
    if (answer == DuplicationAnswer::Done && adapters == 0) {
        answer = DuplicationAnswer::Final;
        result = NoOutputResult;
    }
    triedAdapters = 0;
    if (answer == DuplicationAnswer::Done) {
        // On a machine with two graphics processors an output may be listed by both, and only
        // the one that drives it can duplicate it; the others answer that it is unsupported.
        do {
            madeAs = duplication->make(triedAdapters++);
            result = madeAs.result;
            answer = judgeMade(madeAs, region);
        } while (answer == DuplicationAnswer::Unsupported && triedAdapters < adapters);
    }
    if (answer == DuplicationAnswer::Done && picture.empty()) {
        // Only once a duplication exists: an area across monitors never needs the buffer.
        picture.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    }
    copierChoice.made(answer, result, now);
}

FrameAction ResilientFrameSource::acquire(std::int64_t now)
{
    const DuplicatedImage image = duplication->acquire();
    DuplicationAnswer answer = judgeImage(image, madeAs);
    std::int32_t result = image.result;
    if (answer == DuplicationAnswer::Done) {
        result = duplication->copyArea(picture.data());
        answer = classifyDuplicationResult(result);
    }
    return copierChoice.afterAcquire(answer, result, now);
}

bool ResilientFrameSource::copyByGdi(std::int64_t now)
{
    if (copierChoice.gdiRemakeDue(now)) {
        // The old objects go first, so a large area never holds two captures at once.
        if (gdi && current == gdi->pixels()) {
            current = nullptr;
        }
        gdi.reset();
        gdi = tryToStartCapture();
        copierChoice.gdiRemade(now);
    }
    if (gdi) {
        try {
            gdi->grab();
            copierChoice.gdiCopied(true, now);
            current = gdi->pixels();
            copiedAny = true;
            return true;
        } catch (const Failure&) {
            if (!copiedAny) {
                throw;
            }
        }
    }
    copierChoice.gdiCopied(false, now);
    return false;
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
