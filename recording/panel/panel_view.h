#pragma once
// What the recording panel shows for each state of the session: button states and texts, the
// status line and the fixed info line.
#include "recording/core/recording_state.h"

#include <cstdint>
#include <string>
#include <string_view>

struct PanelButtons {
    bool start = false;
    bool pause = false;
    bool finish = false;
    bool open = false;
    friend bool operator==(const PanelButtons&, const PanelButtons&) = default;
};

PanelButtons panelButtonsFor(RecordingState state);

// "Wznow" while paused, "Pauza" otherwise.
const wchar_t* pauseButtonText(RecordingState state);
// The pause button's text is rewritten only when the state enters or leaves Paused.
bool pauseTextChanges(RecordingState shown, RecordingState now);

// "640 x 480 | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)"
std::wstring formatInfoLine(std::int32_t width, std::int32_t height);

// The recorded time as the status line shows it, e.g. "NAGRYWANIE  00:05  | Mozesz ...".
std::wstring formatRecordingTime(bool paused, std::int64_t elapsed100ns);

// The status line for a state; empty for Idle, which leaves the line as it is. `errorText` is
// used in Failed and in Saved after a failure, `elapsed100ns` only while recording or paused,
// `stopReason` only in Saved.
std::wstring statusTextFor(RecordingState state, std::int64_t elapsed100ns,
                           std::wstring_view errorText,
                           StopReason stopReason = StopReason::Requested);

// Closing the panel during these states waits for the recording to be saved.
constexpr bool closeWaitsForRecording(RecordingState state) noexcept
{
    return isActive(state);
}

// The recording is over: the frame goes, and a deferred close may happen.
constexpr bool recordingHasEnded(RecordingState state) noexcept
{
    return state == RecordingState::Saved || state == RecordingState::Failed;
}
