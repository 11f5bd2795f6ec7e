#pragma once
// The recording's copies of the screen, kept going while the user's desktop cannot be read.
// While the secure desktop is shown (a locked screen, an elevation prompt, a secure screensaver)
// every copy from the user's desktop fails; the recording goes on without new pictures and takes
// them again once copies succeed.
#include "common/pixel_rect.h"
#include "recording/core/recording_ports.h"
#include "recording/core/media_clock.h"

#include <cstdint>
#include <memory>
#include <optional>

// How long copies keep failing before the desktop capture is made anew, in case its screen
// device context does not recover; and again after each further second of failures.
inline constexpr std::int64_t DesktopRemakeInterval = UnitsPerSecond;

class ResilientFrameSource {
public:
    // Starts the platform's desktop capture; its failure is thrown.
    ResilientFrameSource(RecordingPlatform& recordingPlatform, const PixelRect& area,
                         std::int32_t frameWidth, std::int32_t frameHeight);

    // Copies the area; `now` is the recording clock. True when pixels() holds the new picture.
    // Until one copy has succeeded a failed copy is thrown: a recording without any picture ends.
    // After that a failed copy gives false.
    bool grab(std::int64_t now);
    // Valid after grab returned true.
    const std::uint8_t* pixels() const noexcept { return source->pixels(); }

private:
    void remake();
    std::unique_ptr<FrameSource> tryToStartCapture();

    RecordingPlatform& platform;
    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    std::unique_ptr<FrameSource> source;
    bool copiedAny = false;
    // While copies fail: when the capture was last made anew, or when the failures began.
    std::optional<std::int64_t> lastRemake;
};
