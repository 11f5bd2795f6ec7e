#include "screenshot/screenshot_file_name.h"

#include <iomanip>
#include <locale>
#include <sstream>

namespace {

void writePadded(std::wostringstream& out, std::uint16_t value, int width)
{
    out << std::setw(width) << std::setfill(L'0') << value;
}

} // namespace

std::wstring formatScreenshotFileName(const LocalTimeFields& time)
{
    std::wostringstream out;
    // A global locale with digit grouping would otherwise turn the year 2026 into "2,026".
    out.imbue(std::locale::classic());
    out << L"Screenshot_" << time.year << L'-';
    writePadded(out, time.month, 2);
    out << L'-';
    writePadded(out, time.day, 2);
    out << L'_';
    writePadded(out, time.hour, 2);
    out << L'-';
    writePadded(out, time.minute, 2);
    out << L'-';
    writePadded(out, time.second, 2);
    out << L'_';
    writePadded(out, time.milliseconds, 3);
    out << L".png";
    return out.str();
}
