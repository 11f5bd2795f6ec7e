#include "recording/video/desktop_duplication.h"

#include "common/system_library.h"

#include <cstring>
#include <new>
#include <optional>
#include <vector>

using Microsoft::WRL::ComPtr;

// The portable classification spells these codes as numbers.
static_assert(DXGI_ERROR_WAIT_TIMEOUT == static_cast<HRESULT>(0x887A0027u));
static_assert(DXGI_ERROR_ACCESS_LOST == static_cast<HRESULT>(0x887A0026u));
static_assert(E_ACCESSDENIED == static_cast<HRESULT>(0x80070005u));

namespace {

struct DirectXFunctions {
    decltype(&::CreateDXGIFactory1) createFactory = nullptr;
    decltype(&::D3D11CreateDevice) createDevice = nullptr;
};

// dxgi.dll and d3d11.dll are on every edition but are not known DLLs, so they are loaded from the
// system folder, once per process, and stay loaded: drivers may keep threads of their own in them.
const DirectXFunctions* directX() noexcept
{
    static const SystemLibrary dxgi(L"dxgi.dll");
    static const SystemLibrary d3d11(L"d3d11.dll");
    static const DirectXFunctions functions{
        dxgi.find<decltype(&::CreateDXGIFactory1)>("CreateDXGIFactory1"),
        d3d11.find<decltype(&::D3D11CreateDevice)>("D3D11CreateDevice")};
    return functions.createFactory != nullptr && functions.createDevice != nullptr ? &functions
                                                                                   : nullptr;
}

bool rotated(DXGI_MODE_ROTATION rotation) noexcept
{
    return rotation != DXGI_MODE_ROTATION_IDENTITY && rotation != DXGI_MODE_ROTATION_UNSPECIFIED;
}

struct AttachedOutput {
    ComPtr<IDXGIAdapter1> adapter;
    ComPtr<IDXGIOutput> output;
    DXGI_OUTPUT_DESC description{};
};

// Every monitor of the desktop with the adapter that drives it: on a machine with two graphics
// processors each lists the outputs wired to it.
std::vector<AttachedOutput> attachedOutputs(IDXGIFactory1& factory)
{
    std::vector<AttachedOutput> outputs;
    ComPtr<IDXGIAdapter1> adapter;
    for (UINT a = 0; SUCCEEDED(factory.EnumAdapters1(a, &adapter)); ++a) {
        ComPtr<IDXGIOutput> output;
        for (UINT o = 0; SUCCEEDED(adapter->EnumOutputs(o, &output)); ++o) {
            AttachedOutput attached{adapter, output, {}};
            if (SUCCEEDED(output->GetDesc(&attached.description)) &&
                attached.description.AttachedToDesktop) {
                outputs.push_back(std::move(attached));
            }
        }
    }
    return outputs;
}

} // namespace

DesktopDuplication::DesktopDuplication(const PixelRect& area, std::int32_t frameWidth,
                                       std::int32_t frameHeight) noexcept
    : region(area), width(frameWidth), height(frameHeight)
{}

DuplicationAnswer DesktopDuplication::make() noexcept
{
    release();
    try {
        const DirectXFunctions* functions = directX();
        ComPtr<IDXGIFactory1> factory;
        if (functions == nullptr || FAILED(functions->createFactory(IID_PPV_ARGS(&factory)))) {
            return DuplicationAnswer::Refused;
        }
        const std::vector<AttachedOutput> outputs = attachedOutputs(*factory.Get());
        std::vector<MonitorOutput> placements;
        for (const AttachedOutput& output : outputs) {
            const RECT& r = output.description.DesktopCoordinates;
            placements.push_back({PixelRect{r.left, r.top, r.right, r.bottom},
                                  rotated(output.description.Rotation)});
        }
        const std::optional<std::size_t> chosen = outputToDuplicate(region, placements);
        if (!chosen) {
            return DuplicationAnswer::Refused;
        }
        const AttachedOutput& target = outputs[*chosen];
        ComPtr<IDXGIOutput1> output1;
        if (FAILED(target.output.As(&output1))) {
            return DuplicationAnswer::Refused;
        }
        // The device must come from the adapter the output is connected to, made through a
        // DXGI 1.1 factory, or DuplicateOutput refuses it.
        if (FAILED(functions->createDevice(target.adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr,
                                           0, nullptr, 0, D3D11_SDK_VERSION, &device, nullptr,
                                           &context))) {
            release();
            return DuplicationAnswer::Refused;
        }
        const HRESULT made = output1->DuplicateOutput(device.Get(), &duplication);
        if (FAILED(made)) {
            release();
            return classifyDuplicationResult(made);
        }
        DXGI_OUTDUPL_DESC description{};
        duplication->GetDesc(&description);
        if (rotated(description.Rotation)) {
            release();
            return DuplicationAnswer::Refused;
        }
        outputOrigin = {target.description.DesktopCoordinates.left,
                        target.description.DesktopCoordinates.top};
        fresh = true;
        return DuplicationAnswer::Done;
    } catch (const std::bad_alloc&) {
        release();
        return DuplicationAnswer::Refused;
    }
}

DuplicationAnswer DesktopDuplication::copyNewImage(unsigned timeoutMs, std::uint8_t* bgra) noexcept
{
    if (!duplication) {
        return DuplicationAnswer::Refused;
    }
    // The frame is held from one copy to the next and released just before the next acquire:
    // while the application holds it, the system only notes which regions change instead of
    // copying every update into the surface.
    if (frameHeld) {
        frameHeld = false;
        const HRESULT released = duplication->ReleaseFrame();
        if (FAILED(released)) {
            return classifyDuplicationResult(released);
        }
    }
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT acquired = duplication->AcquireNextFrame(timeoutMs, &info, &resource);
    if (FAILED(acquired)) {
        return classifyDuplicationResult(acquired);
    }
    frameHeld = true;
    // A frame that only moved the pointer leaves the desktop image as it was.
    if (!fresh && info.LastPresentTime.QuadPart == 0) {
        return DuplicationAnswer::NoNewImage;
    }
    ComPtr<ID3D11Texture2D> desktop;
    if (FAILED(resource.As(&desktop))) {
        return DuplicationAnswer::Refused;
    }
    const DuplicationAnswer copied = copyArea(desktop.Get(), bgra);
    fresh = fresh && copied != DuplicationAnswer::Done;
    return copied;
}

DuplicationAnswer DesktopDuplication::copyArea(ID3D11Texture2D* desktop,
                                               std::uint8_t* bgra) noexcept
{
    if (!staging) {
        D3D11_TEXTURE2D_DESC description{};
        desktop->GetDesc(&description);
        // An SDR desktop comes as 8-bit BGRA, the layout the NV12 conversion takes.
        if (description.Format != DXGI_FORMAT_B8G8R8A8_UNORM) {
            return DuplicationAnswer::Refused;
        }
        description.Width = static_cast<UINT>(width);
        description.Height = static_cast<UINT>(height);
        description.MipLevels = 1;
        description.ArraySize = 1;
        description.SampleDesc = {1, 0};
        description.Usage = D3D11_USAGE_STAGING;
        description.BindFlags = 0;
        description.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        description.MiscFlags = 0;
        if (FAILED(device->CreateTexture2D(&description, nullptr, &staging))) {
            return DuplicationAnswer::Refused;
        }
    }
    const UINT left = static_cast<UINT>(region.left - outputOrigin.x);
    const UINT top = static_cast<UINT>(region.top - outputOrigin.y);
    const D3D11_BOX area{
        left, top, 0, left + static_cast<UINT>(width), top + static_cast<UINT>(height), 1};
    context->CopySubresourceRegion(staging.Get(), 0, 0, 0, 0, desktop, 0, &area);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    const HRESULT mappedResult = context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped);
    if (FAILED(mappedResult)) {
        return classifyDuplicationResult(mappedResult);
    }
    // Rows of the mapped texture may be padded beyond the area's width.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const auto* source = static_cast<const std::uint8_t*>(mapped.pData);
    for (std::int32_t y = 0; y < height; ++y) {
        std::memcpy(bgra + rowBytes * static_cast<std::size_t>(y),
                    source +
                        static_cast<std::size_t>(mapped.RowPitch) * static_cast<std::size_t>(y),
                    rowBytes);
    }
    context->Unmap(staging.Get(), 0);
    return DuplicationAnswer::Done;
}

void DesktopDuplication::release() noexcept
{
    if (frameHeld && duplication) {
        duplication->ReleaseFrame();
    }
    frameHeld = false;
    staging.Reset();
    duplication.Reset();
    context.Reset();
    device.Reset();
}
