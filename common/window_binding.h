#pragma once
// One way for every window procedure to find its object, and one barrier that keeps exceptions
// out of the system's message dispatcher.
#include <windows.h>

#include <cstdint>
#include <memory>

// Runs the handling of one message. Nothing it throws may unwind through the dispatcher: an
// exception answers as a refusal would, -1 for WM_CREATE (the window is not made) and 0 for
// everything else.
template <typename Handler>
LRESULT runGuarded(UINT message, Handler&& handler) noexcept
{
    try {
        return handler();
    } catch (...) {
        return message == WM_CREATE ? -1 : 0;
    }
}

// Whether a window frees its object at WM_NCDESTROY or only lets go of it.
enum class WindowOwnership : std::uint8_t { Owns, Borrows };

// The creation parameter of a window that owns its object. The window adopts the object at
// WM_NCCREATE; a creation that fails before then leaves it here, to be freed once by the caller.
template <typename T>
struct WindowCreation {
    std::unique_ptr<T> object;
};

// The object bound to a window by dispatchToBoundObject, or null before WM_NCCREATE and after
// WM_NCDESTROY. Only the code that owns a window class asks this of its windows.
template <typename T>
T* boundObject(HWND window) noexcept
{
    return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The body of a window procedure whose window is bound to an object. The creation parameter
// (`WindowCreation<T>*` for an owned object, `T*` for a borrowed one) is stored in GWLP_USERDATA
// at WM_NCCREATE. Every later message goes, guarded, to
// `handler(window, object, message, wParam, lParam)`, which answers with DefWindowProcW itself
// for what it leaves alone; messages before the binding or after it go to DefWindowProcW.
// WM_NCDESTROY reaches the handler last; then the binding is cleared and an owned object freed.
template <typename T, WindowOwnership Ownership, typename Handler>
LRESULT dispatchToBoundObject(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              Handler&& handler) noexcept
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        T* object = nullptr;
        if constexpr (Ownership == WindowOwnership::Owns) {
            auto* creation = static_cast<WindowCreation<T>*>(create->lpCreateParams);
            object = creation != nullptr ? creation->object.release() : nullptr;
        } else {
            object = static_cast<T*>(create->lpCreateParams);
        }
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    T* object = boundObject<T>(window);
    if (object == nullptr) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (message != WM_NCDESTROY) {
        return runGuarded(message,
                          [&] { return handler(window, *object, message, wParam, lParam); });
    }

    std::unique_ptr<T> owned;
    if constexpr (Ownership == WindowOwnership::Owns) {
        owned.reset(object);
    }
    const LRESULT result =
        runGuarded(message, [&] { return handler(window, *object, message, wParam, lParam); });
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    return result;
}
