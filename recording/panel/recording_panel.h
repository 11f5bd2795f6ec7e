#pragma once

// Lets the user pick an area and opens the recording panel for it; brings an open panel forward.
void openRecordingPanel();
// Application shutdown: stops a running recording, waits for its file, destroys panel and frame.
void closeRecordingPanel();
// A recording of the open panel is starting, running, paused or being saved.
bool recordingIsActive() noexcept;
