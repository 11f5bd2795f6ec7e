#include "recording/timer_resolution_scope.h"

#include <windows.h>
#include <timeapi.h>

namespace {

constexpr UINT ResolutionMilliseconds = 1;

} // namespace

TimerResolutionScope::TimerResolutionScope() noexcept
    : granted(::timeBeginPeriod(ResolutionMilliseconds) == TIMERR_NOERROR)
{}

TimerResolutionScope::~TimerResolutionScope()
{
    if (granted) {
        ::timeEndPeriod(ResolutionMilliseconds);
    }
}
