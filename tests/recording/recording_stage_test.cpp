#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

// Every text the user can read for a failed stage, as the panel shows it.
const std::pair<RecordingStage, const wchar_t*> ShownTexts[] = {
    {RecordingStage::Com, L"COM"},
    {RecordingStage::MediaFoundation, L"Media Foundation"},
    {RecordingStage::AudioDevices, L"Urzadzenia audio"},
    {RecordingStage::NoAudioOutput, L"Brak wyjscia audio"},
    {RecordingStage::SystemSound, L"Dzwiek systemowy"},
    {RecordingStage::SystemSoundFormat, L"Format dzwieku systemowego"},
    {RecordingStage::UnsupportedAudioFormat, L"Nieobslugiwany format audio"},
    {RecordingStage::SystemSoundCapture, L"Przechwytywanie dzwieku systemowego"},
    {RecordingStage::SystemSoundBuffer, L"Bufor dzwieku systemowego"},
    {RecordingStage::SystemSoundStart, L"Start dzwieku systemowego"},
    {RecordingStage::AudioRead, L"Odczyt audio"},
    {RecordingStage::AudioPacketRead, L"Odczyt pakietu audio"},
    {RecordingStage::AudioPacketRelease, L"Zwolnienie pakietu audio"},
    {RecordingStage::NextAudioPacket, L"Kolejny pakiet audio"},
    {RecordingStage::DesktopCapture, L"Przechwytywanie pulpitu"},
    {RecordingStage::DesktopImageRead, L"Odczyt obrazu pulpitu"},
    {RecordingStage::Mp4Settings, L"Ustawienia MP4"},
    {RecordingStage::Mp4Create, L"Utworzenie MP4"},
    {RecordingStage::VideoFormat, L"Format wideo"},
    {RecordingStage::H264Encoder, L"Enkoder H.264"},
    {RecordingStage::Nv12VideoInput, L"Wejscie wideo NV12"},
    {RecordingStage::AudioFormat, L"Format audio"},
    {RecordingStage::AacEncoder, L"Enkoder AAC"},
    {RecordingStage::PcmAudioInput, L"Wejscie audio PCM"},
    {RecordingStage::Mp4WriteStart, L"Start zapisu MP4"},
    {RecordingStage::RecordingBuffer, L"Bufor nagrania"},
    {RecordingStage::BufferLock, L"Blokada bufora"},
    {RecordingStage::RecordingSample, L"Probka nagrania"},
    {RecordingStage::Mp4SampleWrite, L"Zapis probki MP4"},
    {RecordingStage::Mp4Finalize, L"Finalizacja pliku MP4"},
    {RecordingStage::AreaSize, L"Obszar musi miec od 16x16 do 3840x2160 pikseli"},
    {RecordingStage::LowDiskSpace, L"Malo miejsca na dysku"},
};

} // namespace

TEST(RecordingStage, EveryStageShowsItsTextAndIsFoundAgainFromIt)
{
    ASSERT_EQ(std::size(ShownTexts), RecordingStageCount);
    std::set<RecordingStage> seen;
    for (const auto& [stage, text] : ShownTexts) {
        SCOPED_TRACE(static_cast<int>(stage));
        EXPECT_TRUE(seen.insert(stage).second);
        EXPECT_EQ(std::wstring(stageText(stage)), text);
        EXPECT_EQ(stageOf(stageFailure(-1, stage)), stage);
    }
}

TEST(RecordingStage, TextsNotFromTheTableHaveNoStage)
{
    // An equal text elsewhere in memory is not the stage: decisions rest on the enumerator.
    const std::wstring copy = stageText(RecordingStage::H264Encoder);
    EXPECT_EQ(stageOf(Failure{-1, copy.c_str()}), std::nullopt);
    EXPECT_EQ(stageOf(Failure{-1, nullptr}), std::nullopt);
}
