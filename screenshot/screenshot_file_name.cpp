#include "screenshot/screenshot_file_name.h"

std::wstring formatScreenshotFileName(const LocalTime& time)
{
    return L"Screenshot_" + formatTimestamp(time, 1) + L".png";
}
