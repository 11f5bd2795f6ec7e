#include "screenshot/save_outcome.h"

std::wstring_view previewStatusText(bool clipboardOk) noexcept
{
    return clipboardOk ? L"Zapisano zrzut i skopiowano do schowka"
                       : L"Zapisano PNG; schowek jest niedostepny";
}

SaveFeedback saveFeedbackFor(bool pngWritten, bool clipboardOk, bool previewShown) noexcept
{
    if (!pngWritten) {
        return {FeedbackChannel::Balloon, L"Nie udalo sie zapisac PNG."};
    }
    if (!previewShown) {
        return {FeedbackChannel::Balloon, L"Zapisano PNG, ale nie mozna pokazac podgladu."};
    }
    return {FeedbackChannel::PreviewStatusLine, previewStatusText(clipboardOk)};
}
