#include "recording/panel/video_file_name.h"

std::wstring formatVideoFileName(const LocalTime& time)
{
    return L"\\Video_" + formatTimestamp(time, 4) + L".mp4";
}
