#include "recording/engine/timer_resolution_scope.h"

#include "common/system_library.h"

namespace {

constexpr UINT ResolutionMilliseconds = 1;

} // namespace

TimerResolutionFunctions& timerResolutionFunctions()
{
    static const SystemLibrary library(L"winmm.dll");
    static TimerResolutionFunctions functions{
        library.find<decltype(&::timeBeginPeriod)>("timeBeginPeriod"),
        library.find<decltype(&::timeEndPeriod)>("timeEndPeriod")};
    return functions;
}

TimerResolutionScope::TimerResolutionScope() noexcept
{
    const TimerResolutionFunctions& timer = timerResolutionFunctions();
    // Only a resolution that can be given back is asked for.
    granted = timer.beginPeriod != nullptr && timer.endPeriod != nullptr &&
              timer.beginPeriod(ResolutionMilliseconds) == TIMERR_NOERROR;
}

TimerResolutionScope::~TimerResolutionScope()
{
    if (granted) {
        timerResolutionFunctions().endPeriod(ResolutionMilliseconds);
    }
}
