#include "support/e2e_driver.h"
#include "support/runs_under_wine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pattern_window.h"
#include "support/pixels.h"

using namespace test_support::e2e;
using test_support::clipboardBitmapPixels;
using test_support::clipboardDibPixels;
using test_support::crop;
using test_support::decodePng;
using test_support::looksLikeScreenshotName;
using test_support::patternPixels;
using test_support::Pixels;
using test_support::ThreadedPatternWindow;

namespace {

constexpr wchar_t PreviewClass[] = L"KestrovaPreview";
constexpr wchar_t OverlayClass[] = L"SelectionOverlayClass";

void removePngs(const std::wstring& folder)
{
    for (const auto& name : listFiles(folder, L"*.png")) {
        std::wstring path = folder;
        path += L'\\';
        path += name;
        ::DeleteFileW(path.c_str());
    }
}

int countWindows(const wchar_t* className, DWORD processId)
{
    int count = 0;
    HWND w = nullptr;
    while ((w = ::FindWindowExW(nullptr, w, className, nullptr)) != nullptr) {
        count += windowProcessId(w) == processId ? 1 : 0;
    }
    return count;
}

class ScreenshotE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = screenshotsFolder();
        // These tests empty the folder; on Windows it is the user's own.
        if (!test_support::runsUnderWine() && !listFiles(folder, L"*.png").empty()) {
            GTEST_SKIP() << "Pictures\\Screenshots holds PNG files, which these tests would delete";
        }
        ::CreateDirectoryW(folder.c_str(), nullptr);
        removePngs(folder);
        // Each test sees only the clipboard data of its own screenshots.
        if (::OpenClipboard(nullptr)) {
            ::EmptyClipboard();
            ::CloseClipboard();
        }
        mouseMoveTo(640, 512);
        program = OrlimoProcess::start();
        ASSERT_TRUE(program.started());
        mainWindow = program.waitForMainWindow();
        ASSERT_NE(mainWindow, nullptr);
        ASSERT_NE(waitForMessageWindow(L"HotkeyWindowClass", program.id()), nullptr);
    }

    void TearDown() override
    {
        program.kill();
        if (IsSkipped()) {
            return;
        }
        ::CreateDirectoryW(folder.c_str(), nullptr);
        removePngs(folder);
    }

    // The one PNG the command wrote, once its preview says it is complete.
    std::optional<std::wstring> waitForSavedPng()
    {
        if (!pumpUntil([&] { return findWindowByClass(PreviewClass, program.id()) != nullptr; })) {
            return std::nullopt;
        }
        const auto files = listFiles(folder, L"*.png");
        if (files.size() != 1) {
            return std::nullopt;
        }
        return files[0];
    }

    // The overlay of a PrintScreen press, once it has the keyboard: it is shown before it is
    // activated, and a key pressed in between goes to the window that had the focus.
    HWND waitForActiveOverlay()
    {
        HWND overlay = waitForWindow(OverlayClass, program.id());
        if (overlay == nullptr || !pumpUntil([&] { return ::GetForegroundWindow() == overlay; })) {
            return nullptr;
        }
        return overlay;
    }

    // Drags on the overlay of a PrintScreen press and decodes the file it gave.
    std::optional<Pixels> dragRegion(POINT from, POINT to)
    {
        removePngs(folder);
        if (!pressKey(VK_SNAPSHOT) || waitForWindow(OverlayClass, program.id()) == nullptr) {
            return std::nullopt;
        }
        pumpMessagesFor(Milliseconds{200});
        mouseDrag(from, to);
        const auto name = waitForSavedPng();
        if (!name) {
            return std::nullopt;
        }
        EXPECT_TRUE(looksLikeScreenshotName(*name)) << std::string(name->begin(), name->end());
        return decodePng(folder + L'\\' + *name);
    }

    std::wstring folder;
    OrlimoProcess program;
    HWND mainWindow = nullptr;
};

} // namespace

TEST_F(ScreenshotE2e, CtrlPrintScreenSavesTheWholeScreenCopiesItAndShowsThePreview)
{
    ThreadedPatternWindow pattern(200, 180, 160, 120, 21);
    ASSERT_TRUE(pressChord({VK_CONTROL, VK_SNAPSHOT}));

    const auto name = waitForSavedPng();
    ASSERT_TRUE(name);
    EXPECT_TRUE(looksLikeScreenshotName(*name));
    const auto decoded = decodePng(folder + L'\\' + *name);
    ASSERT_TRUE(decoded);
    const int originX = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int originY = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    EXPECT_EQ(decoded->width, ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(decoded->height, ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_EQ(crop(*decoded, 200 - originX, 180 - originY, 160, 120), patternPixels(160, 120, 21));

    // This test is another program: what it reads is what a paste elsewhere would get.
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_BITMAP));
    EXPECT_EQ(clipboardDibPixels(), decoded);
    EXPECT_EQ(clipboardBitmapPixels(), decoded);

    HWND preview = findWindowByClass(PreviewClass, program.id());
    ASSERT_NE(preview, nullptr);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{640, 512}, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT outer{};
    ::GetWindowRect(preview, &outer);
    EXPECT_EQ(outer.left, monitor.rcWork.right - 392);
    EXPECT_EQ(outer.top, monitor.rcWork.bottom - 304);
    EXPECT_EQ(outer.right - outer.left, 376);
    EXPECT_EQ(outer.bottom - outer.top, 288);
    EXPECT_EQ(windowText(preview), L"Podglad zrzutu");
    EXPECT_NE(::GetForegroundWindow(), preview);
}

TEST_F(ScreenshotE2e, PrintScreenOverlayCoversTheVirtualScreen)
{
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    HWND overlay = waitForActiveOverlay();
    ASSERT_NE(overlay, nullptr);
    RECT rect{};
    ::GetWindowRect(overlay, &rect);
    EXPECT_EQ(rect.left, ::GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(rect.top, ::GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(rect.right - rect.left, ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(rect.bottom - rect.top, ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    EXPECT_TRUE(::GetWindowLongPtrW(overlay, GWL_EXSTYLE) & WS_EX_TOPMOST);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
}

TEST_F(ScreenshotE2e, DragSavesExactlyTheDraggedRectangleInEitherDirection)
{
    // Wine has no desktop composition: the X server keeps the overlay's pixels until the window
    // below repaints, which races the grab and loses it on about two drags in five here. Sizes
    // must hold every time; each direction must give the exact content on one of eight drags.
    ThreadedPatternWindow pattern(300, 200, 200, 150, 22);
    const Pixels expected = crop(patternPixels(200, 150, 22), 20, 30, 90, 70);
    auto matchesWithinEightDrags = [&](POINT from, POINT to) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const auto decoded = dragRegion(from, to);
            if (!decoded) {
                ADD_FAILURE() << "no PNG from the drag";
                return false;
            }
            EXPECT_EQ(decoded->width, 90);
            EXPECT_EQ(decoded->height, 70);
            if (*decoded == expected) {
                return true;
            }
            pumpMessagesFor(Milliseconds{500});
        }
        return false;
    };
    EXPECT_TRUE(matchesWithinEightDrags({320, 230}, {410, 300}));
    EXPECT_TRUE(matchesWithinEightDrags({410, 300}, {320, 230}));
    EXPECT_EQ(countWindows(PreviewClass, program.id()), 1);
}

TEST_F(ScreenshotE2e, EscapeAndAClickWithoutDragWriteNothing)
{
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    ASSERT_NE(waitForActiveOverlay(), nullptr);
    ASSERT_TRUE(pressKey(VK_ESCAPE));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));

    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    ASSERT_NE(waitForWindow(OverlayClass, program.id()), nullptr);
    pumpMessagesFor(Milliseconds{200});
    ASSERT_TRUE(mouseClickAt(500, 400));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));

    pumpMessagesFor(Milliseconds{500});
    EXPECT_TRUE(listFiles(folder, L"*.png").empty());
    EXPECT_EQ(findWindowByClass(PreviewClass, program.id()), nullptr);
    EXPECT_TRUE(program.running());
}

TEST_F(ScreenshotE2e, EscapeCancelsTheOverlayWhileAnotherWindowHasTheKeyboard)
{
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    ASSERT_NE(waitForActiveOverlay(), nullptr);
    // Windows refuses the foreground to a window opened on a key that a hook swallowed, so the
    // window in front keeps the keyboard; Wine does not, so a window of the test takes it back.
    KeyRecorderWindow recorder;
    ASSERT_TRUE(recorder.hasFocus());
    recorder.clear();

    ASSERT_TRUE(pressKey(VK_ESCAPE));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
    // The key-up comes after the overlay has gone; it must not arrive either.
    pumpMessagesFor(Milliseconds{500});
    EXPECT_FALSE(recorder.receivedMessage(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_FALSE(recorder.receivedMessage(WM_KEYUP, VK_ESCAPE));
    EXPECT_TRUE(listFiles(folder, L"*.png").empty());
    EXPECT_EQ(findWindowByClass(PreviewClass, program.id()), nullptr);
}

TEST_F(ScreenshotE2e, WindowCommandSavesTheForegroundWindowRectangle)
{
    // Wine never sets the Alt flag in the hook, so the command is posted as the hook would.
    ThreadedPatternWindow pattern(150, 140, 130, 90, 23);
    ASSERT_TRUE(pumpUntil([&] { return ::GetForegroundWindow() == pattern.window(); }));
    RECT rect{};
    ::GetWindowRect(pattern.window(), &rect);
    ASSERT_TRUE(postCommand(1003));

    const auto name = waitForSavedPng();
    ASSERT_TRUE(name);
    const auto decoded = decodePng(folder + L'\\' + *name);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, rect.right - rect.left);
    EXPECT_EQ(decoded->height, rect.bottom - rect.top);
    EXPECT_EQ(*decoded, patternPixels(130, 90, 23));
}

TEST_F(ScreenshotE2e, SecondScreenshotReplacesTheFirstPreview)
{
    ASSERT_TRUE(postCommand(1002));
    HWND first = waitForWindow(PreviewClass, program.id());
    ASSERT_NE(first, nullptr);
    ::Sleep(5);
    ASSERT_TRUE(postCommand(1002));
    ASSERT_TRUE(pumpUntil(
        [&] { return !::IsWindow(first) && findWindowByClass(PreviewClass, program.id()); }));
    EXPECT_EQ(countWindows(PreviewClass, program.id()), 1);
    EXPECT_TRUE(pumpUntil([&] { return listFiles(folder, L"*.png").size() == 2; }));
}

TEST_F(ScreenshotE2e, RemovedScreenshotsFolderFailsTheSaveWithoutACrash)
{
    ASSERT_TRUE(::RemoveDirectoryW(folder.c_str()));
    ASSERT_TRUE(postCommand(1002));
    pumpMessagesFor(Milliseconds{2000});
    EXPECT_TRUE(program.running());
    EXPECT_FALSE(directoryExists(folder));
    EXPECT_EQ(findWindowByClass(PreviewClass, program.id()), nullptr);
    // The picture still reached the clipboard.
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_BITMAP));

    // And the program keeps serving commands.
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(postCommand(1002));
    EXPECT_TRUE(waitForSavedPng());
}
