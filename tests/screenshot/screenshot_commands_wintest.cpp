#include "screenshot/screenshot_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

#include "screenshot/screenshot_folder.h"
#include "screenshot/preview_window.h"
#include "screenshot/selection_overlay.h"
#include "support/gdi_census.h"
#include "support/import_patch.h"
#include "support/message_pump.h"
#include "support/pattern_window.h"
#include "support/pixels.h"
#include "support/temp_folder.h"

using namespace test_support;

namespace {

// Copies from a screen or window device context, and those of them made while a preview window
// existed, seen at this executable's BitBlt import while installed.
std::atomic<int> screenCopies{0};
std::atomic<int> screenCopiesUnderAPreview{0};
decltype(&::BitBlt) realBitBlt = nullptr;

BOOL WINAPI bitBltNotingThePreview(HDC target, int x, int y, int width, int height, HDC source,
                                   int sourceX, int sourceY, DWORD rasterOp)
{
    if (::GetObjectType(source) == OBJ_DC) {
        ++screenCopies;
        if (::FindWindowW(L"KestrovaPreview", nullptr) != nullptr) {
            ++screenCopiesUnderAPreview;
        }
    }
    return realBitBlt(target, x, y, width, height, source, sourceX, sourceY, rasterOp);
}

class FolderOverride {
public:
    explicit FolderOverride(std::wstring path) : previous_(std::move(ScreenshotFolderPath))
    {
        ScreenshotFolderPath = std::move(path);
    }
    ~FolderOverride() { ScreenshotFolderPath = std::move(previous_); }

private:
    std::wstring previous_;
};

// Clears the clipboard so each test sees only what it put there.
void emptyClipboard()
{
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
}

std::vector<std::function<void(HWND)>>* overlaySteps = nullptr;

void CALLBACK OverlayTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    HWND overlay = ::FindWindowW(L"SelectionOverlayClass", nullptr);
    if (overlay == nullptr || overlaySteps == nullptr || overlaySteps->empty()) {
        return;
    }
    auto step = overlaySteps->front();
    overlaySteps->erase(overlaySteps->begin());
    step(overlay);
}

void runRegionScreenshot(std::vector<std::function<void(HWND)>> steps)
{
    overlaySteps = &steps;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, OverlayTimerProc);
    takeRegionScreenshot();
    ::KillTimer(nullptr, timer);
    overlaySteps = nullptr;
}

std::function<void(HWND)> post(UINT message, WPARAM wParam, int x, int y)
{
    return [=](HWND w) { ::PostMessageW(w, message, wParam, MAKELPARAM(x, y)); };
}

// Stands in for DwmFlush: notes whether the overlay had already left when it was called and,
// since Wine has no composition to wait for, gives the windows below the time to repaint that
// a composed frame would have given them.
struct DwmFlushStandIn {
    using Fn = HRESULT(WINAPI*)();
    static inline Fn real = nullptr;
    static inline int calls = 0;
    static inline bool overlayGoneAtEveryCall = true;

    static bool install()
    {
        static const bool installed = [] {
            real = std::exchange(dwmFunctions().flush, &flush);
            return real != nullptr;
        }();
        return installed;
    }
    static HRESULT WINAPI flush()
    {
        ++calls;
        overlayGoneAtEveryCall =
            overlayGoneAtEveryCall && ::FindWindowW(L"SelectionOverlayClass", nullptr) == nullptr;
        const HRESULT hr = real();
        ::Sleep(300);
        return hr;
    }
};

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::SetCursorPos(640, 512);
        emptyClipboard();
    }
    void TearDown() override
    {
        PreviewWindow::close();
        pumpMessagesFor(Milliseconds{20});
    }
};

} // namespace

TEST(MakeScreenshotFileName, FollowsTheShapeAndTheLocalDate)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::wstring name = makeScreenshotFileName();
    EXPECT_TRUE(looksLikeScreenshotName(name)) << name;
    EXPECT_EQ(name.substr(11, 4), std::to_wstring(now.wYear));
}

TEST_F(CommandTest, SaveWritesThePngCopiesItAndShowsThePreview)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    UniqueBitmap bitmap = makePatternBitmap(200, 100, 4);

    saveScreenshot(bitmap.get(), L"Screenshot_test.png");

    const auto decoded = decodePng(folder.file(L"Screenshot_test.png"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, patternPixels(200, 100, 4));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_NE(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
}

TEST_F(CommandTest, EmptyFolderPathOrMissingBitmapDoesNothing)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(20, 20);
    {
        FolderOverride override(L"");
        saveScreenshot(bitmap.get(), L"Screenshot_x.png");
    }
    {
        FolderOverride override(folder.path());
        saveScreenshot(nullptr, L"Screenshot_y.png");
    }
    EXPECT_TRUE(folder.files().empty());
    EXPECT_FALSE(::IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_EQ(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
}

TEST_F(CommandTest, RemovedFolderFailsTheSaveButStillFillsTheClipboard)
{
    TempFolder folder;
    FolderOverride override(folder.path() + L"\\removed");
    UniqueBitmap bitmap = makePatternBitmap(20, 20);
    saveScreenshot(bitmap.get(), L"Screenshot_z.png");
    EXPECT_TRUE(folder.files().empty());
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_EQ(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
}

TEST_F(CommandTest, FullScreenshotSavesTheWholeVirtualScreen)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    PatternWindow pattern(100, 100, 80, 60, 6);

    takeFullScreenshot();

    const auto files = folder.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(looksLikeScreenshotName(files[0])) << files[0];
    const auto decoded = decodePng(folder.file(files[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(decoded->height, ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_EQ(crop(*decoded, 100 - ::GetSystemMetrics(SM_XVIRTUALSCREEN),
                   100 - ::GetSystemMetrics(SM_YVIRTUALSCREEN), 80, 60),
              patternPixels(80, 60, 6));
    EXPECT_NE(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
}

TEST_F(CommandTest, WindowScreenshotSavesTheForegroundWindow)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    PatternWindow pattern(150, 120, 90, 70, 8);
    ASSERT_EQ(::GetForegroundWindow(), pattern.window());

    takeWindowScreenshot();

    const auto files = folder.files();
    ASSERT_EQ(files.size(), 1u);
    const auto decoded = decodePng(folder.file(files[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, patternPixels(90, 70, 8));
}

TEST_F(CommandTest, WindowScreenshotOfAHiddenWindowOfThisProcessWritesNothing)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    // As the tray window is after its menu: never shown, yet the foreground window.
    HWND hidden = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 300, 250, 120, 90, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(hidden, nullptr);
    ::SetForegroundWindow(hidden);
    pumpMessagesFor(Milliseconds{50});
    ASSERT_EQ(::GetForegroundWindow(), hidden);
    ASSERT_FALSE(::IsWindowVisible(hidden));

    takeWindowScreenshot();

    EXPECT_TRUE(folder.files().empty());
    EXPECT_EQ(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
    ::DestroyWindow(hidden);
}

TEST_F(CommandTest, RegionScreenshotSavesTheDraggedRectangleAfterTheOverlayLeft)
{
    ASSERT_TRUE(DwmFlushStandIn::install());
    DwmFlushStandIn::calls = 0;
    TempFolder folder;
    FolderOverride override(folder.path());
    // On a thread of its own, like another program's window, so it repaints while this thread
    // is inside the command.
    ThreadedPatternWindow pattern(200, 150, 120, 100, 10);

    runRegionScreenshot({post(WM_LBUTTONDOWN, MK_LBUTTON, 220, 170),
                         post(WM_MOUSEMOVE, MK_LBUTTON, 260, 230),
                         post(WM_LBUTTONUP, 0, 260, 230)});

    EXPECT_EQ(DwmFlushStandIn::calls, 1);
    EXPECT_TRUE(DwmFlushStandIn::overlayGoneAtEveryCall);
    const auto files = folder.files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(looksLikeScreenshotName(files[0])) << files[0];
    const auto decoded = decodePng(folder.file(files[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, crop(patternPixels(120, 100, 10), 20, 20, 40, 60));
    EXPECT_EQ(::FindWindowW(L"SelectionOverlayClass", nullptr), nullptr);
}

// Where dwmapi.dll or its DwmFlush is missing, the grab goes on without the wait.
TEST_F(CommandTest, RegionScreenshotWithoutDwmFlushStillSavesTheDraggedRectangle)
{
    const auto flush = std::exchange(dwmFunctions().flush, nullptr);
    TempFolder folder;
    FolderOverride override(folder.path());

    runRegionScreenshot({post(WM_LBUTTONDOWN, MK_LBUTTON, 220, 170),
                         post(WM_MOUSEMOVE, MK_LBUTTON, 260, 230),
                         post(WM_LBUTTONUP, 0, 260, 230)});

    dwmFunctions().flush = flush;
    const auto files = folder.files();
    ASSERT_EQ(files.size(), 1u);
    const auto decoded = decodePng(folder.file(files[0]));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 40);
    EXPECT_EQ(decoded->height, 60);
}

TEST_F(CommandTest, RegionEscapeAndClickWithoutDragWriteNothing)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    runRegionScreenshot({post(WM_KEYDOWN, VK_ESCAPE, 0, 0)});
    runRegionScreenshot({post(WM_LBUTTONDOWN, MK_LBUTTON, 50, 50), post(WM_LBUTTONUP, 0, 50, 50)});
    EXPECT_TRUE(folder.files().empty());
    EXPECT_FALSE(::IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_EQ(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);
}

TEST_F(CommandTest, OpenPreviewIsClosedBeforeTheGrab)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(
        ::GetMonitorInfoW(::MonitorFromPoint(POINT{640, 512}, MONITOR_DEFAULTTONEAREST), &monitor));
    const int left = monitor.rcWork.right - 392;
    const int top = monitor.rcWork.bottom - 304;
    // Another program's window right where the preview opens; the preview comes above it.
    ThreadedPatternWindow pattern(left, top, 376, 288, 12);

    takeFullScreenshot();
    HWND first = ::FindWindowW(L"KestrovaPreview", nullptr);
    ASSERT_NE(first, nullptr);
    pumpMessagesFor(Milliseconds{300});
    const std::vector<std::wstring> before = folder.files();
    ASSERT_EQ(before.size(), 1u);
    ::Sleep(2);
    // The order is observed at the copy itself: no preview may exist while the screen is read.
    // (The picture cannot show it reliably under Wine, where nothing is composed and the window
    // below repaints the uncovered area from its own thread, racing a grab that follows at once.)
    screenCopies = 0;
    screenCopiesUnderAPreview = 0;
    {
        const ImportPatch<decltype(&::BitBlt)> observer("gdi32.dll", "BitBlt",
                                                        &bitBltNotingThePreview, &realBitBlt);
        ASSERT_TRUE(observer.installed());
        takeFullScreenshot();
    }
    EXPECT_GE(screenCopies.load(), 1);
    EXPECT_EQ(screenCopiesUnderAPreview.load(), 0);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_NE(::FindWindowW(L"KestrovaPreview", nullptr), nullptr);

    std::vector<std::wstring> files = folder.files();
    ASSERT_EQ(files.size(), 2u);
    const std::wstring second = files[0] == before[0] ? files[1] : files[0];
    EXPECT_TRUE(decodePng(folder.file(second)));
}

TEST_F(CommandTest, GdiObjectsReturnAfterEveryPath)
{
    TempFolder folder;
    FolderOverride override(folder.path());
    UniqueBitmap bitmap = makePatternBitmap(50, 40);
    takeFullScreenshot();
    PreviewWindow::close();
    pumpMessagesFor(Milliseconds{20});
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 5; ++i) {
        takeFullScreenshot();
        PreviewWindow::close();
        runRegionScreenshot({post(WM_KEYDOWN, VK_ESCAPE, 0, 0)});
        runRegionScreenshot(
            {post(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10), post(WM_LBUTTONUP, 0, 40, 30)});
        PreviewWindow::close();
        FolderOverride broken(folder.path() + L"\\missing");
        saveScreenshot(bitmap.get(), L"Screenshot_fail.png");
    }
    pumpMessagesFor(Milliseconds{20});
    EXPECT_EQ(gdiSnapshot(), before);
}
