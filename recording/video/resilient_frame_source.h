#pragma once
// The recording's copies of the screen: from the desktop duplication while it gives pictures,
// from the screen's device context (GDI) where it cannot, and kept going while the user's desktop
// cannot be read. While the secure desktop is shown (a locked screen, an elevation prompt, a
// secure screensaver) every copy from the user's desktop fails; the recording goes on without
// new pictures and takes them again once copies succeed.
#include "common/pixel_rect.h"
#include "recording/core/recording_ports.h"
#include "recording/video/frame_source_choice.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class ResilientFrameSource {
public:
    // Starts the platform's GDI copy, whose failure is thrown, and takes its desktop duplication
    // where it offers one; the duplication is made at the first frame.
    ResilientFrameSource(RecordingPlatform& recordingPlatform, const PixelRect& area,
                         std::int32_t frameWidth, std::int32_t frameHeight);

    // Takes the frame slot at `now` (the recording clock). True when pixels() holds its picture:
    // a new copy, or the last one where the duplication reports no change. Until one copy has
    // succeeded a failed copy is thrown: a recording without any picture ends. After that a
    // failed copy gives false.
    bool grab(std::int64_t now);
    // Valid after grab returned true.
    const std::uint8_t* pixels() const noexcept { return current; }
    // After grab returned true: whether it copied the picture anew, rather than keeping the last
    // one because the desktop presented nothing new (the picture has not changed since).
    bool pictureIsNew() const noexcept { return pictureNew; }

    // Which copier gives the frames and why; the adapters the last making of the duplication
    // tried.
    const FrameSourceChoice& choice() const noexcept { return copierChoice; }
    std::size_t adaptersTried() const noexcept { return triedAdapters; }
    // Which copier took the picture that pixels() holds.
    FrameCopier pictureCopier() const noexcept
    {
        return current != nullptr && current == picture.data() ? FrameCopier::Duplication
                                                               : FrameCopier::Gdi;
    }

private:
    void makeDuplication(std::int64_t now);
    FrameAction acquire(std::int64_t now);
    bool copyByGdi(std::int64_t now);
    std::unique_ptr<FrameSource> tryToStartCapture();

    RecordingPlatform& platform;
    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    FrameSourceChoice copierChoice;
    std::unique_ptr<FrameSource> gdi;
    std::unique_ptr<ScreenDuplication> duplication;
    DuplicationMade madeAs;
    std::size_t triedAdapters = 0;
    std::vector<std::uint8_t> picture; // the duplication's copies of the area, once it is made
    // The last frame's picture: in `picture` or in the GDI capture's bits; null before one, and
    // after the capture that held it was made anew.
    const std::uint8_t* current = nullptr;
    bool pictureNew = false;
    bool copiedAny = false;
};
