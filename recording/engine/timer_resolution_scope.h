#pragma once
#include <windows.h>
#include <timeapi.h>

#include "recording/core/recording_ports.h"

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

// What the scope takes from winmm.dll, which is not a known DLL: looked up in the system folder
// on first use and kept for the life of the process. Null where missing; the loop then runs with
// the default period. Tests put stand-ins in their place to observe the calls.
struct TimerResolutionFunctions {
    decltype(&::timeBeginPeriod) beginPeriod = nullptr;
    decltype(&::timeEndPeriod) endPeriod = nullptr;
};
TimerResolutionFunctions& timerResolutionFunctions();
