#pragma once
// Small owners for Win32 handles: each acquire has its release in one destructor, so an early
// return cannot leak. COM pointers use Microsoft::WRL::ComPtr instead.
#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Handle{}; }

    Handle release() noexcept { return std::exchange(handle_, Handle{}); }

    void reset(Handle handle = Handle{}) noexcept
    {
        Handle old = std::exchange(handle_, handle);
        if (old != Handle{}) {
            Traits::close(old);
        }
    }

private:
    Handle handle_{};
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static void close(Handle h) noexcept { ::CloseHandle(h); }
};

template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static void close(Handle h) noexcept { ::DeleteObject(h); }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static void close(Handle h) noexcept { ::DeleteDC(h); }
};

struct WindowTraits {
    using Handle = HWND;
    static void close(Handle h) noexcept { ::DestroyWindow(h); }
};

struct MenuTraits {
    using Handle = HMENU;
    static void close(Handle h) noexcept { ::DestroyMenu(h); }
};

struct ModuleTraits {
    using Handle = HMODULE;
    static void close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct HookTraits {
    using Handle = HHOOK;
    static void close(Handle h) noexcept { ::UnhookWindowsHookEx(h); }
};

struct GlobalMemoryTraits {
    using Handle = HGLOBAL;
    static void close(Handle h) noexcept { ::GlobalFree(h); }
};

using UniqueHook = UniqueHandle<HookTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueGlobalMemory = UniqueHandle<GlobalMemoryTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniquePen = UniqueHandle<GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;

// GetDC/ReleaseDC pair for a window, or for the whole screen with a null window.
class ScopedGetDc {
public:
    explicit ScopedGetDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ScopedGetDc(const ScopedGetDc&) = delete;
    ScopedGetDc& operator=(const ScopedGetDc&) = delete;
    ~ScopedGetDc()
    {
        if (dc_ != nullptr) {
            ::ReleaseDC(window_, dc_);
        }
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back on scope exit.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(::SelectObject(dc, object))
    {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    ~ScopedSelectObject()
    {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) {
            ::SelectObject(dc_, previous_);
        }
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint/EndPaint pair for one WM_PAINT.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_))
    {}
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    ~ScopedPaint() { ::EndPaint(window_, &paint_); }
    HDC dc() const noexcept { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};
