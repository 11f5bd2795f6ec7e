#include "common/local_time.h"

#include <cwchar>

std::wstring formatTimestamp(const LocalTime& time, int yearDigits)
{
    // Seven 16-bit numbers and six separators: at most 5 + 6 x 2 + 3 + 6 = 26 characters.
    wchar_t stamp[32] = {};
    const int length = std::swprintf(stamp, 32, L"%0*u-%02u-%02u_%02u-%02u-%02u_%03u", yearDigits,
                                     unsigned{time.year}, unsigned{time.month}, unsigned{time.day},
                                     unsigned{time.hour}, unsigned{time.minute},
                                     unsigned{time.second}, unsigned{time.milliseconds});
    if (length < 0) {
        return {};
    }
    return std::wstring(stamp, static_cast<std::size_t>(length));
}
