#pragma once
// The recording's frames from the desktop duplication, with GDI where the duplication has no
// picture to give: the first frame when no image comes in time, and every frame once the
// duplication has been given up.
#include "common/pixel_rect.h"
#include "recording/video/desktop_capture.h"
#include "recording/video/desktop_duplication.h"
#include "recording/video/frame_source_choice.h"
#include "recording/core/recording_ports.h"

#include <cstdint>
#include <memory>
#include <vector>

// The frame source of a recording: the desktop duplication where it can be made for the area,
// the GDI copy otherwise. `gdiFromNowOn` is the recording's memory of a duplication given up:
// when set GDI is chosen at once, and it is set when GDI is chosen or taken over later.
std::unique_ptr<FrameSource> startDesktopFrameSource(const PixelRect& area, std::int32_t width,
                                                     std::int32_t height, bool& gdiFromNowOn);

class DuplicationFrameSource final : public FrameSource {
public:
    using Clock = std::int64_t (*)() noexcept;

    // `made` has answered `answer` to make(): Done, or AccessDenied or AccessLost (made again
    // later). `givenUp` is the recording's gdiFromNowOn.
    DuplicationFrameSource(std::unique_ptr<DesktopDuplication> made, DuplicationAnswer answer,
                           const PixelRect& area, std::int32_t frameWidth, std::int32_t frameHeight,
                           Clock clock, bool& givenUp);

    void grab() override; // "Odczyt obrazu pulpitu"
    const std::uint8_t* pixels() const noexcept override { return current; }
    FrameCopier copier() const noexcept { return policy.copier(); }

private:
    void copyByGdi();

    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    Clock now;
    bool& gdiFromNowOn;
    std::vector<std::uint8_t> picture;
    std::unique_ptr<DesktopDuplication> duplication;
    std::unique_ptr<DesktopCapture> gdi; // made when a frame first needs it
    DuplicationPolicy policy;
    // The picture of the last frame: in `picture` or in the GDI capture's bits; null before one.
    const std::uint8_t* current = nullptr;
};
