#include "recording/panel/recording_panel.h"

#include "common/win_rect.h"
#include "common/window_binding.h"
#include "recording/panel/recording_area.h"
#include "recording/panel/recording_border.h"
#include "recording/panel/recording_panel_window.h"
#include "screenshot/preview_window.h"
#include "screenshot/selection_overlay.h"

#include <windows.h>

namespace {

// The overlay is open for a recording; a second recording command meanwhile does nothing.
bool selectionActive = false;

class SelectionActiveFlag {
public:
    SelectionActiveFlag() noexcept { selectionActive = true; }
    SelectionActiveFlag(const SelectionActiveFlag&) = delete;
    SelectionActiveFlag& operator=(const SelectionActiveFlag&) = delete;
    ~SelectionActiveFlag() { selectionActive = false; }
};

void chooseAreaAndOpen()
{
    // Its destructor closes the overlay and unregisters its class on every way out.
    SelectionOverlay overlay;
    RECT selected{};
    {
        SelectionActiveFlag active;
        PreviewWindow::close();
        selected = overlay.run(toRect(currentVirtualScreen()));
    }

    const AreaCheck check = checkRecordingArea(toPixelRect(selected));
    switch (check.verdict) {
    case AreaVerdict::Ignore:
        return;
    case AreaVerdict::Refuse:
        ::MessageBoxW(nullptr, L"Wybierz obszar od 16x16 do 3840x2160 pikseli.", L"Nagrywanie",
                      MB_OK | MB_ICONINFORMATION);
        return;
    case AreaVerdict::Accept:
        openRecordingPanelFor(check.region);
        return;
    }
}

} // namespace

void openRecordingPanel()
{
    // A screenshot's selection is on the screen: the command is dropped, not queued.
    if (SelectionOverlay::isOpen()) {
        return;
    }
    if (recordingPanelWindow != nullptr) {
        ::ShowWindow(recordingPanelWindow, SW_SHOWNORMAL);
        ::SetForegroundWindow(recordingPanelWindow);
        return;
    }
    if (selectionActive) {
        return;
    }
    try {
        chooseAreaAndOpen();
    } catch (...) { // NOLINT(bugprone-empty-catch): a deliberate barrier
        // Called from the main window procedure: out of memory opens no panel.
    }
}

bool recordingIsActive() noexcept
{
    const RecordingPanelState* state = recordingPanelWindow != nullptr
                                           ? boundObject<RecordingPanelState>(recordingPanelWindow)
                                           : nullptr;
    return state != nullptr && isActive(state->session.readState());
}

void closeRecordingPanel(PanelClosing closing)
{
    finishRecordingAndClosePanel(closing);
    destroyRecordingBorder();
}
