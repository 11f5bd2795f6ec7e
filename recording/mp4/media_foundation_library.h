#pragma once
// Media Foundation, loaded at run time for one recording. The N editions of Windows ship without
// mfplat.dll and mfreadwrite.dll, and an executable that imports either does not start there at
// all, screenshots included; loaded by name, their absence only fails the recording.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <optional>

#include "common/system_library.h"

// The functions the recording calls, looked up by name. All null until a load has succeeded.
struct MediaFoundationFunctions {
    decltype(&::MFStartup) startup = nullptr;
    decltype(&::MFShutdown) shutdown = nullptr;
    decltype(&::MFCreateAttributes) createAttributes = nullptr;
    decltype(&::MFCreateMediaType) createMediaType = nullptr;
    decltype(&::MFCreateMemoryBuffer) createMemoryBuffer = nullptr;
    decltype(&::MFCreateSample) createSample = nullptr;
    decltype(&::MFCreateSinkWriterFromURL) createSinkWriterFromUrl = nullptr;
};

// Owns the two modules, taken from the system folder only (never from the program's folder or
// the current directory), and frees them on unload or destruction.
class MediaFoundationLibrary {
public:
    MediaFoundationLibrary() = default;
    MediaFoundationLibrary(const MediaFoundationLibrary&) = delete;
    MediaFoundationLibrary& operator=(const MediaFoundationLibrary&) = delete;
    ~MediaFoundationLibrary() { unload(); }

    // Loads both modules and looks up every function. A missing module or function throws
    // Failure "Media Foundation" with the code of the load (0x8007007E for a missing module) and
    // leaves nothing loaded.
    void load();
    void unload() noexcept;

    bool loaded() const noexcept { return functions_.startup != nullptr; }
    const MediaFoundationFunctions& functions() const noexcept { return functions_; }

private:
    std::optional<SystemLibrary> platformModule;
    std::optional<SystemLibrary> readWriteModule;
    MediaFoundationFunctions functions_;
};
