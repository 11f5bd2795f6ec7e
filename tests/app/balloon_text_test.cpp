#include "app/balloon_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(BalloonText, ShortTextIsKeptWhole)
{
    EXPECT_EQ(balloonText(L"Nie mozna zapisac zrzutu."), L"Nie mozna zapisac zrzutu.");
    EXPECT_EQ(balloonText(L""), L"");
}

TEST(BalloonText, TextOf255CharactersIsKeptWhole)
{
    const std::wstring text(255, L'a');
    EXPECT_EQ(balloonText(text), text);
}

TEST(BalloonText, TextOf256CharactersLosesItsLastCharacter)
{
    std::wstring text(255, L'a');
    text += L'Z';
    const std::wstring_view shown = balloonText(text);
    EXPECT_EQ(shown.size(), 255u);
    EXPECT_EQ(shown, std::wstring(255, L'a'));
}

TEST(BalloonText, LongTextIsCutToItsFirst255Characters)
{
    std::wstring text;
    for (int i = 0; i < 1000; ++i) {
        text += static_cast<wchar_t>(L'a' + i % 26);
    }
    EXPECT_EQ(balloonText(text), std::wstring_view(text).substr(0, 255));
}

TEST(BalloonText, ResultLeavesRoomForTheTerminator)
{
    EXPECT_LT(balloonText(std::wstring(5000, L'x')).size(), BalloonTextCapacity);
}

TEST(BalloonText, EmbeddedNullEndsTheText)
{
    const std::wstring text(L"abc\0def", 7);
    EXPECT_EQ(balloonText(text), L"abc");
}

TEST(RecoveredRecordingText, NamesTheFile)
{
    EXPECT_EQ(recoveredRecordingText(L"Video_2026-12-09_05-10-00_000.mp4"),
              L"Odzyskano przerwane nagranie: Video_2026-12-09_05-10-00_000.mp4");
}
