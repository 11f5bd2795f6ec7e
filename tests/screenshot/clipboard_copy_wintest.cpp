#include "screenshot/clipboard_copy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <utility>
#include <thread>

#include "support/gdi_census.h"
#include "support/import_patch.h"
#include "support/pixels.h"

using namespace test_support;

namespace {

// The header of the clipboard's CF_DIB and the size of its memory block.
std::optional<std::pair<BITMAPINFOHEADER, SIZE_T>> clipboardDibHeader()
{
    if (!::OpenClipboard(nullptr)) {
        return std::nullopt;
    }
    std::optional<std::pair<BITMAPINFOHEADER, SIZE_T>> found;
    if (HANDLE dib = ::GetClipboardData(CF_DIB)) {
        if (const auto* header = static_cast<const BITMAPINFOHEADER*>(::GlobalLock(dib))) {
            found.emplace(*header, ::GlobalSize(dib));
            ::GlobalUnlock(dib);
        }
    }
    ::CloseClipboard();
    return found;
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
    ~ClipboardHolder() { letGo(); }
    // Closes the clipboard and returns once it is closed.
    void letGo()
    {
        release_ = true;
        if (worker_.joinable()) {
            worker_.join();
        }
    }
    bool opened() const { return opened_; }

private:
    std::thread worker_;
    std::atomic<bool> ready_{false};
    std::atomic<bool> release_{false};
    std::atomic<bool> opened_{false};
};

// Stands in for OpenClipboard while it lives and counts the attempts of the thread that made it;
// just before the attempt `letGoBefore`, the holder closes the clipboard.
class OpenClipboardCounter {
public:
    OpenClipboardCounter(ClipboardHolder& heldBy, int attempt)
    {
        thread = ::GetCurrentThreadId();
        attempts = 0;
        letGoBefore = attempt;
        holder = &heldBy;
    }
    ~OpenClipboardCounter() { holder = nullptr; }
    OpenClipboardCounter(const OpenClipboardCounter&) = delete;
    OpenClipboardCounter& operator=(const OpenClipboardCounter&) = delete;

    bool installed() const noexcept { return patch.installed(); }
    static inline int attempts = 0;

private:
    using Fn = BOOL(WINAPI*)(HWND);
    static BOOL WINAPI standIn(HWND owner)
    {
        if (::GetCurrentThreadId() == thread && ++attempts == letGoBefore && holder != nullptr) {
            holder->letGo();
        }
        return real(owner);
    }

    static inline Fn real = nullptr;
    static inline DWORD thread = 0;
    static inline int letGoBefore = 0;
    static inline ClipboardHolder* holder = nullptr;
    test_support::ImportPatch<Fn> patch{"user32.dll", "OpenClipboard", &standIn, &real};
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
    EXPECT_EQ(clipboardDibPixels(), patternPixels(97, 61, 5));
}

TEST(CopyBitmapToClipboard, DibIsPacked24BitBottomUpWithRowsPaddedToFourBytes)
{
    // 97 pixels make 291 bytes a row, padded to 292.
    UniqueBitmap bitmap = makePatternBitmap(97, 61, 6);
    ASSERT_TRUE(copyBitmapToClipboard(bitmap.get()));
    EXPECT_TRUE(::IsClipboardFormatAvailable(CF_DIB));
    const auto dib = clipboardDibHeader();
    ASSERT_TRUE(dib);
    const BITMAPINFOHEADER& header = dib->first;
    EXPECT_EQ(header.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(header.biWidth, 97);
    EXPECT_EQ(header.biHeight, 61);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 24);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biClrUsed, 0u);
    EXPECT_EQ(header.biSizeImage, 292u * 61u);
    EXPECT_GE(dib->second, sizeof(BITMAPINFOHEADER) + 292u * 61u);
    EXPECT_EQ(clipboardDibPixels(), patternPixels(97, 61, 6));
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
    EXPECT_EQ(clipboardDibPixels(), patternPixels(40, 20, 2));
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

TEST(CopyBitmapToClipboard, HolderThatLetsGoBeforeTheLastAttemptIsWaitedFor)
{
    UniqueBitmap bitmap = makePatternBitmap(50, 50, 7);
    bool copied = false;
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened());
        // Nine attempts meet the held clipboard; the tenth and last finds it free.
        const OpenClipboardCounter counter(holder, 10);
        ASSERT_TRUE(counter.installed());
        copied = copyBitmapToClipboard(bitmap.get());
    }
    EXPECT_TRUE(copied);
    EXPECT_EQ(OpenClipboardCounter::attempts, 10);
    EXPECT_EQ(clipboardDibPixels(), patternPixels(50, 50, 7));
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
    const size_t memoryBefore = GdiCensus::instance().liveMemory();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(copyBitmapToClipboard(bitmap.get()));
    }
    EXPECT_EQ(gdiSnapshot(), before);
    EXPECT_EQ(GdiCensus::instance().liveMemory(), memoryBefore);
    {
        ClipboardHolder holder;
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(copyBitmapToClipboard(bitmap.get()));
        }
    }
    EXPECT_EQ(gdiSnapshot(), before);
    // The memory that the held clipboard did not take was freed.
    EXPECT_EQ(GdiCensus::instance().liveMemory(), memoryBefore);
}
