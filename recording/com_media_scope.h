#pragma once
#include "recording/recording_ports.h"

// COM (multithreaded apartment) and Media Foundation for the recording worker thread. Each is
// shut down on destruction only if it was started, so a failed start-up unwinds cleanly.
class ComMediaScope final : public MediaRuntime {
public:
    ComMediaScope() = default;
    ComMediaScope(const ComMediaScope&) = delete;
    ComMediaScope& operator=(const ComMediaScope&) = delete;
    ~ComMediaScope() override;

    void startCom() override;             // "COM"
    void startMediaFoundation() override; // "Media Foundation"

private:
    bool comInitialized = false;
    bool mediaFoundationStarted = false;
};
