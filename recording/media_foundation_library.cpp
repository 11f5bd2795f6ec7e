#include "recording/media_foundation_library.h"

#include "common/failure.h"

namespace {

constexpr const wchar_t* Stage = L"Media Foundation";

HRESULT lastErrorResult()
{
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HMODULE loadSystemModule(const wchar_t* name)
{
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        throw Failure{lastErrorResult(), Stage};
    }
    return module;
}

template <typename Function>
void lookUp(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    if (function == nullptr) {
        throw Failure{lastErrorResult(), Stage};
    }
}

} // namespace

void MediaFoundationLibrary::load()
{
    if (loaded()) {
        return;
    }
    try {
        platformModule = loadSystemModule(L"mfplat.dll");
        readWriteModule = loadSystemModule(L"mfreadwrite.dll");
        MediaFoundationFunctions found;
        lookUp(platformModule, "MFStartup", found.startup);
        lookUp(platformModule, "MFShutdown", found.shutdown);
        lookUp(platformModule, "MFCreateAttributes", found.createAttributes);
        lookUp(platformModule, "MFCreateMediaType", found.createMediaType);
        lookUp(platformModule, "MFCreateMemoryBuffer", found.createMemoryBuffer);
        lookUp(platformModule, "MFCreateSample", found.createSample);
        lookUp(readWriteModule, "MFCreateSinkWriterFromURL", found.createSinkWriterFromUrl);
        functions_ = found;
    } catch (...) {
        unload();
        throw;
    }
}

void MediaFoundationLibrary::unload() noexcept
{
    functions_ = MediaFoundationFunctions{};
    if (readWriteModule != nullptr) {
        ::FreeLibrary(readWriteModule);
        readWriteModule = nullptr;
    }
    if (platformModule != nullptr) {
        ::FreeLibrary(platformModule);
        platformModule = nullptr;
    }
}
