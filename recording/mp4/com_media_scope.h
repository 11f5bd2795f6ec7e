#pragma once
#include "common/com_scope.h"
#include "recording/mp4/media_foundation_library.h"
#include "recording/core/recording_ports.h"

#include <optional>

// COM (multithreaded apartment) and Media Foundation for the recording worker thread. Each is
// shut down on destruction only if it was started, so a failed start-up unwinds cleanly; the
// Media Foundation modules are loaded by the start and freed after MFShutdown.
class ComMediaScope final : public MediaRuntime {
public:
    ComMediaScope() = default;
    ComMediaScope(const ComMediaScope&) = delete;
    ComMediaScope& operator=(const ComMediaScope&) = delete;
    ~ComMediaScope() override;

    void startCom() override;
    void startMediaFoundation() override;
    // The program's MP4 sink writer, calling Media Foundation through this scope's functions.
    std::unique_ptr<MediaFileWriter> makeFileWriter() override;

    // Filled in by startMediaFoundation; valid as long as this scope lives.
    const MediaFoundationFunctions& mediaFoundation() const noexcept { return library.functions(); }

private:
    // Declared first, so the apartment is left last, after Media Foundation has shut down.
    std::optional<ScopedMultithreadedCom> com;
    bool mediaFoundationStarted = false;
    MediaFoundationLibrary library;
};
