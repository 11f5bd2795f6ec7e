#include "screenshot/save_outcome.h"

#include <gtest/gtest.h>

TEST(SaveFeedback, SavedAndCopiedShowsThePreview)
{
    const SaveFeedback f = saveFeedbackFor(true, true, true);
    EXPECT_EQ(f.channel, FeedbackChannel::PreviewStatusLine);
    EXPECT_EQ(f.text, L"Zapisano zrzut i skopiowano do schowka");
}

TEST(SaveFeedback, ClipboardFailureIsOnlyInThePreviewLine)
{
    const SaveFeedback f = saveFeedbackFor(true, false, true);
    EXPECT_EQ(f.channel, FeedbackChannel::PreviewStatusLine);
    EXPECT_EQ(f.text, L"Zapisano PNG; schowek jest niedostepny");
}

TEST(SaveFeedback, MissingPreviewFallsBackToABalloonWhateverTheClipboard)
{
    for (bool clipboardOk : {true, false}) {
        const SaveFeedback f = saveFeedbackFor(true, clipboardOk, false);
        EXPECT_EQ(f.channel, FeedbackChannel::Balloon);
        EXPECT_EQ(f.text, L"Zapisano PNG, ale nie mozna pokazac podgladu.");
    }
}

TEST(SaveFeedback, FailedSaveIsABalloonWhateverElseHappened)
{
    for (bool clipboardOk : {true, false}) {
        for (bool previewShown : {true, false}) {
            const SaveFeedback f = saveFeedbackFor(false, clipboardOk, previewShown);
            EXPECT_EQ(f.channel, FeedbackChannel::Balloon);
            EXPECT_EQ(f.text, L"Nie udalo sie zapisac PNG.");
        }
    }
}

TEST(PreviewStatusText, DependsOnTheClipboardOnly)
{
    EXPECT_EQ(previewStatusText(true), L"Zapisano zrzut i skopiowano do schowka");
    EXPECT_EQ(previewStatusText(false), L"Zapisano PNG; schowek jest niedostepny");
}
