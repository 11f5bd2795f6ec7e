#pragma once
// Which copy of the screen a recording's frames come from, and when the desktop duplication is
// tried again after the platform refused it. Free of platform headers: the platform's results
// come in as numbers and plain values, the decisions go out as enums. One object of
// FrameSourceChoice keeps all of a recording's timing of new attempts, for the duplication and
// for the GDI copy alike.
#include "common/pixel_rect.h"
#include "recording/core/media_clock.h"
#include "recording/core/recording_ports.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A platform result, classified as the duplication's documentation and its known transitions
// have it.
enum class DuplicationAnswer : std::uint8_t {
    Done,        // S_OK: the duplication was made, or a new desktop image was copied
    NoNewImage,  // the desktop shows nothing new: no image presented since the last one
    Lost,        // the duplication no longer matches the desktop (mode change, desktop switch,
                 // an image of another format or size): made anew
    Unsupported, // DXGI_ERROR_UNSUPPORTED: not on this adapter or not in this desktop mode
    Passing,     // refused for now: the secure desktop, a disconnected session, a removed or
                 // reset device, too many duplications in the session
    Final,       // anything else, E_INVALIDARG and E_NOTIMPL among them: GDI from now on
};

DuplicationAnswer classifyDuplicationResult(std::int32_t result) noexcept;

// DXGI_FORMAT_B8G8R8A8_UNORM, the layout the NV12 conversion takes.
inline constexpr std::uint32_t BgraFormat = 87;
// DXGI_ERROR_NOT_FOUND: no output holds the whole area unrotated.
inline constexpr std::int32_t NoOutputResult = static_cast<std::int32_t>(0x887A0002u);

// The platform results the classification tells apart, spelled out because this file stays free
// of platform headers; the Windows binding checks each against the SDK's name.
namespace duplication_result {
inline constexpr std::int32_t WaitTimeout = static_cast<std::int32_t>(0x887A0027u);
inline constexpr std::int32_t AccessLost = static_cast<std::int32_t>(0x887A0026u);
inline constexpr std::int32_t Unsupported = static_cast<std::int32_t>(0x887A0004u);
inline constexpr std::int32_t AccessDenied = static_cast<std::int32_t>(0x80070005u);
inline constexpr std::int32_t SessionDisconnected = static_cast<std::int32_t>(0x887A0028u);
inline constexpr std::int32_t DeviceRemoved = static_cast<std::int32_t>(0x887A0005u);
inline constexpr std::int32_t DeviceHung = static_cast<std::int32_t>(0x887A0006u);
inline constexpr std::int32_t DeviceReset = static_cast<std::int32_t>(0x887A0007u);
inline constexpr std::int32_t NotCurrentlyAvailable = static_cast<std::int32_t>(0x887A0022u);
} // namespace duplication_result

// A duplication made for `area`: refused when its surface is not the size of the monitor's
// place on the virtual screen (the mode is changing), or no longer holds the area.
DuplicationAnswer judgeMade(const DuplicationMade& made, const PixelRect& area) noexcept;
// An acquired image: a new picture only when one was presented since the last one, and only
// when its surface is 8-bit BGRA of the duplication's size; anything else is a lost duplication,
// never a picture to copy.
DuplicationAnswer judgeImage(const DuplicatedImage& image, const DuplicationMade& made) noexcept;

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
};

// After a passing refusal the duplication is tried again this long after it, doubled with every
// further refusal up to the longest wait (100-ns units).
inline constexpr std::int64_t FirstDuplicationRetry = UnitsPerSecond;
inline constexpr std::int64_t LongestDuplicationRetry = 8 * UnitsPerSecond;
// While GDI copies fail the capture is made anew after this long, and again after each further
// interval of failures, in case its screen device context does not recover.
inline constexpr std::int64_t GdiRemakeInterval = UnitsPerSecond;

class FrameSourceChoice {
public:
    FrameCopier copier() const noexcept
    {
        return stage == Stage::Live ? FrameCopier::Duplication : FrameCopier::Gdi;
    }
    // The answer and the platform's result behind the present copier: Done and 0 while the
    // duplication gives the frames; nothing tried yet is Final with 0.
    DuplicationAnswer answer() const noexcept { return lastAnswer; }
    std::int32_t result() const noexcept { return lastResult; }
    // GDI for the rest of the recording.
    bool givenUp() const noexcept { return stage == Stage::GivenUp; }

    // Whether the duplication should be made (again) in the frame slot at `now`.
    bool makeDue(std::int64_t now) const noexcept;
    void made(DuplicationAnswer made, std::int32_t platformResult, std::int64_t now) noexcept;
    // Whether this slot asks the duplication for an image: once it is made and the slot after
    // making it has its picture from GDI.
    bool acquireDue() const noexcept { return stage == Stage::Live && !firstPicturePending; }
    // The slot after asking the duplication for an image and, when one came, copying the area.
    FrameAction afterAcquire(DuplicationAnswer acquired, std::int32_t platformResult,
                             std::int64_t now) noexcept;

    void gdiCopied(bool succeeded, std::int64_t now) noexcept;
    bool gdiRemakeDue(std::int64_t now) const noexcept;
    void gdiRemade(std::int64_t now) noexcept { gdiFailingSince = now; }

private:
    enum class Stage : std::uint8_t { Untried, Live, Waiting, GivenUp };

    void refused(DuplicationAnswer answer, std::int32_t platformResult, std::int64_t now) noexcept;

    Stage stage = Stage::Untried;
    DuplicationAnswer lastAnswer = DuplicationAnswer::Final;
    std::int32_t lastResult = 0;
    bool firstPicturePending = false;
    bool deliveredSinceMade = false;
    int refusalsInARow = 0;
    std::int64_t nextAttempt = 0;
    // When GDI copies began to fail, or when the capture was last made anew while they fail.
    std::optional<std::int64_t> gdiFailingSince;
};
