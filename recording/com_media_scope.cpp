#include "recording/com_media_scope.h"

#include "common/failure.h"

#include <objbase.h>

ComMediaScope::~ComMediaScope()
{
    if (mediaFoundationStarted) {
        library.functions().shutdown();
    }
    library.unload();
    if (comInitialized) {
        ::CoUninitialize();
    }
}

void ComMediaScope::startCom()
{
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        throw Failure{hr, L"COM"};
    }
    // S_FALSE (already initialized on this thread) still needs its balancing CoUninitialize.
    comInitialized = true;
}

void ComMediaScope::startMediaFoundation()
{
    library.load();
    const HRESULT hr = library.functions().startup(MF_VERSION, MFSTARTUP_FULL);
    if (FAILED(hr)) {
        throw Failure{hr, L"Media Foundation"};
    }
    mediaFoundationStarted = true;
}
