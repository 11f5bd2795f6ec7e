#include "recording/panel/panel_view.h"

#include "recording/core/failure_text.h"
#include "recording/core/media_clock.h"

#include <cwchar>

PanelButtons panelButtonsFor(RecordingState state)
{
    PanelButtons buttons;
    buttons.start = state == RecordingState::Idle || state == RecordingState::Saved ||
                    state == RecordingState::Failed;
    buttons.pause = state == RecordingState::Recording || state == RecordingState::Paused;
    buttons.finish = state == RecordingState::Starting || state == RecordingState::Recording ||
                     state == RecordingState::Paused;
    buttons.open = state == RecordingState::Saved;
    return buttons;
}

const wchar_t* pauseButtonText(RecordingState state)
{
    return state == RecordingState::Paused ? L"Wznow" : L"Pauza";
}

bool pauseTextChanges(RecordingState shown, RecordingState now)
{
    return (shown == RecordingState::Paused) != (now == RecordingState::Paused);
}

std::wstring formatInfoLine(std::int32_t width, std::int32_t height)
{
    return std::to_wstring(width) + L" x " + std::to_wstring(height) +
           L" | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)";
}

std::wstring formatRecordingTime(bool paused, std::int64_t elapsed100ns)
{
    // The worker never publishes a negative time; should one appear, show zero rather than a
    // garbled clock. Minutes have no upper limit, so they are formatted as 64-bit values.
    const double seconds =
        elapsed100ns > 0 ? static_cast<double>(elapsed100ns) / static_cast<double>(UnitsPerSecond)
                         : 0.0;
    const auto wholeSeconds = static_cast<long long>(seconds);
    wchar_t text[128] = {};
    const int length =
        std::swprintf(text, 128, L"%ls  %02lld:%02lld  | Mozesz klikac i obslugiwac pulpit.",
                      paused ? L"PAUZA" : L"NAGRYWANIE", wholeSeconds / 60, wholeSeconds % 60);
    if (length < 0) {
        return {};
    }
    return std::wstring(text, static_cast<std::size_t>(length));
}

namespace {

// "Zapisano do chwili bledu: <stage> (0x80070070). Kliknij Otworz MP4."; a failure text that
// ends its own sentence gets no second full stop.
std::wstring savedAfterFailureText(std::wstring_view errorText)
{
    std::wstring text = L"Zapisano do chwili bledu: ";
    text += errorText.empty() ? std::wstring_view(UnexpectedFailureText) : errorText;
    if (text.back() != L'.') {
        text += L'.';
    }
    text += L" Kliknij Otworz MP4.";
    return text;
}

} // namespace

std::wstring statusTextFor(RecordingState state, std::int64_t elapsed100ns,
                           std::wstring_view errorText, StopReason stopReason)
{
    switch (state) {
    case RecordingState::Starting:
        return L"Uruchamianie wideo i dzwieku...";
    case RecordingState::Recording:
        return formatRecordingTime(false, elapsed100ns);
    case RecordingState::Paused:
        return formatRecordingTime(true, elapsed100ns);
    case RecordingState::Saving:
        return L"Zapisywanie MP4 - prosze czekac...";
    case RecordingState::Saved:
        if (stopReason == StopReason::Failure) {
            return savedAfterFailureText(errorText);
        }
        if (stopReason == StopReason::LowDiskSpace) {
            return L"Zapisano w Wideo\\Kestrova (zatrzymano: malo miejsca na dysku). Kliknij "
                   L"Otworz MP4.";
        }
        return L"Zapisano w Wideo\\Kestrova. Kliknij Otworz MP4.";
    case RecordingState::Failed:
        // A failure whose text could not be made (memory ran out) still must not leave the
        // starting line standing.
        return errorText.empty() ? std::wstring(UnexpectedFailureText) : std::wstring(errorText);
    case RecordingState::Idle:
        break;
    }
    return {};
}
