#pragma once
#include <cstdint>

// 32 bits wide by design: the panel and the worker share it as one atomic value.
enum class RecordingState : std::int32_t { // NOLINT(performance-enum-size)
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
    Failure = 2,      // by a failure after the first video frame: the file holds what came before
    SessionEnd = 3,   // by the end of the user's session: the file is completed at the next start
};

// Starting..Saving: a worker exists and has not finished.
constexpr bool isActive(RecordingState state) noexcept
{
    return state >= RecordingState::Starting && state <= RecordingState::Saving;
}
