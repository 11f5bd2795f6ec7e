#include "recording/core/recording_clock.h"
#include "recording/core/media_clock.h"

#include <windows.h>

std::int64_t nowIn100ns() noexcept
{
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    // Dividing first keeps the product within double's exact range for any realistic uptime.
    const double unitsPerTick =
        static_cast<double>(UnitsPerSecond) / static_cast<double>(frequency.QuadPart);
    return static_cast<std::int64_t>(unitsPerTick * static_cast<double>(counter.QuadPart));
}
