#include "recording/core/recording_stage.h"

#include <array>

namespace {

constexpr std::array<const wchar_t*, RecordingStageCount> StageTexts = {
    L"COM",
    L"Media Foundation",
    L"Urzadzenia audio",
    L"Brak wyjscia audio",
    L"Dzwiek systemowy",
    L"Format dzwieku systemowego",
    L"Nieobslugiwany format audio",
    L"Przechwytywanie dzwieku systemowego",
    L"Bufor dzwieku systemowego",
    L"Start dzwieku systemowego",
    L"Odczyt audio",
    L"Odczyt pakietu audio",
    L"Zwolnienie pakietu audio",
    L"Kolejny pakiet audio",
    L"Przechwytywanie pulpitu",
    L"Odczyt obrazu pulpitu",
    L"Ustawienia MP4",
    L"Utworzenie MP4",
    L"Format wideo",
    L"Enkoder H.264",
    L"Wejscie wideo NV12",
    L"Format audio",
    L"Enkoder AAC",
    L"Wejscie audio PCM",
    L"Start zapisu MP4",
    L"Bufor nagrania",
    L"Blokada bufora",
    L"Probka nagrania",
    L"Zapis probki MP4",
    L"Finalizacja pliku MP4",
    L"Obszar musi miec od 16x16 do 3840x2160 pikseli",
    L"Malo miejsca na dysku",
};

} // namespace

const wchar_t* stageText(RecordingStage stage) noexcept
{
    return StageTexts[static_cast<std::size_t>(stage)];
}

std::optional<RecordingStage> stageOf(const Failure& failure) noexcept
{
    for (std::size_t i = 0; i < StageTexts.size(); ++i) {
        if (failure.stage == StageTexts[i]) {
            return static_cast<RecordingStage>(i);
        }
    }
    return std::nullopt;
}
