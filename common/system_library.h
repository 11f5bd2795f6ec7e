#pragma once
// A DLL that is not one of the system's known DLLs, loaded by file name from the system folder
// only. For such a DLL in an import table Windows looks in the program's own folder first, where
// anyone who can drop a file beside a downloaded program can plant one of that name; loaded
// this way it comes from System32 or not at all, and an edition that lacks it fails only what
// needs it instead of the whole program's start.
#include <windows.h>

#include "common/unique_handle.h"

class SystemLibrary {
public:
    // Loads the DLL, a bare file name such as L"dwmapi.dll". Never throws: check loaded().
    explicit SystemLibrary(const wchar_t* fileName) noexcept
        : module_(::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)),
          loadResult_(module_ ? S_OK : lastErrorResult())
    {}

    bool loaded() const noexcept { return static_cast<bool>(module_); }
    // S_OK once loaded, otherwise why not (0x8007007E: no such DLL in the system folder).
    HRESULT loadResult() const noexcept { return loadResult_; }

    // The export of that name as the caller's function pointer type, e.g.
    // find<decltype(&::DwmFlush)>("DwmFlush"); null when the export or the library is missing.
    template <typename Function>
    Function find(const char* name) const noexcept
    {
        if (!module_) {
            return nullptr;
        }
        // GetProcAddress gives every export one generic type; the compilers accept a cast from
        // it to the real type only by way of void (*)(), the pointer to any function.
        using AnyFunction = void (*)();
        return reinterpret_cast<Function>(
            reinterpret_cast<AnyFunction>(::GetProcAddress(module_.get(), name)));
    }

private:
    static HRESULT lastErrorResult() noexcept
    {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }

    UniqueModule module_;
    HRESULT loadResult_;
};
