#pragma once
#include <cstdint>
#include <string_view>

// What the user is told after a screenshot was saved, or was not.
enum class FeedbackChannel : std::uint8_t { PreviewStatusLine, Balloon };

struct SaveFeedback {
    FeedbackChannel channel;
    std::wstring_view text;
};

// The preview's first line once the PNG is on disk.
std::wstring_view previewStatusText(bool clipboardOk) noexcept;

// previewShown only counts when the PNG was written: a failed save never tries the preview.
SaveFeedback saveFeedbackFor(bool pngWritten, bool clipboardOk, bool previewShown) noexcept;
