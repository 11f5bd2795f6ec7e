#include "recording/video/duplication_frame_source.h"

#include "common/failure.h"
#include "recording/core/recording_clock.h"
#include "recording/core/recording_stage.h"

#include <windows.h>

namespace {

// How long the first frame waits for the duplication's first image before GDI copies it.
constexpr unsigned FirstImageWaitMs = 100;

} // namespace

std::unique_ptr<FrameSource> startDesktopFrameSource(const PixelRect& area, std::int32_t width,
                                                     std::int32_t height, bool& gdiFromNowOn)
{
    if (!gdiFromNowOn) {
        auto duplication = std::make_unique<DesktopDuplication>(area, width, height);
        const DuplicationAnswer made = duplication->make();
        if (DuplicationPolicy(made, 0).copier() == FrameCopier::Duplication) {
            return std::make_unique<DuplicationFrameSource>(
                std::move(duplication), made, area, width, height, &nowIn100ns, gdiFromNowOn);
        }
        gdiFromNowOn = true;
    }
    return std::make_unique<DesktopCapture>(area, width, height);
}

DuplicationFrameSource::DuplicationFrameSource(std::unique_ptr<DesktopDuplication> made,
                                               DuplicationAnswer answer, const PixelRect& area,
                                               std::int32_t frameWidth, std::int32_t frameHeight,
                                               Clock clock, bool& givenUp)
    : region(area),
      width(frameWidth),
      height(frameHeight),
      now(clock),
      gdiFromNowOn(givenUp),
      picture(static_cast<std::size_t>(frameWidth) * static_cast<std::size_t>(frameHeight) * 4),
      duplication(std::move(made)),
      policy(answer, clock())
{}

void DuplicationFrameSource::grab()
{
    const std::int64_t time = now();
    if (policy.remakeDue(time)) {
        policy.remade(duplication->make(), time);
    }
    FrameAction action = FrameAction::CopyByGdi;
    if (policy.canAcquire()) {
        const unsigned timeout = current == nullptr ? FirstImageWaitMs : 0;
        action = policy.afterAcquire(duplication->copyNewImage(timeout, picture.data()),
                                     current != nullptr, time);
    } else {
        action = policy.withoutAcquire(current != nullptr);
    }
    if (policy.copier() == FrameCopier::Gdi && !gdiFromNowOn) {
        duplication->release();
        gdiFromNowOn = true;
    }
    switch (action) {
    case FrameAction::UseCopy:
        current = picture.data();
        return;
    case FrameAction::KeepLast:
        return;
    case FrameAction::CopyByGdi:
        copyByGdi();
        return;
    case FrameAction::NoFrame:
        throw stageFailure(E_ACCESSDENIED, RecordingStage::DesktopImageRead);
    }
}

void DuplicationFrameSource::copyByGdi()
{
    if (!gdi) {
        gdi = std::make_unique<DesktopCapture>(region, width, height);
    }
    gdi->grab();
    current = gdi->pixels();
}
