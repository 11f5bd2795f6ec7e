#pragma once
#include <cstdint>

enum class RecordingState : std::int32_t {
    Idle = 0,
    Starting = 1,
    Recording = 2,
    Paused = 3,
    Saving = 4,
    Saved = 5,
    Failed = 6,
};

// Starting..Saving: a worker exists and has not finished.
constexpr bool isActive(RecordingState state) noexcept
{
    return state >= RecordingState::Starting && state <= RecordingState::Saving;
}
