#pragma once
// Which copy of the screen a recording's frames come from, and what becomes of the desktop
// duplication when the platform answers otherwise than with an image. Free of platform headers:
// the platform's results come in as numbers and plain values, the decisions go out as enums.
#include "common/pixel_rect.h"
#include "recording/core/media_clock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A platform result, classified as the duplication's documentation does.
enum class DuplicationAnswer : std::uint8_t {
    Done,         // S_OK: the duplication was made, or a new desktop image was copied
    NoNewImage,   // DXGI_ERROR_WAIT_TIMEOUT: the desktop has not changed since the last image
    AccessLost,   // DXGI_ERROR_ACCESS_LOST: a mode change or full-screen switch; make it anew
    AccessDenied, // E_ACCESSDENIED: the secure desktop is shown, no picture can be had for now
    Refused,      // anything else: unsupported, too many duplications, not implemented, ...
};

DuplicationAnswer classifyDuplicationResult(std::int32_t result) noexcept;

// One monitor as the graphics adapters list it.
struct MonitorOutput {
    PixelRect desktop; // its place on the virtual screen, in physical pixels
    bool rotated = false;
};

// The output that holds the whole recorded area and can be duplicated as it is: not rotated.
// Nothing when the area spans monitors, lies partly off them, or its monitor is rotated.
std::optional<std::size_t> outputToDuplicate(const PixelRect& area,
                                             const std::vector<MonitorOutput>& outputs) noexcept;

enum class FrameCopier : std::uint8_t { Duplication, Gdi };

// What a frame slot gets after the duplication's turn.
enum class FrameAction : std::uint8_t {
    UseCopy,   // the area was copied from a new desktop image
    KeepLast,  // the previous frame's picture stands: nothing on the screen changed
    CopyByGdi, // this frame is copied from the screen device context
    NoFrame,   // no picture can be had now: the copy fails
};

// Making the duplication again after a loss is tried at most this often (100-ns units).
inline constexpr std::int64_t DuplicationRetryInterval = UnitsPerSecond;

// The course of one recording's desktop duplication: after the answer of making it (at the start
// or again), and after each frame's answer, whether and when to make it again, what the frame
// gets, and whether GDI copies every frame from now on.
class DuplicationPolicy {
public:
    DuplicationPolicy(DuplicationAnswer made, std::int64_t now) noexcept { remade(made, now); }

    FrameCopier copier() const noexcept
    {
        return state == State::Gdi ? FrameCopier::Gdi : FrameCopier::Duplication;
    }
    // Whether the next frame may ask the duplication for an image.
    bool canAcquire() const noexcept { return state == State::Live; }
    // Whether the duplication, lost or refused for now, should be made again before this frame.
    bool remakeDue(std::int64_t now) const noexcept;
    void remade(DuplicationAnswer made, std::int64_t now) noexcept;

    // The frame after asking the duplication for an image; `havePicture`: an earlier frame has
    // a picture that can stand for this one.
    FrameAction afterAcquire(DuplicationAnswer acquired, bool havePicture,
                             std::int64_t now) noexcept;
    // The frame while the duplication cannot be asked (lost, denied, or GDI for good).
    FrameAction withoutAcquire(bool havePicture) const noexcept;

private:
    enum class State : std::uint8_t { Live, Lost, Denied, Gdi };
    State state = State::Gdi;
    std::int64_t nextRemake = 0;
};
