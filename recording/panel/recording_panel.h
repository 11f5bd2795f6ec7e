#pragma once
#include <cstdint>

// Lets the user pick an area and opens the recording panel for it; brings an open panel forward.
void openRecordingPanel();
enum class PanelClosing : std::uint8_t {
    ProgramExit, // the recording's file is finalized and completed
    SessionEnd,  // finalized only: the session's end is not held up, the next start completes it
};

// Application shutdown: stops a running recording, waits for its file, destroys panel and frame.
void closeRecordingPanel(PanelClosing closing = PanelClosing::ProgramExit);
// A recording of the open panel is starting, running, paused or being saved.
bool recordingIsActive() noexcept;
