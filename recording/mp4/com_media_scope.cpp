#include "recording/mp4/com_media_scope.h"

#include "common/hresult_check.h"

ComMediaScope::~ComMediaScope()
{
    if (mediaFoundationStarted) {
        library.functions().shutdown();
    }
    library.unload();
}

void ComMediaScope::startCom()
{
    throwIfFailed(com.emplace().result(), L"COM");
}

void ComMediaScope::startMediaFoundation()
{
    library.load();
    throwIfFailed(library.functions().startup(MF_VERSION, MFSTARTUP_FULL), L"Media Foundation");
    mediaFoundationStarted = true;
}
