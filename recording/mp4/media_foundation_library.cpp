#include "recording/mp4/media_foundation_library.h"

#include <utility>

#include "common/failure.h"
#include "recording/core/recording_stage.h"

namespace {

constexpr RecordingStage Stage = RecordingStage::MediaFoundation;

template <typename Function>
void lookUp(const SystemLibrary& library, const char* name, Function& function)
{
    if (!library.loaded()) {
        throw stageFailure(library.loadResult(), Stage);
    }
    function = library.find<Function>(name);
    if (function == nullptr) {
        throw stageFailure(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), Stage);
    }
}

} // namespace

void MediaFoundationLibrary::load()
{
    if (loaded()) {
        return;
    }
    SystemLibrary platform(L"mfplat.dll");
    SystemLibrary readWrite(L"mfreadwrite.dll");
    MediaFoundationFunctions found;
    lookUp(platform, "MFStartup", found.startup);
    lookUp(platform, "MFShutdown", found.shutdown);
    lookUp(platform, "MFCreateAttributes", found.createAttributes);
    lookUp(platform, "MFCreateMediaType", found.createMediaType);
    lookUp(platform, "MFCreateMemoryBuffer", found.createMemoryBuffer);
    lookUp(platform, "MFCreateSample", found.createSample);
    lookUp(readWrite, "MFCreateSinkWriterFromURL", found.createSinkWriterFromUrl);
    platformModule.emplace(std::move(platform));
    readWriteModule.emplace(std::move(readWrite));
    functions_ = found;
}

void MediaFoundationLibrary::unload() noexcept
{
    functions_ = MediaFoundationFunctions{};
    readWriteModule.reset();
    platformModule.reset();
}
