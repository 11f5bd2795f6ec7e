#pragma once
// What a DLL planted beside a downloaded program does in the end-to-end test: the moment it is
// loaded, it leaves a file "<its own path>.loaded" behind, the proof that its code ran inside
// the program. Only kernel32 is called, as code run from DllMain must.
#include <windows.h>

inline void leaveLoadMarker(HINSTANCE module) noexcept
{
    constexpr wchar_t Suffix[] = L".loaded";
    wchar_t path[MAX_PATH + sizeof(Suffix) / sizeof(wchar_t)] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    ::lstrcatW(path, Suffix);
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
}
