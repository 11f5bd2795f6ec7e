#include "screenshot/screenshot_file_name.h"

#include <gtest/gtest.h>

#include <locale>

namespace {

struct GroupingPunct : std::numpunct<wchar_t> {
    wchar_t do_thousands_sep() const override { return L','; }
    std::string do_grouping() const override { return "\1"; }
};

class GlobalLocaleGuard {
public:
    explicit GlobalLocaleGuard(const std::locale& replacement)
        : previous_(std::locale::global(replacement))
    {}
    ~GlobalLocaleGuard() { std::locale::global(previous_); }

private:
    std::locale previous_;
};

} // namespace

TEST(ScreenshotFileName, FormatsTheDocumentedExample)
{
    EXPECT_EQ(formatScreenshotFileName({2026, 12, 7, 9, 5, 3, 42}),
              L"Screenshot_2026-12-07_09-05-03_042.png");
}

TEST(ScreenshotFileName, PadsEverySmallFieldWithZeros)
{
    EXPECT_EQ(formatScreenshotFileName({2027, 1, 5, 8, 4, 9, 7}),
              L"Screenshot_2027-01-05_08-04-09_007.png");
    EXPECT_EQ(formatScreenshotFileName({2026, 1, 1, 0, 0, 0, 0}),
              L"Screenshot_2026-01-01_00-00-00_000.png");
}

TEST(ScreenshotFileName, KeepsLargestFieldValuesWhole)
{
    EXPECT_EQ(formatScreenshotFileName({2026, 12, 31, 23, 59, 59, 999}),
              L"Screenshot_2026-12-31_23-59-59_999.png");
}

TEST(ScreenshotFileName, WritesTheYearWithItsOwnDigitsOnly)
{
    EXPECT_EQ(formatScreenshotFileName({987, 3, 4, 5, 6, 7, 8}),
              L"Screenshot_987-03-04_05-06-07_008.png");
    EXPECT_EQ(formatScreenshotFileName({10000, 3, 4, 5, 6, 7, 8}),
              L"Screenshot_10000-03-04_05-06-07_008.png");
    EXPECT_EQ(formatScreenshotFileName({65535, 3, 4, 5, 6, 7, 8}),
              L"Screenshot_65535-03-04_05-06-07_008.png");
}

TEST(ScreenshotFileName, WidthAppliesOnlyToItsOwnField)
{
    // A stray width left on the stream would pad the next field too.
    EXPECT_EQ(formatScreenshotFileName({2026, 10, 11, 12, 13, 14, 100}),
              L"Screenshot_2026-10-11_12-13-14_100.png");
}

TEST(ScreenshotFileName, IgnoresAGlobalLocaleWithDigitGrouping)
{
    GlobalLocaleGuard guard(std::locale(std::locale::classic(), new GroupingPunct));
    EXPECT_EQ(formatScreenshotFileName({2026, 12, 7, 9, 5, 3, 42}),
              L"Screenshot_2026-12-07_09-05-03_042.png");
    EXPECT_EQ(formatScreenshotFileName({65535, 12, 7, 9, 5, 3, 999}),
              L"Screenshot_65535-12-07_09-05-03_999.png");
}
