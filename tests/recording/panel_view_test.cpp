#include "recording/panel/panel_view.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t Second = 10000000;

TEST(PanelButtonsByState, EnabledButtonsFollowTheState)
{
    using S = RecordingState;
    EXPECT_EQ(panelButtonsFor(S::Idle), (PanelButtons{true, false, false, false}));
    EXPECT_EQ(panelButtonsFor(S::Starting), (PanelButtons{false, false, true, false}));
    EXPECT_EQ(panelButtonsFor(S::Recording), (PanelButtons{false, true, true, false}));
    EXPECT_EQ(panelButtonsFor(S::Paused), (PanelButtons{false, true, true, false}));
    EXPECT_EQ(panelButtonsFor(S::Saving), (PanelButtons{false, false, false, false}));
    EXPECT_EQ(panelButtonsFor(S::Saved), (PanelButtons{true, false, false, true}));
    EXPECT_EQ(panelButtonsFor(S::Failed), (PanelButtons{true, false, false, false}));
}

TEST(PanelButtonsByState, PauseButtonSaysResumeOnlyWhilePaused)
{
    EXPECT_EQ(std::wstring(pauseButtonText(RecordingState::Paused)), L"Wznow");
    for (RecordingState state :
         {RecordingState::Idle, RecordingState::Starting, RecordingState::Recording,
          RecordingState::Saving, RecordingState::Saved, RecordingState::Failed}) {
        EXPECT_EQ(std::wstring(pauseButtonText(state)), L"Pauza");
    }
}

TEST(PanelButtonsByState, PauseTextIsRewrittenOnlyWhenEnteringOrLeavingPaused)
{
    using S = RecordingState;
    EXPECT_TRUE(pauseTextChanges(S::Recording, S::Paused));
    EXPECT_TRUE(pauseTextChanges(S::Paused, S::Recording));
    EXPECT_TRUE(pauseTextChanges(S::Paused, S::Failed));
    EXPECT_TRUE(pauseTextChanges(S::Paused, S::Saving));
    EXPECT_FALSE(pauseTextChanges(S::Paused, S::Paused));
    EXPECT_FALSE(pauseTextChanges(S::Recording, S::Saving));
    EXPECT_FALSE(pauseTextChanges(S::Idle, S::Starting));
}

TEST(PanelButtonsByState, ClosingWaitsOnlyForActiveRecordings)
{
    using S = RecordingState;
    for (RecordingState state : {S::Starting, S::Recording, S::Paused, S::Saving}) {
        EXPECT_TRUE(closeWaitsForRecording(state));
        EXPECT_FALSE(recordingHasEnded(state));
    }
    for (RecordingState state : {S::Idle, S::Saved, S::Failed}) {
        EXPECT_FALSE(closeWaitsForRecording(state));
    }
    EXPECT_TRUE(recordingHasEnded(S::Saved));
    EXPECT_TRUE(recordingHasEnded(S::Failed));
    EXPECT_FALSE(recordingHasEnded(S::Idle));
}

TEST(PanelInfoLine, ShowsSizeAndFormat)
{
    EXPECT_EQ(formatInfoLine(640, 480),
              L"640 x 480 | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)");
    EXPECT_EQ(formatInfoLine(1280, 720).substr(0, 10), L"1280 x 720");
    EXPECT_EQ(formatInfoLine(16, 16).substr(0, 8), L"16 x 16 ");
}

TEST(PanelStatusText, RecordingTimeAfterFiveSeconds)
{
    EXPECT_EQ(statusTextFor(RecordingState::Recording, 5 * Second, L""),
              L"NAGRYWANIE  00:05  | Mozesz klikac i obslugiwac pulpit.");
}

TEST(PanelStatusText, TimeIsTruncatedToWholeSeconds)
{
    EXPECT_EQ(formatRecordingTime(false, 0),
              L"NAGRYWANIE  00:00  | Mozesz klikac i obslugiwac pulpit.");
    EXPECT_EQ(formatRecordingTime(false, Second - 1),
              L"NAGRYWANIE  00:00  | Mozesz klikac i obslugiwac pulpit.");
    EXPECT_EQ(formatRecordingTime(false, 59 * Second + Second / 2),
              L"NAGRYWANIE  00:59  | Mozesz klikac i obslugiwac pulpit.");
    EXPECT_EQ(formatRecordingTime(false, 60 * Second),
              L"NAGRYWANIE  01:00  | Mozesz klikac i obslugiwac pulpit.");
}

TEST(PanelStatusText, PausedShowsPauza)
{
    EXPECT_EQ(statusTextFor(RecordingState::Paused, 125 * Second, L""),
              L"PAUZA  02:05  | Mozesz klikac i obslugiwac pulpit.");
}

TEST(PanelStatusText, MinutesHaveNoUpperLimit)
{
    EXPECT_EQ(formatRecordingTime(false, (99 * 60 + 59) * Second),
              L"NAGRYWANIE  99:59  | Mozesz klikac i obslugiwac pulpit.");
    EXPECT_EQ(formatRecordingTime(false, 100 * 60 * Second),
              L"NAGRYWANIE  100:00  | Mozesz klikac i obslugiwac pulpit.");
    EXPECT_EQ(formatRecordingTime(true, (1000 * 60 + 7) * Second),
              L"PAUZA  1000:07  | Mozesz klikac i obslugiwac pulpit.");
}

TEST(PanelStatusText, OddTimesStayWellFormed)
{
    EXPECT_EQ(formatRecordingTime(false, -Second),
              L"NAGRYWANIE  00:00  | Mozesz klikac i obslugiwac pulpit.");
    const std::wstring longest = formatRecordingTime(false, INT64_MAX);
    EXPECT_EQ(longest.rfind(L"NAGRYWANIE  ", 0), 0u);
    EXPECT_NE(longest.find(L"  | Mozesz klikac i obslugiwac pulpit."), std::wstring::npos);
}

TEST(PanelStatusText, FixedTextsPerState)
{
    EXPECT_EQ(statusTextFor(RecordingState::Starting, 0, L""), L"Uruchamianie wideo i dzwieku...");
    EXPECT_EQ(statusTextFor(RecordingState::Saving, 7 * Second, L""),
              L"Zapisywanie MP4 - prosze czekac...");
    EXPECT_EQ(statusTextFor(RecordingState::Saved, 7 * Second, L""),
              L"Zapisano w Wideo\\Kestrova. Kliknij Otworz MP4.");
    EXPECT_EQ(statusTextFor(RecordingState::Saved, 7 * Second, L"", StopReason::LowDiskSpace),
              L"Zapisano w Wideo\\Kestrova (zatrzymano: malo miejsca na dysku). Kliknij Otworz "
              L"MP4.");
    EXPECT_EQ(statusTextFor(RecordingState::Saving, 7 * Second, L"", StopReason::LowDiskSpace),
              L"Zapisywanie MP4 - prosze czekac...");
}

TEST(PanelStatusText, SavedAfterAFailureNamesItAndPointsToTheFile)
{
    EXPECT_EQ(statusTextFor(RecordingState::Saved, 7 * Second, L"Zapis probki MP4 (0xC00D4A44)",
                            StopReason::Failure),
              L"Zapisano do chwili bledu: Zapis probki MP4 (0xC00D4A44). Kliknij Otworz MP4.");
    // The unexpected failure's text ends its own sentence; a missing text becomes that one.
    const std::wstring unexpected = L"Zapisano do chwili bledu: Nieoczekiwany blad nagrywania "
                                    L"(np. brak pamieci). Kliknij Otworz MP4.";
    EXPECT_EQ(statusTextFor(RecordingState::Saved, 0,
                            L"Nieoczekiwany blad nagrywania (np. brak pamieci).",
                            StopReason::Failure),
              unexpected);
    EXPECT_EQ(statusTextFor(RecordingState::Saved, 0, L"", StopReason::Failure), unexpected);
    EXPECT_TRUE(panelButtonsFor(RecordingState::Saved).open);
}

TEST(PanelStatusText, FailedShowsTheErrorText)
{
    EXPECT_EQ(statusTextFor(RecordingState::Failed, 3 * Second, L"Brak wyjscia audio (0x80070490)"),
              L"Brak wyjscia audio (0x80070490)");
    EXPECT_EQ(statusTextFor(RecordingState::Failed, 0, L""),
              L"Nieoczekiwany blad nagrywania (np. brak pamieci).");
    EXPECT_EQ(statusTextFor(RecordingState::Starting, 0, L"stale"),
              L"Uruchamianie wideo i dzwieku...");
}

TEST(PanelStatusText, IdleLeavesTheLineAlone)
{
    EXPECT_TRUE(statusTextFor(RecordingState::Idle, 5 * Second, L"x").empty());
}

} // namespace
