#pragma once
#include "common/local_time.h"

#include <windows.h>

inline LocalTime localTimeNow() noexcept
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return {now.wYear,   now.wMonth,  now.wDay,         now.wHour,
            now.wMinute, now.wSecond, now.wMilliseconds};
}
