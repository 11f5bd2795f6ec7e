#include "screenshot/clipboard_copy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "gdi_census.h"
#include "screenshot_wintest_support.h"

using namespace shot_test;

namespace {

std::optional<Pixels> clipboardBitmapPixels()
{
    if (!::OpenClipboard(nullptr)) {
        return std::nullopt;
    }
    auto pixels = readPixels(static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP)));
    ::CloseClipboard();
    return pixels;
}

// A window of another thread keeps the clipboard open until released.
class ClipboardHolder {
public:
    ClipboardHolder()
    {
        worker_ = std::thread([this] {
            HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            ::GetModuleHandleW(nullptr), nullptr);
            opened_ = window != nullptr && ::OpenClipboard(window);
            ready_ = true;
            while (!release_) {
                ::Sleep(5);
            }
            if (opened_) {
                ::CloseClipboard();
            }
            ::DestroyWindow(window);
        });
        while (!ready_) {
            ::Sleep(5);
        }
    }
    ~ClipboardHolder()
    {
        release_ = true;
        worker_.join();
    }
    bool opened() const { return opened_; }

private:
    std::thread worker_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> release_{false};
    std::atomic<bool> opened_{false};
};

} // namespace

TEST(CopyBitmapToClipboard, MissingBitmapFails)
{
    EXPECT_FALSE(copyBitmapToClipboard(nullptr));
}

TEST(CopyBitmapToClipboard, ClipboardOffersABitmapOfTheSameSizeAndPixels)
{
    UniqueBitmap bitmap = makePatternBitmap(97, 61, 5);
    ASSERT_TRUE(copyBitmapToClipboard(bitmap.get()));
    // The clipboard has its own copy, so the caller may delete the original at once.
    bitmap.reset();

    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_BITMAP));
    const auto pixels = clipboardBitmapPixels();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, patternPixels(97, 61, 5));
}

TEST(CopyBitmapToClipboard, SecondCopyReplacesTheFirst)
{
    UniqueBitmap first = makePatternBitmap(30, 30, 1);
    UniqueBitmap second = makePatternBitmap(40, 20, 2);
    ASSERT_TRUE(copyBitmapToClipboard(first.get()));
    ASSERT_TRUE(copyBitmapToClipboard(second.get()));
    const auto pixels = clipboardBitmapPixels();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, patternPixels(40, 20, 2));
}

TEST(CopyBitmapToClipboard, FailsWhileAnotherWindowHoldsTheClipboard)
{
    UniqueBitmap before = makePatternBitmap(12, 12, 3);
    ASSERT_TRUE(copyBitmapToClipboard(before.get()));
    UniqueBitmap bitmap = makePatternBitmap(50, 50, 4);
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened());
        EXPECT_FALSE(copyBitmapToClipboard(bitmap.get()));
    }
    // Nothing changed, and the clipboard works again once released.
    auto pixels = clipboardBitmapPixels();
    ASSERT_TRUE(pixels);
    EXPECT_EQ(*pixels, patternPixels(12, 12, 3));
    EXPECT_TRUE(copyBitmapToClipboard(bitmap.get()));
}

TEST(CopyBitmapToClipboard, LeavesNoOwnerWindowBehind)
{
    UniqueBitmap bitmap = makePatternBitmap(8, 8);
    ASSERT_TRUE(copyBitmapToClipboard(bitmap.get()));
    EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, L"STATIC", L""), nullptr);
    {
        ClipboardHolder holder;
        EXPECT_FALSE(copyBitmapToClipboard(bitmap.get()));
        // Only the holder's own window.
        HWND first = ::FindWindowExW(HWND_MESSAGE, nullptr, L"STATIC", L"");
        EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, first, L"STATIC", L""), nullptr);
    }
}

TEST(CopyBitmapToClipboard, GdiObjectsReturnAfterRepeatedCopiesAndFailures)
{
    UniqueBitmap bitmap = makePatternBitmap(64, 48);
    ASSERT_TRUE(copyBitmapToClipboard(bitmap.get()));
    // The clipboard keeps exactly one copy; each new copy frees the previous one.
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(copyBitmapToClipboard(bitmap.get()));
    }
    EXPECT_EQ(gdiSnapshot(), before);
    {
        ClipboardHolder holder;
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(copyBitmapToClipboard(bitmap.get()));
        }
    }
    EXPECT_EQ(gdiSnapshot(), before);
}
