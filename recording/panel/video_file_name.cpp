#include "recording/panel/video_file_name.h"

namespace {

bool isDigit(wchar_t c) noexcept
{
    return c >= L'0' && c <= L'9';
}

// `text` is `shape` with a digit wherever the shape has a '9'.
bool hasShape(std::wstring_view text, std::wstring_view shape) noexcept
{
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == L'9' ? !isDigit(text[i]) : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

bool endsWithMp4(std::wstring_view name) noexcept
{
    if (name.size() < 4) {
        return false;
    }
    const std::wstring_view extension = name.substr(name.size() - 4);
    constexpr std::wstring_view Lower = L".mp4";
    constexpr std::wstring_view Upper = L".MP4";
    for (std::size_t i = 0; i < 4; ++i) {
        if (extension[i] != Lower[i] && extension[i] != Upper[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isVideoFileName(std::wstring_view name) noexcept
{
    constexpr std::wstring_view Prefix = L"Video_";
    constexpr std::wstring_view AfterYear = L"-99-99_99-99-99_999";
    if (name.substr(0, Prefix.size()) != Prefix || !endsWithMp4(name)) {
        return false;
    }
    const std::wstring_view stamp = name.substr(Prefix.size(), name.size() - Prefix.size() - 4);
    if (stamp.size() < 4 + AfterYear.size()) {
        return false;
    }
    const std::size_t yearDigits = stamp.size() - AfterYear.size();
    for (std::size_t i = 0; i < yearDigits; ++i) {
        if (!isDigit(stamp[i])) {
            return false;
        }
    }
    return hasShape(stamp.substr(yearDigits), AfterYear);
}

std::wstring formatVideoFileName(const LocalTime& time)
{
    return L"\\Video_" + formatTimestamp(time, 4) + L".mp4";
}
