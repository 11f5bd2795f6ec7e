#pragma once
// Counts the GDI objects and device contexts that this executable's own code creates and has
// not given back, by redirecting its imports of the creating and freeing calls. Wine answers 0
// to GetGuiResources, so this census is what makes the leak checks bite there. Global memory
// blocks, which only the clipboard copy makes, are counted apart.
#include <windows.h>

#include <mutex>
#include <set>

#include "support/import_patch.h"

namespace test_support {

class GdiCensus {
public:
    static GdiCensus& instance()
    {
        static GdiCensus census;
        return census;
    }

    bool installed() const noexcept
    {
        return createCompatibleDc_.installed() && createCompatibleBitmap_.installed() &&
               createSolidBrush_.installed() && createPen_.installed() && deleteDc_.installed() &&
               deleteObject_.installed() && getDc_.installed() && releaseDc_.installed() &&
               setClipboardData_.installed() && globalAlloc_.installed() && globalFree_.installed();
    }

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
    GdiCensus() = default;

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
        HDC result = instance().createCompatibleDc_.original()(dc);
        add(result);
        return result;
    }
    static HBITMAP WINAPI createCompatibleBitmap(HDC dc, int width, int height)
    {
        HBITMAP result = instance().createCompatibleBitmap_.original()(dc, width, height);
        add(result);
        return result;
    }
    static HBRUSH WINAPI createSolidBrush(COLORREF colour)
    {
        HBRUSH result = instance().createSolidBrush_.original()(colour);
        add(result);
        return result;
    }
    static HPEN WINAPI createPen(int style, int width, COLORREF colour)
    {
        HPEN result = instance().createPen_.original()(style, width, colour);
        add(result);
        return result;
    }
    static BOOL WINAPI deleteDc(HDC dc)
    {
        const BOOL ok = instance().deleteDc_.original()(dc);
        if (ok) {
            remove(dc);
        }
        return ok;
    }
    static BOOL WINAPI deleteObject(HGDIOBJ object)
    {
        const BOOL ok = instance().deleteObject_.original()(object);
        if (ok) {
            remove(object);
        }
        return ok;
    }
    static HDC WINAPI getDc(HWND window)
    {
        HDC result = instance().getDc_.original()(window);
        add(result);
        return result;
    }
    static int WINAPI releaseDc(HWND window, HDC dc)
    {
        const int released = instance().releaseDc_.original()(window, dc);
        if (released) {
            remove(dc);
        }
        return released;
    }
    static HGLOBAL WINAPI globalAlloc(UINT flags, SIZE_T bytes)
    {
        HGLOBAL result = instance().globalAlloc_.original()(flags, bytes);
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
        HGLOBAL result = instance().globalFree_.original()(memory);
        if (result == nullptr) {
            remove(memory);
        }
        return result;
    }
    // Data handed to the clipboard belongs to the system from then on.
    static HANDLE WINAPI setClipboardData(UINT format, HANDLE data)
    {
        HANDLE result = instance().setClipboardData_.original()(format, data);
        if (result != nullptr) {
            remove(data);
        }
        return result;
    }

    template <typename Fn>
    using Patch = ImportPatch<Fn>;

    std::mutex mutex_;
    std::set<void*> handles_;
    std::set<void*> memory_;
    // Last, so that the stand-ins find the sets made when the first of them is put in.
    Patch<decltype(&::CreateCompatibleDC)> createCompatibleDc_{"gdi32.dll", "CreateCompatibleDC",
                                                               &createCompatibleDc};
    Patch<decltype(&::CreateCompatibleBitmap)> createCompatibleBitmap_{
        "gdi32.dll", "CreateCompatibleBitmap", &createCompatibleBitmap};
    Patch<decltype(&::CreateSolidBrush)> createSolidBrush_{"gdi32.dll", "CreateSolidBrush",
                                                           &createSolidBrush};
    Patch<decltype(&::CreatePen)> createPen_{"gdi32.dll", "CreatePen", &createPen};
    Patch<decltype(&::DeleteDC)> deleteDc_{"gdi32.dll", "DeleteDC", &deleteDc};
    Patch<decltype(&::DeleteObject)> deleteObject_{"gdi32.dll", "DeleteObject", &deleteObject};
    Patch<decltype(&::GetDC)> getDc_{"user32.dll", "GetDC", &getDc};
    Patch<decltype(&::ReleaseDC)> releaseDc_{"user32.dll", "ReleaseDC", &releaseDc};
    Patch<decltype(&::SetClipboardData)> setClipboardData_{"user32.dll", "SetClipboardData",
                                                           &setClipboardData};
    Patch<decltype(&::GlobalAlloc)> globalAlloc_{"kernel32.dll", "GlobalAlloc", &globalAlloc};
    Patch<decltype(&::GlobalFree)> globalFree_{"kernel32.dll", "GlobalFree", &globalFree};
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

} // namespace test_support
