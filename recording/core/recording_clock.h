#pragma once
#include <cstdint>

// The recording clock in 100-ns units of the performance counter: the same time base as the
// packet positions the audio engine reports, so video frames and sound land on one timeline.
std::int64_t nowIn100ns() noexcept;
