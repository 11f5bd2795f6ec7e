#include "recording/panel/recording_border.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr PixelRect Area{100, 200, 740, 680};

int countFrameWindows()
{
    int count = 0;
    EnumWindows(
        [](HWND window, LPARAM counter) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == L"KestrovaRecordingBorder") {
                ++*reinterpret_cast<int*>(counter);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

class RecordingBorderWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        showRecordingBorder(Area);
        ASSERT_NE(recordingBorderWindow, nullptr);
    }
    void TearDown() override
    {
        destroyRecordingBorder();
        EXPECT_EQ(recordingBorderWindow, nullptr);
        EXPECT_EQ(countFrameWindows(), 0);
    }
};

TEST_F(RecordingBorderWindowTest, ClassAndStyles)
{
    wchar_t name[64] = {};
    GetClassNameW(recordingBorderWindow, name, 64);
    EXPECT_STREQ(name, L"KestrovaRecordingBorder");
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(recordingBorderWindow, GWL_EXSTYLE)),
              0x080800A8u);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(recordingBorderWindow, GWL_STYLE));
    EXPECT_NE(style & WS_POPUP, 0u);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_CHILD), 0u);
    EXPECT_TRUE(IsWindowVisible(recordingBorderWindow));
    EXPECT_EQ(GetWindow(recordingBorderWindow, GW_OWNER), nullptr);
    wchar_t title[16] = {L'x'};
    EXPECT_EQ(GetWindowTextW(recordingBorderWindow, title, 16), 0);
}

TEST_F(RecordingBorderWindowTest, SurroundsTheAreaByThreePixels)
{
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(recordingBorderWindow, &frame));
    EXPECT_EQ(frame.left, 97);
    EXPECT_EQ(frame.top, 197);
    EXPECT_EQ(frame.right - frame.left, 646);
    EXPECT_EQ(frame.bottom - frame.top, 486);
}

TEST_F(RecordingBorderWindowTest, RegionHasTheAreaAsItsHole)
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(region, nullptr);
    ASSERT_EQ(GetWindowRgn(recordingBorderWindow, region), COMPLEXREGION);
    // The band, in window coordinates.
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_TRUE(PtInRegion(region, 2, 2));
    EXPECT_TRUE(PtInRegion(region, 645, 485));
    EXPECT_TRUE(PtInRegion(region, 300, 1));
    EXPECT_TRUE(PtInRegion(region, 644, 300));
    // The recorded area: its corners and its middle.
    EXPECT_FALSE(PtInRegion(region, 3, 3));
    EXPECT_FALSE(PtInRegion(region, 642, 482));
    EXPECT_FALSE(PtInRegion(region, 323, 243));
    EXPECT_TRUE(PtInRegion(region, 643, 483));
    RECT box{};
    GetRgnBox(region, &box);
    EXPECT_EQ(box.right, 646);
    EXPECT_EQ(box.bottom, 486);
    DeleteObject(region);
}

TEST_F(RecordingBorderWindowTest, HalfTransparent)
{
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(recordingBorderWindow, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 180);
    EXPECT_EQ(flags & LWA_ALPHA, static_cast<DWORD>(LWA_ALPHA));
}

TEST_F(RecordingBorderWindowTest, LetsTheMouseThroughAndNeverActivates)
{
    EXPECT_EQ(SendMessageW(recordingBorderWindow, WM_NCHITTEST, 0, MAKELPARAM(98, 198)),
              HTTRANSPARENT);
    EXPECT_EQ(SendMessageW(recordingBorderWindow, WM_MOUSEACTIVATE, 0,
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
    EXPECT_NE(GetForegroundWindow(), recordingBorderWindow);
    EXPECT_NE(GetActiveWindow(), recordingBorderWindow);
}

TEST_F(RecordingBorderWindowTest, ShowingAgainReplacesTheFrame)
{
    const HWND first = recordingBorderWindow;
    showRecordingBorder({0, 0, 16, 16});
    EXPECT_FALSE(IsWindow(first));
    ASSERT_NE(recordingBorderWindow, nullptr);
    EXPECT_EQ(countFrameWindows(), 1);
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(recordingBorderWindow, &frame));
    // Partly off the screen, neither clipped nor moved.
    EXPECT_EQ(frame.left, -3);
    EXPECT_EQ(frame.top, -3);
    EXPECT_EQ(frame.right, 19);
    EXPECT_EQ(frame.bottom, 19);
}

} // namespace
