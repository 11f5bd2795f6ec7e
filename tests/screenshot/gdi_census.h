#pragma once
// Counts the GDI objects and device contexts that this executable's own code creates and has
// not given back, by redirecting its imports of the creating and freeing calls. Wine answers 0
// to GetGuiResources, so this census is what makes the leak checks bite there. Global memory
// blocks, which only the clipboard copy makes, are counted apart.
#include <windows.h>

#include <mutex>
#include <set>

#include "import_patch.h"

namespace shot_test {

class GdiCensus {
public:
    static GdiCensus& instance()
    {
        static GdiCensus census;
        return census;
    }

    bool installed() const noexcept { return installed_; }

    size_t live()
    {
        std::lock_guard lock(mutex_);
        return handles_.size();
    }

    size_t liveMemory()
    {
        std::lock_guard lock(mutex_);
        return memory_.size();
    }

private:
    template <typename Fn>
    struct Real {
        static inline Fn fn = nullptr;
    };

    GdiCensus()
    {
        installed_ =
            patchImport("gdi32.dll", "CreateCompatibleDC", &createCompatibleDc,
                        Real<decltype(&createCompatibleDc)>::fn) &&
            patchImport("gdi32.dll", "CreateCompatibleBitmap", &createCompatibleBitmap,
                        Real<decltype(&createCompatibleBitmap)>::fn) &&
            patchImport("gdi32.dll", "CreateSolidBrush", &createSolidBrush,
                        Real<decltype(&createSolidBrush)>::fn) &&
            patchImport("gdi32.dll", "CreatePen", &createPen, Real<decltype(&createPen)>::fn) &&
            patchImport("gdi32.dll", "DeleteDC", &deleteDc, Real<decltype(&deleteDc)>::fn) &&
            patchImport("gdi32.dll", "DeleteObject", &deleteObject,
                        Real<decltype(&deleteObject)>::fn) &&
            patchImport("user32.dll", "GetDC", &getDc, Real<decltype(&getDc)>::fn) &&
            patchImport("user32.dll", "ReleaseDC", &releaseDc, Real<decltype(&releaseDc)>::fn) &&
            patchImport("user32.dll", "SetClipboardData", &setClipboardData,
                        Real<decltype(&setClipboardData)>::fn) &&
            patchImport("kernel32.dll", "GlobalAlloc", &globalAlloc,
                        Real<decltype(&globalAlloc)>::fn) &&
            patchImport("kernel32.dll", "GlobalFree", &globalFree, Real<decltype(&globalFree)>::fn);
    }

    static void add(void* handle)
    {
        if (handle != nullptr) {
            auto& self = instance();
            std::lock_guard lock(self.mutex_);
            self.handles_.insert(handle);
        }
    }

    static void remove(void* handle)
    {
        auto& self = instance();
        std::lock_guard lock(self.mutex_);
        self.handles_.erase(handle);
        self.memory_.erase(handle);
    }

    static HDC WINAPI createCompatibleDc(HDC dc)
    {
        HDC result = Real<decltype(&createCompatibleDc)>::fn(dc);
        add(result);
        return result;
    }
    static HBITMAP WINAPI createCompatibleBitmap(HDC dc, int width, int height)
    {
        HBITMAP result = Real<decltype(&createCompatibleBitmap)>::fn(dc, width, height);
        add(result);
        return result;
    }
    static HBRUSH WINAPI createSolidBrush(COLORREF colour)
    {
        HBRUSH result = Real<decltype(&createSolidBrush)>::fn(colour);
        add(result);
        return result;
    }
    static HPEN WINAPI createPen(int style, int width, COLORREF colour)
    {
        HPEN result = Real<decltype(&createPen)>::fn(style, width, colour);
        add(result);
        return result;
    }
    static BOOL WINAPI deleteDc(HDC dc)
    {
        const BOOL ok = Real<decltype(&deleteDc)>::fn(dc);
        if (ok) {
            remove(dc);
        }
        return ok;
    }
    static BOOL WINAPI deleteObject(HGDIOBJ object)
    {
        const BOOL ok = Real<decltype(&deleteObject)>::fn(object);
        if (ok) {
            remove(object);
        }
        return ok;
    }
    static HDC WINAPI getDc(HWND window)
    {
        HDC result = Real<decltype(&getDc)>::fn(window);
        add(result);
        return result;
    }
    static int WINAPI releaseDc(HWND window, HDC dc)
    {
        const int released = Real<decltype(&releaseDc)>::fn(window, dc);
        if (released) {
            remove(dc);
        }
        return released;
    }
    static HGLOBAL WINAPI globalAlloc(UINT flags, SIZE_T bytes)
    {
        HGLOBAL result = Real<decltype(&globalAlloc)>::fn(flags, bytes);
        if (result != nullptr) {
            auto& self = instance();
            std::lock_guard lock(self.mutex_);
            self.memory_.insert(result);
        }
        return result;
    }
    // GlobalFree answers null on success.
    static HGLOBAL WINAPI globalFree(HGLOBAL memory)
    {
        HGLOBAL result = Real<decltype(&globalFree)>::fn(memory);
        if (result == nullptr) {
            remove(memory);
        }
        return result;
    }
    // Data handed to the clipboard belongs to the system from then on.
    static HANDLE WINAPI setClipboardData(UINT format, HANDLE data)
    {
        HANDLE result = Real<decltype(&setClipboardData)>::fn(format, data);
        if (result != nullptr) {
            remove(data);
        }
        return result;
    }

    std::mutex mutex_;
    std::set<void*> handles_;
    std::set<void*> memory_;
    bool installed_ = false;
};

// Both counts: the system's (meaningful on Windows) and the census (meaningful everywhere).
struct GdiSnapshot {
    DWORD system = 0;
    size_t census = 0;
    friend bool operator==(const GdiSnapshot&, const GdiSnapshot&) = default;
};

inline GdiSnapshot gdiSnapshot()
{
    return {::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), GdiCensus::instance().live()};
}

} // namespace shot_test
