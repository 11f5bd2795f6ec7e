#pragma once
#include "common/local_time.h"

#include <string>

// "Screenshot_YYYY-MM-DD_HH-MM-SS_mmm.png"; the year keeps its own digits, everything else is
// zero-padded. Independent of the global locale.
std::wstring formatScreenshotFileName(const LocalTime& time);
