// A winmm.dll as someone could drop it beside a downloaded Orlimo.exe: it exports what the
// program takes from the real one and marks its own loading.
#include "load_marker.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        leaveLoadMarker(module);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) UINT WINAPI timeBeginPeriod(UINT)
{
    return 0; // TIMERR_NOERROR
}

extern "C" __declspec(dllexport) UINT WINAPI timeEndPeriod(UINT)
{
    return 0;
}
