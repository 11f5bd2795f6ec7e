#include "recording/video_file_name.h"

#include <cwchar>

std::wstring formatVideoFileName(const LocalTimeParts& time)
{
    wchar_t name[128] = {};
    const int length = std::swprintf(name, 128, L"\\Video_%04u-%02u-%02u_%02u-%02u-%02u_%03u.mp4",
                                     time.year, time.month, time.day, time.hour, time.minute,
                                     time.second, time.millisecond);
    if (length < 0) {
        return {};
    }
    return std::wstring(name, static_cast<std::size_t>(length));
}
