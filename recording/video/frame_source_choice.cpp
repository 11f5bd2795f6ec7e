#include "recording/video/frame_source_choice.h"

#include <algorithm>

namespace {

using namespace duplication_result;

bool holds(const PixelRect& outer, const PixelRect& inner) noexcept
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

DuplicationAnswer classifyDuplicationResult(std::int32_t result) noexcept
{
    if (result >= 0) {
        return DuplicationAnswer::Done;
    }
    switch (result) {
    case WaitTimeout:
        return DuplicationAnswer::NoNewImage;
    case AccessLost:
        return DuplicationAnswer::Lost;
    case Unsupported:
        return DuplicationAnswer::Unsupported;
    case AccessDenied:
    case SessionDisconnected:
    case DeviceRemoved:
    case DeviceHung:
    case DeviceReset:
    case NotCurrentlyAvailable:
        return DuplicationAnswer::Passing;
    default:
        return DuplicationAnswer::Final;
    }
}

DuplicationAnswer judgeMade(const DuplicationMade& made, const PixelRect& area) noexcept
{
    const DuplicationAnswer answer = classifyDuplicationResult(made.result);
    if (answer != DuplicationAnswer::Done) {
        return answer;
    }
    if (made.rotated || made.modeWidth != made.monitor.width() ||
        made.modeHeight != made.monitor.height() || !holds(made.monitor, area)) {
        return DuplicationAnswer::Lost;
    }
    return DuplicationAnswer::Done;
}

DuplicationAnswer judgeImage(const DuplicatedImage& image, const DuplicationMade& made) noexcept
{
    const DuplicationAnswer answer = classifyDuplicationResult(image.result);
    if (answer != DuplicationAnswer::Done) {
        return answer;
    }
    // A frame that only moved the pointer, or one before any presentation, carries a surface
    // whose content is not documented: it is no picture.
    if (image.lastPresentTime == 0 || image.accumulatedFrames == 0) {
        return DuplicationAnswer::NoNewImage;
    }
    if (!image.texture || image.format != BgraFormat || image.width != made.modeWidth ||
        image.height != made.modeHeight) {
        return DuplicationAnswer::Lost;
    }
    return DuplicationAnswer::Done;
}

std::optional<std::size_t> outputToDuplicate(const PixelRect& area,
                                             const std::vector<MonitorOutput>& outputs) noexcept
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (holds(outputs[i].desktop, area)) {
            // Outputs do not overlap, so no other one can hold the area.
            return outputs[i].rotated ? std::nullopt : std::optional<std::size_t>(i);
        }
    }
    return std::nullopt;
}

bool FrameSourceChoice::makeDue(std::int64_t now) const noexcept
{
    return stage == Stage::Untried || (stage == Stage::Waiting && now >= nextAttempt);
}

void FrameSourceChoice::made(DuplicationAnswer made, std::int32_t platformResult,
                             std::int64_t now) noexcept
{
    if (made != DuplicationAnswer::Done) {
        refused(made, platformResult, now);
        return;
    }
    stage = Stage::Live;
    lastAnswer = DuplicationAnswer::Done;
    lastResult = 0;
    // What the new duplication's first surface holds is not documented, and the desktop may
    // have changed while there was none: the slot after making it is copied by GDI.
    firstPicturePending = true;
    deliveredSinceMade = false;
}

FrameAction FrameSourceChoice::afterAcquire(DuplicationAnswer acquired, std::int32_t platformResult,
                                            std::int64_t now) noexcept
{
    switch (acquired) {
    case DuplicationAnswer::Done:
        deliveredSinceMade = true;
        refusalsInARow = 0;
        return FrameAction::UseCopy;
    case DuplicationAnswer::NoNewImage:
        return FrameAction::KeepLast;
    case DuplicationAnswer::Lost:
        if (deliveredSinceMade) {
            // A mode change or a desktop switch: usually over by the next slot, which makes
            // the duplication again.
            stage = Stage::Waiting;
            lastAnswer = acquired;
            lastResult = platformResult;
            nextAttempt = now;
            return FrameAction::CopyByGdi;
        }
        break;
    case DuplicationAnswer::Unsupported:
    case DuplicationAnswer::Passing:
    case DuplicationAnswer::Final:
        break;
    }
    refused(acquired, platformResult, now);
    return FrameAction::CopyByGdi;
}

void FrameSourceChoice::refused(DuplicationAnswer answer, std::int32_t platformResult,
                                std::int64_t now) noexcept
{
    lastAnswer = answer;
    lastResult = platformResult;
    if (answer == DuplicationAnswer::Final || stage == Stage::GivenUp) {
        stage = Stage::GivenUp;
        return;
    }
    stage = Stage::Waiting;
    // 1 s, 2 s, 4 s, then 8 s between attempts: a secure desktop or a driver reset is often over
    // within seconds, while a refusal that lasts costs a new device only every 8 s.
    refusalsInARow = std::min(refusalsInARow + 1, 4);
    nextAttempt =
        now + std::min(FirstDuplicationRetry << (refusalsInARow - 1), LongestDuplicationRetry);
}

void FrameSourceChoice::gdiCopied(bool succeeded, std::int64_t now) noexcept
{
    if (succeeded) {
        firstPicturePending = false;
        gdiFailingSince.reset();
    } else if (!gdiFailingSince) {
        gdiFailingSince = now;
    }
}

bool FrameSourceChoice::gdiRemakeDue(std::int64_t now) const noexcept
{
    return gdiFailingSince && now - *gdiFailingSince >= GdiRemakeInterval;
}
