#pragma once
// The recording panel window and the state it owns. openRecordingPanel (recording_panel.h) picks
// the area and then opens the panel through openRecordingPanelFor.
#include "common/dpi_scaling.h"
#include "common/pixel_rect.h"
#include "common/unique_handle.h"
#include "recording/engine/recording_session.h"
#include "recording/core/recording_state.h"
#include "recording/panel/recording_panel.h"

#include <windows.h>

#include <string>

struct RecordingPanelState {
    // With the real recording worker.
    explicit RecordingPanelState(const PixelRect& recordedArea);
    RecordingPanelState(const PixelRect& recordedArea, RecordingWorkerEntry workerEntry);

    RecordingSession session;
    PixelRect region;
    std::wstring outputPath;
    bool closeRequested = false;
    RecordingState shownState = RecordingState::Idle;
    std::wstring shownStatus;
    // The DPI of the monitor the panel is on and the controls' font made for it; both change
    // when the panel moves to a monitor with another scale.
    std::uint32_t dpi = DefaultDpi;
    UniqueFont font;
};

// The one panel window, or null; cleared by the window's own destruction.
extern HWND recordingPanelWindow;

inline constexpr const wchar_t* RecordingPanelClassName = L"KestrovaRecordingPanel";
inline constexpr UINT_PTR RefreshTimer = 1;
inline constexpr UINT RefreshPeriodMs = 100;

// Opens the panel and its frame for an area that has already been chosen, rounded and checked.
// An empty `workerEntry` records with the real worker. Returns the panel, or null when the class
// or the window could not be made (nothing is shown then).
HWND openRecordingPanelFor(const PixelRect& region, RecordingWorkerEntry workerEntry = {});

// The shutdown's way to close the panel: the recording is stopped and its file saved first
// (completed as well unless the session ends).
void finishRecordingAndClosePanel(PanelClosing closing);

LRESULT CALLBACK RecordingPanelWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
