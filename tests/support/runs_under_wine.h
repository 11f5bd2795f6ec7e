#pragma once
// Whether a Windows test runs under Wine rather than on Windows: Wine's ntdll exports
// wine_get_version, Windows' never does. A test that relies on what Wine lacks or refuses asks
// this and is skipped on Windows, where the release's tests are run too.
#include <windows.h>

namespace test_support {

inline bool runsUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace test_support
