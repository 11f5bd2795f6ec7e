#pragma once
// Helpers shared by the screenshot tests that run under Wine: bitmaps of a known pattern,
// reading pixels back, decoding PNG files, pattern windows and temporary folders. Header only,
// because the test build picks up *_wintest.cpp files alone.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "common/unique_handle.h"

namespace shot_test {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb; // 0x00RRGGBB, top row first
    friend bool operator==(const Pixels&, const Pixels&) = default;
};

inline std::uint32_t patternAt(int x, int y, int seed = 0)
{
    const auto r = static_cast<std::uint32_t>((x * 7 + seed) & 0xFF);
    const auto g = static_cast<std::uint32_t>((y * 13 + seed) & 0xFF);
    const auto b = static_cast<std::uint32_t>(((x ^ y) + seed * 3) & 0xFF);
    return (r << 16) | (g << 8) | b;
}

inline Pixels patternPixels(int width, int height, int seed = 0)
{
    Pixels p{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.rgb[static_cast<size_t>(y) * width + x] = patternAt(x, y, seed);
        }
    }
    return p;
}

inline BITMAPINFO topDown32(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A screen-compatible bitmap, like the ones the grabber makes, filled with the pattern.
inline UniqueBitmap makePatternBitmap(int width, int height, int seed = 0)
{
    ScopedGetDc screen(nullptr);
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!bitmap) {
        return bitmap;
    }
    const Pixels p = patternPixels(width, height, seed);
    BITMAPINFO info = topDown32(width, height);
    ::SetDIBits(screen.get(), bitmap.get(), 0, static_cast<UINT>(height), p.rgb.data(), &info,
                DIB_RGB_COLORS);
    return bitmap;
}

inline std::optional<Pixels> readPixels(HBITMAP bitmap)
{
    BITMAP bm{};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof(bm), &bm) == 0) {
        return std::nullopt;
    }
    Pixels p{bm.bmWidth, bm.bmHeight,
             std::vector<std::uint32_t>(static_cast<size_t>(bm.bmWidth) * bm.bmHeight)};
    BITMAPINFO info = topDown32(bm.bmWidth, bm.bmHeight);
    ScopedGetDc screen(nullptr);
    if (::GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), p.rgb.data(), &info,
                    DIB_RGB_COLORS) != bm.bmHeight) {
        return std::nullopt;
    }
    for (auto& v : p.rgb) {
        v &= 0x00FFFFFFu;
    }
    return p;
}

// The pixels of a packed DIB (a BITMAPINFOHEADER, any colour table, then the rows) of 24 or 32
// bits per pixel without compression, in either row order; nothing for any other layout or for
// a block too small to hold what its header describes.
inline std::optional<Pixels> packedDibPixels(const void* data, size_t size)
{
    if (data == nullptr || size < sizeof(BITMAPINFOHEADER)) {
        return std::nullopt;
    }
    BITMAPINFOHEADER header{};
    std::memcpy(&header, data, sizeof(header));
    const int bytesPerPixel = header.biBitCount / 8;
    if (header.biSize < sizeof(header) || header.biCompression != BI_RGB ||
        (bytesPerPixel != 3 && bytesPerPixel != 4) || header.biWidth <= 0 || header.biHeight == 0) {
        return std::nullopt;
    }
    const int width = header.biWidth;
    const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3};
    const size_t offset = header.biSize + size_t{header.biClrUsed} * sizeof(RGBQUAD);
    if (size < offset || (size - offset) / stride < static_cast<size_t>(height)) {
        return std::nullopt;
    }
    const auto* rows = static_cast<const BYTE*>(data) + offset;
    Pixels p{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        const int stored = header.biHeight > 0 ? height - 1 - y : y;
        const BYTE* row = rows + static_cast<size_t>(stored) * stride;
        for (int x = 0; x < width; ++x) {
            const BYTE* pixel = row + static_cast<size_t>(x) * bytesPerPixel;
            p.rgb[static_cast<size_t>(y) * width + x] =
                (std::uint32_t{pixel[2]} << 16) | (std::uint32_t{pixel[1]} << 8) | pixel[0];
        }
    }
    return p;
}

// The clipboard's CF_DIB as pixels; the clipboard is opened and closed again here.
inline std::optional<Pixels> clipboardDibPixels()
{
    if (!::OpenClipboard(nullptr)) {
        return std::nullopt;
    }
    std::optional<Pixels> pixels;
    if (HANDLE dib = ::GetClipboardData(CF_DIB)) {
        if (const void* data = ::GlobalLock(dib)) {
            pixels = packedDibPixels(data, ::GlobalSize(dib));
            ::GlobalUnlock(dib);
        }
    }
    ::CloseClipboard();
    return pixels;
}

// The clipboard's CF_BITMAP as pixels; the clipboard is opened and closed again here.
inline std::optional<Pixels> clipboardBitmapPixels()
{
    if (!::OpenClipboard(nullptr)) {
        return std::nullopt;
    }
    auto pixels = readPixels(static_cast<HBITMAP>(::GetClipboardData(CF_BITMAP)));
    ::CloseClipboard();
    return pixels;
}

// Decodes with the imaging component on a thread of its own, so the caller's apartment
// (or lack of one) does not matter.
inline std::optional<Pixels> decodePng(const std::wstring& path);

inline Pixels crop(const Pixels& source, int left, int top, int width, int height)
{
    Pixels p{width, height, std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            p.rgb[static_cast<size_t>(y) * width + x] =
                source.rgb[static_cast<size_t>(top + y) * source.width + (left + x)];
        }
    }
    return p;
}

// Serves this thread's messages for a while.
inline void pump(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    do {
        MSG msg{};
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (::GetTickCount64() < end);
}

// Screenshot_YYYY-MM-DD_HH-MM-SS_mmm.png with digits where the digits go.
inline bool looksLikeScreenshotName(const std::wstring& name)
{
    const std::wstring shape = L"Screenshot_dddd-dd-dd_dd-dd-dd_ddd.png";
    if (name.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == L'd' ? !std::iswdigit(name[i]) : name[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

// A fresh folder under the temporary folder, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const noexcept { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L'\\' + name; }
    std::vector<std::wstring> files() const;

private:
    std::wstring path_;
};

inline bool fileExists(const std::wstring& path);

// The pattern window on a thread of its own, so it repaints while the test thread is busy,
// as another program's window would.
class ThreadedPatternWindow {
public:
    ThreadedPatternWindow(int x, int y, int width, int height, int seed = 0);
    ~ThreadedPatternWindow();
    ThreadedPatternWindow(const ThreadedPatternWindow&) = delete;
    ThreadedPatternWindow& operator=(const ThreadedPatternWindow&) = delete;
    HWND window() const noexcept { return window_; }

private:
    HWND window_ = nullptr;
    std::thread thread_;
    HANDLE ready_ = nullptr;
    DWORD threadId_ = 0;
};

// A topmost popup that paints the pattern over its whole client area.
class PatternWindow {
public:
    PatternWindow(int x, int y, int width, int height, int seed = 0);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;
    HWND window() const noexcept { return window_; }

private:
    static LRESULT CALLBACK PatternWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    Pixels pixels_;
};

// Definitions of the helpers declared above.
using Microsoft::WRL::ComPtr;

inline std::optional<Pixels> decodePng(const std::wstring& path)
{
    std::optional<Pixels> result;
    std::thread worker([&] {
        if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
            return;
        }
        {
            ComPtr<IWICImagingFactory> factory;
            ComPtr<IWICBitmapDecoder> decoder;
            ComPtr<IWICBitmapFrameDecode> frame;
            // Converted through the factory: WICConvertBitmapSource would make this program
            // import windowscodecs.dll, which is not a known DLL.
            ComPtr<IWICFormatConverter> converted;
            UINT width = 0;
            UINT height = 0;
            if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory2, nullptr,
                                             CLSCTX_INPROC_SERVER,
                                             IID_PPV_ARGS(factory.GetAddressOf()))) &&
                SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                             WICDecodeMetadataCacheOnDemand,
                                                             decoder.GetAddressOf())) &&
                SUCCEEDED(decoder->GetFrame(0, frame.GetAddressOf())) &&
                SUCCEEDED(factory->CreateFormatConverter(converted.GetAddressOf())) &&
                SUCCEEDED(converted->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                                WICBitmapDitherTypeNone, nullptr, 0.0,
                                                WICBitmapPaletteTypeCustom)) &&
                SUCCEEDED(converted->GetSize(&width, &height))) {
                Pixels p{static_cast<int>(width), static_cast<int>(height),
                         std::vector<std::uint32_t>(static_cast<size_t>(width) * height)};
                if (SUCCEEDED(converted->CopyPixels(nullptr, width * 4, width * height * 4,
                                                    reinterpret_cast<BYTE*>(p.rgb.data())))) {
                    for (auto& v : p.rgb) {
                        v &= 0x00FFFFFFu;
                    }
                    result = std::move(p);
                }
            }
        }
        ::CoUninitialize();
    });
    worker.join();
    return result;
}

inline TempFolder::TempFolder()
{
    wchar_t base[MAX_PATH + 1]{};
    ::GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    path_ = std::wstring(base) + L"orlimo-shot-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    ::CreateDirectoryW(path_.c_str(), nullptr);
}

inline std::vector<std::wstring> TempFolder::files() const
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

inline TempFolder::~TempFolder()
{
    for (const auto& name : files()) {
        ::DeleteFileW(file(name).c_str());
    }
    ::RemoveDirectoryW(path_.c_str());
}

inline bool fileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline PatternWindow::PatternWindow(int x, int y, int width, int height, int seed)
    : pixels_(patternPixels(width, height, seed))
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = PatternWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"ShotTestPattern";
    ::RegisterClassW(&wc);
    window_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"ShotTestPattern", L"pattern",
                                WS_POPUP, x, y, width, height, nullptr, nullptr, instance, this);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::UpdateWindow(window_);
    pump(300);
}

inline PatternWindow::~PatternWindow()
{
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
    pump(50);
}

inline LRESULT CALLBACK PatternWindow::PatternWndProc(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_PAINT) {
        auto* self = reinterpret_cast<PatternWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        PAINTSTRUCT ps{};
        HDC dc = ::BeginPaint(window, &ps);
        if (dc != nullptr && self != nullptr) {
            BITMAPINFO info = topDown32(self->pixels_.width, self->pixels_.height);
            ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(self->pixels_.width),
                                static_cast<DWORD>(self->pixels_.height), 0, 0, 0,
                                static_cast<UINT>(self->pixels_.height), self->pixels_.rgb.data(),
                                &info, DIB_RGB_COLORS);
        }
        ::EndPaint(window, &ps);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

inline ThreadedPatternWindow::ThreadedPatternWindow(int x, int y, int width, int height, int seed)
    : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    thread_ = std::thread([=, this] {
        threadId_ = ::GetCurrentThreadId();
        PatternWindow window(x, y, width, height, seed);
        window_ = window.window();
        ::SetEvent(ready_);
        MSG msg{};
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    });
    ::WaitForSingleObject(ready_, 10000);
}

inline ThreadedPatternWindow::~ThreadedPatternWindow()
{
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    ::CloseHandle(ready_);
}

} // namespace shot_test
