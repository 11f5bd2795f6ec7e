#pragma once
#include "recording/recording_ports.h"

// Asks for a 1 ms system timer resolution while it lives, so Sleep(5) sleeps about 5 ms instead
// of a whole default period of 15.6 ms. Gives it back only if it was granted.
class TimerResolutionScope final : public SleepPrecision {
public:
    TimerResolutionScope() noexcept;
    TimerResolutionScope(const TimerResolutionScope&) = delete;
    TimerResolutionScope& operator=(const TimerResolutionScope&) = delete;
    ~TimerResolutionScope() override;

private:
    bool granted = false;
};
