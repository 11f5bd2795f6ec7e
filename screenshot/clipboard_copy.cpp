#include "screenshot/clipboard_copy.h"

#include <cstddef>

#include "common/unique_handle.h"
#include "screenshot/bounded_retry.h"

namespace {

// Another program may hold the clipboard for a moment; give up after about 100 ms.
constexpr int ClipboardOpenAttempts = 10;
constexpr DWORD ClipboardRetryDelayMs = 10;

// Three bytes a pixel, every row padded to a whole number of 32-bit words.
constexpr std::size_t dib24RowBytes(LONG width) noexcept
{
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

// Closes the clipboard that the caller has opened, on every way out of its scope.
class OpenClipboardScope {
public:
    OpenClipboardScope() noexcept = default;
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    ~OpenClipboardScope() { ::CloseClipboard(); }
};

// The picture as a packed DIB in movable memory: the header, then bottom-up rows of 24 bits a
// pixel. Every reader then sees an opaque picture (a 32-bit one with a zero fourth byte pastes
// as transparent in some programs), and the system offers CF_BITMAP and CF_DIBV5 from it.
UniqueGlobalMemory makePackedDib24(HBITMAP bitmap) noexcept
{
    BITMAP size{};
    if (::GetObjectW(bitmap, sizeof(size), &size) == 0 || size.bmWidth <= 0 || size.bmHeight <= 0) {
        return {};
    }
    const std::size_t imageBytes =
        dib24RowBytes(size.bmWidth) * static_cast<std::size_t>(size.bmHeight);
    if (imageBytes > MAXDWORD - sizeof(BITMAPINFOHEADER)) {
        return {};
    }
    UniqueGlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + imageBytes));
    if (!memory) {
        return {};
    }
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(memory.get()));
    if (header == nullptr) {
        return {};
    }
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = size.bmWidth;
    header->biHeight = size.bmHeight; // positive: the bottom row comes first
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = static_cast<DWORD>(imageBytes);
    int rows = 0;
    {
        // GDI converts the screen's format into the requested rows, padding included.
        const ScopedGetDc screen(nullptr);
        if (screen) {
            rows = ::GetDIBits(screen.get(), bitmap, 0, static_cast<UINT>(size.bmHeight),
                               header + 1, reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
        }
    }
    ::GlobalUnlock(memory.get());
    if (rows != size.bmHeight) {
        return {};
    }
    return memory;
}

} // namespace

bool copyBitmapToClipboard(HBITMAP bitmap)
{
    if (bitmap == nullptr) {
        return false;
    }
    // Made before the clipboard is opened, so other programs are not kept waiting meanwhile.
    UniqueGlobalMemory dib = makePackedDib24(bitmap);
    if (!dib) {
        return false;
    }
    UniqueWindow owner(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         ::GetModuleHandleW(nullptr), nullptr));
    if (!owner) {
        return false;
    }
    const bool opened = retryWithPause(
        ClipboardOpenAttempts, [&owner] { return ::OpenClipboard(owner.get()) != FALSE; },
        [] { ::Sleep(ClipboardRetryDelayMs); });
    if (!opened) {
        return false;
    }
    HANDLE placed = nullptr;
    {
        const OpenClipboardScope open;
        if (!::EmptyClipboard()) {
            return false;
        }
        placed = ::SetClipboardData(CF_DIB, dib.get());
    }
    owner.reset();
    if (placed == nullptr) {
        return false;
    }
    // The clipboard owns the memory now.
    dib.release();
    return true;
}
