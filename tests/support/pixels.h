#pragma once
// Pictures in tests: a seeded pattern and bitmaps of it, reading pixels back from bitmaps, the
// clipboard, captured frames and PNG files. Header only, like all of tests/support, because the
// test build picks up *_wintest.cpp files alone.
#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/unique_handle.h"

namespace test_support {

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

// Whether a top-down BGRA frame `frameWidth` pixels wide shows `picture` with its top-left
// corner at (left, top).
inline bool bgraFrameShows(const std::uint8_t* frame, int frameWidth, int left, int top,
                           const Pixels& picture)
{
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* p =
                frame + (static_cast<size_t>(top + y) * frameWidth + (left + x)) * 4;
            const std::uint32_t rgb =
                (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
            if (rgb != picture.rgb[static_cast<size_t>(y) * picture.width + x]) {
                return false;
            }
        }
    }
    return true;
}

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

} // namespace test_support
