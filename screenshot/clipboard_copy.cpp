#include "screenshot/clipboard_copy.h"

#include "common/unique_handle.h"
#include "screenshot/bounded_retry.h"

namespace {

// Another program may hold the clipboard for a moment; give up after about 100 ms.
constexpr int ClipboardOpenAttempts = 10;
constexpr DWORD ClipboardRetryDelayMs = 10;

// Closes the clipboard that the caller has opened, on every way out of its scope.
class OpenClipboardScope {
public:
    OpenClipboardScope() noexcept = default;
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
    ~OpenClipboardScope() { ::CloseClipboard(); }
};

} // namespace

bool copyBitmapToClipboard(HBITMAP bitmap)
{
    if (bitmap == nullptr) {
        return false;
    }
    UniqueBitmap copy(
        static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
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
    HANDLE placed = nullptr;
    {
        const OpenClipboardScope open;
        if (!::EmptyClipboard()) {
            return false;
        }
        placed = ::SetClipboardData(CF_BITMAP, copy.get());
    }
    owner.reset();
    if (placed == nullptr) {
        return false;
    }
    // The clipboard owns it now.
    copy.release();
    return true;
}
