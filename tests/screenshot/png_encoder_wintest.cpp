#include "screenshot/png_encoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/gdi_census.h"
#include "support/pixels.h"
#include "support/temp_folder.h"

using namespace test_support;

TEST(SavePng, PatternDecodesBackToTheSamePixels)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(123, 77);
    ASSERT_TRUE(bitmap);
    const std::wstring path = folder.file(L"pattern.png");

    ASSERT_TRUE(savePng(bitmap.get(), path));

    const auto decoded = decodePng(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, patternPixels(123, 77));
}

TEST(SavePng, ReplacesAnExistingFileOfTheSameName)
{
    TempFolder folder;
    const std::wstring path = folder.file(L"again.png");
    UniqueBitmap first = makePatternBitmap(300, 40, 1);
    UniqueBitmap second = makePatternBitmap(17, 90, 2);
    ASSERT_TRUE(savePng(first.get(), path));
    ASSERT_TRUE(savePng(second.get(), path));

    const auto decoded = decodePng(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, patternPixels(17, 90, 2));
    EXPECT_EQ(folder.files().size(), 1u);
}

TEST(SavePng, PathInAMissingFolderFails)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(10, 10);
    const std::wstring path = folder.path() + L"\\missing\\shot.png";
    EXPECT_FALSE(savePng(bitmap.get(), path));
    EXPECT_FALSE(fileExists(path));
}

TEST(SavePng, EmptyPathOrMissingBitmapFails)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(10, 10);
    EXPECT_FALSE(savePng(bitmap.get(), L""));
    EXPECT_FALSE(savePng(nullptr, folder.file(L"none.png")));
    EXPECT_TRUE(folder.files().empty());
}

TEST(SavePng, MissingBitmapLeavesComUntouched)
{
    // Had savePng initialised COM in the multithreaded apartment, this thread could no longer
    // enter the single-threaded one.
    bool enteredSta = false;
    std::thread worker([&] {
        savePng(nullptr, L"C:\\nowhere.png");
        const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        enteredSta = hr == S_OK;
        if (SUCCEEDED(hr)) {
            ::CoUninitialize();
        }
    });
    worker.join();
    EXPECT_TRUE(enteredSta);
}

TEST(SavePng, ThreadInTheSingleThreadedApartmentFails)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(10, 10);
    const std::wstring path = folder.file(L"sta.png");
    bool saved = true;
    bool stillSta = false;
    std::thread worker([&] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        saved = savePng(bitmap.get(), path);
        // No unbalanced CoUninitialize: the apartment this thread entered is still there.
        stillSta = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_FALSE;
        ::CoUninitialize();
        ::CoUninitialize();
    });
    worker.join();
    EXPECT_FALSE(saved);
    EXPECT_TRUE(stillSta);
    EXPECT_FALSE(fileExists(path));
}

TEST(SavePng, ThreadAlreadyInTheMultithreadedApartmentSaves)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(20, 20);
    const std::wstring path = folder.file(L"mta.png");
    bool saved = false;
    bool stillMta = false;
    std::thread worker([&] {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        saved = savePng(bitmap.get(), path);
        stillMta = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED) == S_FALSE;
        ::CoUninitialize();
        ::CoUninitialize();
    });
    worker.join();
    EXPECT_TRUE(saved);
    EXPECT_TRUE(stillMta);
    const auto decoded = decodePng(path);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, patternPixels(20, 20));
}

TEST(SavePng, GdiObjectsReturnAfterRepeatedSavesAndFailures)
{
    TempFolder folder;
    UniqueBitmap bitmap = makePatternBitmap(64, 48);
    ASSERT_TRUE(savePng(bitmap.get(), folder.file(L"warm.png")));
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(savePng(bitmap.get(), folder.file(L"ok.png")));
        EXPECT_FALSE(savePng(bitmap.get(), folder.path() + L"\\missing\\x.png"));
    }
    EXPECT_EQ(gdiSnapshot(), before);
}
