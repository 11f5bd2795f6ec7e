#include "app/balloon_text.h"

std::wstring_view balloonText(std::wstring_view text)
{
    const std::size_t terminator = text.find(L'\0');
    if (terminator != std::wstring_view::npos) {
        text = text.substr(0, terminator);
    }
    return text.substr(0, BalloonTextCapacity - 1);
}

std::wstring recoveredRecordingText(std::wstring_view fileName)
{
    std::wstring text = L"Odzyskano przerwane nagranie: ";
    text += fileName;
    return text;
}
