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

// Why a recording was stopped; read with its Saved state.
enum class StopReason : std::uint8_t {
    Requested = 0,    // by the user, the panel's close or the end of the program
    LowDiskSpace = 1, // by the worker, before the disk could fill up
};

// Starting..Saving: a worker exists and has not finished.
constexpr bool isActive(RecordingState state) noexcept
{
    return state >= RecordingState::Starting && state <= RecordingState::Saving;
}
