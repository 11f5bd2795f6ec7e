#include "screenshot/clipboard_copy.h"

#include "app/unique_handle.h"
#include "screenshot/bounded_retry.h"

namespace {

// Another program may hold the clipboard for a moment; give up after about 100 ms.
constexpr int ClipboardOpenAttempts = 10;
constexpr DWORD ClipboardRetryDelayMs = 10;

} // namespace

bool copyBitmapToClipboard(HBITMAP bitmap)
{
    if (bitmap == nullptr) {
        return false;
    }
    UniqueBitmap copy(static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!copy) {
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
        copy.reset();
        owner.reset();
        return false;
    }
    if (!::EmptyClipboard()) {
        ::CloseClipboard();
        return false;
    }
    const HANDLE placed = ::SetClipboardData(CF_BITMAP, copy.get());
    ::CloseClipboard();
    owner.reset();
    if (placed == nullptr) {
        return false;
    }
    // The clipboard owns it now.
    copy.release();
    return true;
}
