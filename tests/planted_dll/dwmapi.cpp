// A dwmapi.dll as someone could drop it beside a downloaded Orlimo.exe: it exports what the
// program takes from the real one and marks its own loading.
#include "load_marker.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        leaveLoadMarker(module);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmFlush()
{
    return S_OK;
}
