#pragma once
#include "common/pixel_rect.h"
#include "common/unique_handle.h"
#include "recording/core/recording_ports.h"

#include <cstdint>
#include <optional>

// Copies the recorded area of the screen into a 32 bpp top-down DIB section that lives for the
// whole recording, so no frame allocates.
class DesktopCapture final : public FrameSource {
public:
    // Throws Failure(E_OUTOFMEMORY, "Przechwytywanie pulpitu") when a GDI object cannot be made.
    DesktopCapture(const PixelRect& area, std::int32_t frameWidth, std::int32_t frameHeight);
    DesktopCapture(const DesktopCapture&) = delete;
    DesktopCapture& operator=(const DesktopCapture&) = delete;
    ~DesktopCapture() override = default;

    void grab() override; // "Odczyt obrazu pulpitu"
    const std::uint8_t* pixels() const noexcept override { return bits; }

private:
    // Members are released in reverse order: the bitmap is selected out before it is deleted,
    // and the memory DC is deleted before the screen DC goes back.
    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    ScopedGetDc screenDC{nullptr};
    UniqueMemoryDc memoryDC;
    std::uint8_t* bits = nullptr;
    UniqueBitmap bitmap;
    std::optional<ScopedSelectObject> previousBitmap;
};
