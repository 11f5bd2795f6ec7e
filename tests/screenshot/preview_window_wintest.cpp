#include "screenshot/preview_window.h"

#include <gtest/gtest.h>

#include "screenshot/screen_grabber.h"
#include "support/gdi_census.h"
#include "support/message_pump.h"
#include "support/pixels.h"
#include "support/shell_execute_recorder.h"

using namespace test_support;

namespace {

HWND findPreview()
{
    return ::FindWindowW(L"KestrovaPreview", nullptr);
}

int countPreviews()
{
    int count = 0;
    HWND w = nullptr;
    while ((w = ::FindWindowExW(nullptr, w, L"KestrovaPreview", nullptr)) != nullptr) {
        ++count;
    }
    return count;
}

LPARAM point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::SetCursorPos(600, 500);
        bitmap_ = makePatternBitmap(400, 300, 3);
    }
    void TearDown() override
    {
        PreviewWindow::close();
        pumpMessagesFor(Milliseconds{20});
    }
    bool show(const std::wstring& path = L"C:\\nowhere\\missing.png") const
    {
        return PreviewWindow::show(bitmap_.get(), path, L"Zapisano zrzut i skopiowano do schowka");
    }

    UniqueBitmap bitmap_;
};

} // namespace

TEST_F(PreviewTest, WindowHasItsClassTitleStylesAndSize)
{
    ASSERT_TRUE(show());
    HWND preview = findPreview();
    ASSERT_NE(preview, nullptr);

    wchar_t title[64]{};
    ::GetWindowTextW(preview, title, 64);
    EXPECT_STREQ(title, L"Podglad zrzutu");
    const LONG_PTR style = ::GetWindowLongPtrW(preview, GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_TRUE(style & WS_BORDER);
    EXPECT_FALSE(style & WS_CAPTION & ~WS_BORDER);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(preview, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);

    RECT outer{};
    ::GetWindowRect(preview, &outer);
    EXPECT_EQ(outer.right - outer.left, 376);
    EXPECT_EQ(outer.bottom - outer.top, 288);
    RECT client{};
    ::GetClientRect(preview, &client);
    EXPECT_EQ(client.right, 374);
    EXPECT_EQ(client.bottom, 286);
    EXPECT_TRUE(::IsWindowVisible(preview));
    EXPECT_NE(::GetForegroundWindow(), preview);
}

TEST_F(PreviewTest, SitsSixteenPixelsInFromTheWorkAreaCornerOfTheMonitorUnderTheMouse)
{
    ASSERT_TRUE(show());
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{600, 500}, MONITOR_DEFAULTTONEAREST), &info);
    RECT outer{};
    ::GetWindowRect(findPreview(), &outer);
    EXPECT_EQ(outer.left, info.rcWork.right - 392);
    EXPECT_EQ(outer.top, info.rcWork.bottom - 304);
}

TEST_F(PreviewTest, SecondShowReplacesTheFirst)
{
    ASSERT_TRUE(show());
    HWND first = findPreview();
    ASSERT_TRUE(show());
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(countPreviews(), 1);
}

TEST_F(PreviewTest, CloseDestroysAndMayBeRepeated)
{
    ASSERT_TRUE(show());
    PreviewWindow::close();
    EXPECT_EQ(findPreview(), nullptr);
    PreviewWindow::close();
    EXPECT_EQ(findPreview(), nullptr);
}

TEST_F(PreviewTest, MissingOrUnreadableBitmapShowsNothing)
{
    ASSERT_TRUE(show());
    HWND first = findPreview();
    EXPECT_FALSE(PreviewWindow::show(nullptr, L"x.png", L"m"));
    // The old preview is gone even though no new one could be shown.
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_FALSE(PreviewWindow::show(reinterpret_cast<HBITMAP>(::GetStockObject(BLACK_BRUSH)),
                                     L"x.png", L"m"));
    EXPECT_EQ(findPreview(), nullptr);
}

TEST_F(PreviewTest, ClickInTheCloseZoneOnlyCloses)
{
    ASSERT_TRUE(ShellExecuteRecorder::install());
    ShellExecuteRecorder::calls().clear();
    for (const LPARAM corner : {point(338, 35), point(373, 0), point(338, 0)}) {
        ASSERT_TRUE(show());
        ::SendMessageW(findPreview(), WM_LBUTTONUP, 0, corner);
        EXPECT_EQ(findPreview(), nullptr);
    }
    EXPECT_TRUE(ShellExecuteRecorder::calls().empty());
}

TEST_F(PreviewTest, ClickBesideTheCloseZoneOpensTheFileAndCloses)
{
    ASSERT_TRUE(ShellExecuteRecorder::install());
    ShellExecuteRecorder::calls().clear();
    const std::wstring path = L"C:\\Obrazy\\Screenshots\\Screenshot_2026-01-02_03-04-05_006.png";
    std::vector<HWND> previews;
    for (const LPARAM beside : {point(337, 35), point(338, 36), point(10, 280)}) {
        ASSERT_TRUE(show(path));
        previews.push_back(findPreview());
        ::SendMessageW(previews.back(), WM_LBUTTONUP, 0, beside);
        EXPECT_EQ(findPreview(), nullptr);
    }
    const std::vector<ShellExecuteCall>& calls = ShellExecuteRecorder::calls();
    ASSERT_EQ(calls.size(), 3u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].window, previews[i]) << i;
        EXPECT_EQ(calls[i].verb, L"open") << i;
        EXPECT_EQ(calls[i].file, path) << i;
        EXPECT_FALSE(calls[i].withParameters) << i;
        EXPECT_FALSE(calls[i].withDirectory) << i;
        EXPECT_EQ(calls[i].show, SW_SHOWNORMAL) << i;
    }
}

TEST_F(PreviewTest, MouseActivationIsRefused)
{
    ASSERT_TRUE(show());
    EXPECT_EQ(
        ::SendMessageW(findPreview(), WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
        MA_NOACTIVATE);
}

TEST_F(PreviewTest, TimerTickClosesOnlyWhenTheMouseIsElsewhere)
{
    ASSERT_TRUE(show());
    HWND preview = findPreview();
    RECT outer{};
    ::GetWindowRect(preview, &outer);
    ::SetCursorPos(outer.left + 100, outer.top + 100);
    ::SendMessageW(preview, WM_TIMER, 1, 0);
    EXPECT_TRUE(::IsWindow(preview));
    ::SetCursorPos(10, 10);
    ::SendMessageW(preview, WM_TIMER, 1, 0);
    EXPECT_FALSE(::IsWindow(preview));
}

TEST_F(PreviewTest, PaintsBackgroundAndThumbnailWhereWineLetsGrabsSeeIt)
{
    ASSERT_TRUE(show());
    HWND preview = findPreview();
    pumpMessagesFor(Milliseconds{200});
    DWORD affinity = 0;
    ::GetWindowDisplayAffinity(preview, &affinity);
    if (affinity != WDA_NONE) {
        GTEST_SKIP() << "the preview is excluded from grabs here";
    }
    // Wine refuses the capture exclusion, so the grab shows what the preview painted.
    RECT outer{};
    ::GetWindowRect(preview, &outer);
    CapturedImage image = ScreenGrabber::instance().captureRect(outer);
    ASSERT_TRUE(image);
    const auto pixels = readPixels(image.get());
    ASSERT_TRUE(pixels);
    auto at = [&](int clientX, int clientY) {
        return pixels->rgb[static_cast<size_t>(clientY + 1) * pixels->width + (clientX + 1)];
    };
    EXPECT_EQ(at(5, 5), 0x18'1C'24u);
    EXPECT_EQ(at(370, 245), 0x18'1C'24u);
    // 400x300 scales to 266x200 at x 55, y 40; its first pixel is the pattern's first one.
    EXPECT_EQ(at(54, 100), 0x18'1C'24u);
    EXPECT_EQ(at(55 + 266 + 1, 100), 0x18'1C'24u);
    EXPECT_NE(at(55 + 133, 140), 0x18'1C'24u);
}

TEST_F(PreviewTest, GdiObjectsReturnAfterRepeatedShowAndClose)
{
    ASSERT_TRUE(show());
    PreviewWindow::close();
    pumpMessagesFor(Milliseconds{20});
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(show());
        pumpMessagesFor(Milliseconds{5});
        PreviewWindow::close();
    }
    ASSERT_TRUE(show());
    ASSERT_TRUE(show());
    ::SendMessageW(findPreview(), WM_LBUTTONUP, 0, point(340, 5));
    pumpMessagesFor(Milliseconds{20});
    EXPECT_EQ(gdiSnapshot(), before);
}
