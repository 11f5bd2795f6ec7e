#pragma once
// Stands in for ShellExecuteW: records every call and opens nothing, so a test sees exactly what
// the code under test asked the shell to open.
#include "support/import_patch.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace test_support {

struct ShellExecuteCall {
    HWND window = nullptr;
    std::wstring verb;
    std::wstring file;
    bool withParameters = false;
    bool withDirectory = false;
    INT show = 0;
};

class ShellExecuteRecorder {
public:
    // Patches this executable's import once, for the rest of the run; later calls only report
    // whether that worked.
    static bool install()
    {
        static const ImportPatch<Fn> patch("shell32.dll", "ShellExecuteW", &execute);
        return patch.installed();
    }

    static std::vector<ShellExecuteCall>& calls()
    {
        static std::vector<ShellExecuteCall> made;
        return made;
    }

private:
    using Fn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

    static HINSTANCE WINAPI execute(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                    LPCWSTR directory, INT show)
    {
        calls().push_back(ShellExecuteCall{window, verb != nullptr ? verb : L"",
                                           file != nullptr ? file : L"", parameters != nullptr,
                                           directory != nullptr, show});
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42)); // above 32: success
    }
};

} // namespace test_support
