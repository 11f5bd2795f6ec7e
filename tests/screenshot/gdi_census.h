#pragma once
// Counts the GDI objects and device contexts that this executable's own code creates and has
// not given back, by redirecting its imports of the creating and freeing calls. Wine answers 0
// to GetGuiResources, so this census is what makes the leak checks bite there.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <set>

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

private:
    template <typename Fn>
    struct Real {
        static inline Fn fn = nullptr;
    };

    GdiCensus()
    {
        installed_ = patch("gdi32.dll", "CreateCompatibleDC", &createCompatibleDc, Real<decltype(&createCompatibleDc)>::fn)
            && patch("gdi32.dll", "CreateCompatibleBitmap", &createCompatibleBitmap,
                Real<decltype(&createCompatibleBitmap)>::fn)
            && patch("gdi32.dll", "CreateSolidBrush", &createSolidBrush, Real<decltype(&createSolidBrush)>::fn)
            && patch("gdi32.dll", "CreatePen", &createPen, Real<decltype(&createPen)>::fn)
            && patch("gdi32.dll", "DeleteDC", &deleteDc, Real<decltype(&deleteDc)>::fn)
            && patch("gdi32.dll", "DeleteObject", &deleteObject, Real<decltype(&deleteObject)>::fn)
            && patch("user32.dll", "GetDC", &getDc, Real<decltype(&getDc)>::fn)
            && patch("user32.dll", "ReleaseDC", &releaseDc, Real<decltype(&releaseDc)>::fn)
            && patch("user32.dll", "CopyImage", &copyImage, Real<decltype(&copyImage)>::fn)
            && patch("user32.dll", "SetClipboardData", &setClipboardData, Real<decltype(&setClipboardData)>::fn);
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
    static HANDLE WINAPI copyImage(HANDLE image, UINT type, int cx, int cy, UINT flags)
    {
        HANDLE result = Real<decltype(&copyImage)>::fn(image, type, cx, cy, flags);
        add(result);
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

    template <typename Fn>
    static bool patch(const char* dll, const char* name, Fn replacement, Fn& original)
    {
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
             ++entry) {
            if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) {
                continue;
            }
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                    continue;
                }
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) {
                    continue;
                }
                DWORD previous = 0;
                ::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &previous);
                original = reinterpret_cast<Fn>(slots->u1.Function);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
                ::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), previous, &previous);
                return true;
            }
        }
        return false;
    }

    std::mutex mutex_;
    std::set<void*> handles_;
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
