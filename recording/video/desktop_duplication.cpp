#include "recording/video/desktop_duplication.h"

#include "common/system_library.h"
#include "recording/video/frame_source_choice.h"

#include <dxgi1_5.h>
#include <dxgi1_6.h>

#include <cstring>
#include <new>
#include <optional>

using Microsoft::WRL::ComPtr;

// The portable classification spells the platform's codes as numbers.
static_assert(DXGI_ERROR_WAIT_TIMEOUT == duplication_result::WaitTimeout);
static_assert(DXGI_ERROR_ACCESS_LOST == duplication_result::AccessLost);
static_assert(DXGI_ERROR_UNSUPPORTED == duplication_result::Unsupported);
static_assert(E_ACCESSDENIED == duplication_result::AccessDenied);
static_assert(DXGI_ERROR_SESSION_DISCONNECTED == duplication_result::SessionDisconnected);
static_assert(DXGI_ERROR_DEVICE_REMOVED == duplication_result::DeviceRemoved);
static_assert(DXGI_ERROR_DEVICE_HUNG == duplication_result::DeviceHung);
static_assert(DXGI_ERROR_DEVICE_RESET == duplication_result::DeviceReset);
static_assert(DXGI_ERROR_NOT_CURRENTLY_AVAILABLE == duplication_result::NotCurrentlyAvailable);
static_assert(DXGI_ERROR_NOT_FOUND == NoOutputResult);
static_assert(DXGI_FORMAT_B8G8R8A8_UNORM == BgraFormat);

namespace {

struct DirectXFunctions {
    HRESULT loaded = S_OK;
    decltype(&::CreateDXGIFactory1) createFactory = nullptr;
    decltype(&::D3D11CreateDevice) createDevice = nullptr;
};

DirectXFunctions loadDirectX() noexcept
{
    // dxgi.dll and d3d11.dll are on every edition but are not known DLLs, so they are loaded
    // from the system folder, once per process, and stay loaded: drivers may keep threads of
    // their own in them.
    static const SystemLibrary dxgi(L"dxgi.dll");
    static const SystemLibrary d3d11(L"d3d11.dll");
    DirectXFunctions functions{FAILED(dxgi.loadResult()) ? dxgi.loadResult() : d3d11.loadResult(),
                               dxgi.find<decltype(&::CreateDXGIFactory1)>("CreateDXGIFactory1"),
                               d3d11.find<decltype(&::D3D11CreateDevice)>("D3D11CreateDevice")};
    if (SUCCEEDED(functions.loaded) &&
        (functions.createFactory == nullptr || functions.createDevice == nullptr)) {
        functions.loaded = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    return functions;
}

const DirectXFunctions& directX() noexcept
{
    static const DirectXFunctions functions = loadDirectX();
    return functions;
}

bool rotated(DXGI_MODE_ROTATION rotation) noexcept
{
    return rotation != DXGI_MODE_ROTATION_IDENTITY && rotation != DXGI_MODE_ROTATION_UNSPECIFIED;
}

PixelRect pixelRect(const RECT& r) noexcept
{
    return {r.left, r.top, r.right, r.bottom};
}

// The adapters in the order to try them: where the system can rank them, the one that uses
// the least power first. On a machine with two graphics processors that is the one that drives
// the built-in panel, while the other may list the panel as well but cannot duplicate it.
class AdapterOrder {
public:
    explicit AdapterOrder(IDXGIFactory1& dxgiFactory) : factory(dxgiFactory)
    {
        static_cast<void>(factory.QueryInterface(IID_PPV_ARGS(&ranked)));
    }
    HRESULT adapter(UINT index, ComPtr<IDXGIAdapter1>& adapter) const
    {
        adapter.Reset();
        return ranked ? ranked->EnumAdapterByGpuPreference(index, DXGI_GPU_PREFERENCE_MINIMUM_POWER,
                                                           IID_PPV_ARGS(&adapter))
                      : factory.EnumAdapters1(index, &adapter);
    }

private:
    IDXGIFactory1& factory;
    ComPtr<IDXGIFactory6> ranked;
};

// The output of `adapter` that holds the whole area unrotated, if it lists one.
ComPtr<IDXGIOutput> outputHolding(IDXGIAdapter1& adapter, const PixelRect& area)
{
    std::vector<ComPtr<IDXGIOutput>> outputs;
    std::vector<MonitorOutput> placements;
    ComPtr<IDXGIOutput> output;
    for (UINT o = 0; SUCCEEDED(adapter.EnumOutputs(o, &output)); ++o) {
        DXGI_OUTPUT_DESC description{};
        if (SUCCEEDED(output->GetDesc(&description)) && description.AttachedToDesktop) {
            placements.push_back(
                {pixelRect(description.DesktopCoordinates), rotated(description.Rotation)});
            outputs.push_back(output);
        }
        output.Reset();
    }
    const std::optional<std::size_t> chosen = outputToDuplicate(area, placements);
    return chosen ? outputs[*chosen] : nullptr;
}

// DuplicateOutput1 asks for its desktop images in a given format, converted by the system where
// the desktop is HDR; it is offered to per-monitor aware threads only.
bool perMonitorAware() noexcept
{
    return ::GetAwarenessFromDpiAwarenessContext(::GetThreadDpiAwarenessContext()) ==
           DPI_AWARENESS_PER_MONITOR_AWARE;
}

} // namespace

DesktopDuplication::DesktopDuplication(const PixelRect& area, std::int32_t frameWidth,
                                       std::int32_t frameHeight) noexcept
    : region(area), width(frameWidth), height(frameHeight)
{}

std::int32_t DesktopDuplication::findAdapters(std::size_t& count) noexcept
{
    release();
    count = 0;
    const DirectXFunctions& functions = directX();
    if (FAILED(functions.loaded)) {
        return functions.loaded;
    }
    try {
        ComPtr<IDXGIFactory1> factory;
        const HRESULT created = functions.createFactory(IID_PPV_ARGS(&factory));
        if (FAILED(created)) {
            return created;
        }
        const AdapterOrder order(*factory.Get());
        ComPtr<IDXGIAdapter1> adapter;
        for (UINT a = 0; SUCCEEDED(order.adapter(a, adapter)); ++a) {
            ComPtr<IDXGIOutput> output = outputHolding(*adapter.Get(), region);
            if (output) {
                candidates.push_back({adapter, std::move(output)});
            }
        }
    } catch (const std::bad_alloc&) {
        release();
        return E_OUTOFMEMORY;
    }
    count = candidates.size();
    return count == 0 ? DXGI_ERROR_NOT_FOUND : S_OK;
}

DuplicationMade DesktopDuplication::make(std::size_t adapter) noexcept
{
    releaseDuplication();
    DuplicationMade made;
    if (adapter >= candidates.size()) {
        made.result = E_INVALIDARG;
        return made;
    }
    const Candidate& target = candidates[adapter];
    // The device must come from an adapter that lists the output, made through a DXGI 1.1
    // factory, or the duplication refuses it.
    made.result = directX().createDevice(target.adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0,
                                         nullptr, 0, D3D11_SDK_VERSION, &device, nullptr, &context);
    if (SUCCEEDED(made.result)) {
        made.result = duplicate(*target.output.Get());
    }
    DXGI_OUTPUT_DESC output{};
    if (SUCCEEDED(made.result)) {
        made.result = target.output->GetDesc(&output);
    }
    if (FAILED(made.result)) {
        releaseDuplication();
        return made;
    }
    DXGI_OUTDUPL_DESC description{};
    duplication->GetDesc(&description);
    made.monitor = pixelRect(output.DesktopCoordinates);
    made.modeWidth = static_cast<std::int32_t>(description.ModeDesc.Width);
    made.modeHeight = static_cast<std::int32_t>(description.ModeDesc.Height);
    made.rotated = rotated(description.Rotation);
    outputOrigin = {output.DesktopCoordinates.left, output.DesktopCoordinates.top};
    return made;
}

HRESULT DesktopDuplication::duplicate(IDXGIOutput& output) noexcept
{
    ComPtr<IDXGIOutput5> output5;
    if (perMonitorAware() && SUCCEEDED(output.QueryInterface(IID_PPV_ARGS(&output5)))) {
        const DXGI_FORMAT formats[] = {DXGI_FORMAT_B8G8R8A8_UNORM};
        return output5->DuplicateOutput1(device.Get(), 0, 1, formats, &duplication);
    }
    ComPtr<IDXGIOutput1> output1;
    const HRESULT found = output.QueryInterface(IID_PPV_ARGS(&output1));
    return FAILED(found) ? found : output1->DuplicateOutput(device.Get(), &duplication);
}

DuplicatedImage DesktopDuplication::acquire() noexcept
{
    DuplicatedImage image;
    desktop.Reset();
    if (!duplication) {
        image.result = DXGI_ERROR_INVALID_CALL;
        return image;
    }
    // The frame is held from one request to the next and given back just before the next one:
    // while the application holds it, the system only notes which regions change instead of
    // copying every update into the surface.
    if (frameHeld) {
        frameHeld = false;
        image.result = duplication->ReleaseFrame();
        if (FAILED(image.result)) {
            return image;
        }
    }
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    image.result = duplication->AcquireNextFrame(0, &info, &resource);
    if (FAILED(image.result)) {
        return image;
    }
    frameHeld = true;
    image.lastPresentTime = info.LastPresentTime.QuadPart;
    image.accumulatedFrames = info.AccumulatedFrames;
    if (resource && SUCCEEDED(resource.As(&desktop))) {
        D3D11_TEXTURE2D_DESC description{};
        desktop->GetDesc(&description);
        image.texture = true;
        image.format = static_cast<std::uint32_t>(description.Format);
        image.width = static_cast<std::int32_t>(description.Width);
        image.height = static_cast<std::int32_t>(description.Height);
    }
    return image;
}

std::int32_t DesktopDuplication::copyArea(std::uint8_t* bgra) noexcept
{
    if (!desktop) {
        return E_POINTER;
    }
    if (!staging) {
        D3D11_TEXTURE2D_DESC description{};
        description.Width = static_cast<UINT>(width);
        description.Height = static_cast<UINT>(height);
        description.MipLevels = 1;
        description.ArraySize = 1;
        description.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        description.SampleDesc = {1, 0};
        description.Usage = D3D11_USAGE_STAGING;
        description.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        const HRESULT created = device->CreateTexture2D(&description, nullptr, &staging);
        if (FAILED(created)) {
            return created;
        }
    }
    const UINT left = static_cast<UINT>(region.left - outputOrigin.x);
    const UINT top = static_cast<UINT>(region.top - outputOrigin.y);
    const D3D11_BOX area{
        left, top, 0, left + static_cast<UINT>(width), top + static_cast<UINT>(height), 1};
    context->CopySubresourceRegion(staging.Get(), 0, 0, 0, 0, desktop.Get(), 0, &area);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    const HRESULT mappedResult = context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &mapped);
    if (FAILED(mappedResult)) {
        return mappedResult;
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
    return S_OK;
}

void DesktopDuplication::releaseDuplication() noexcept
{
    desktop.Reset();
    if (frameHeld && duplication) {
        duplication->ReleaseFrame();
    }
    frameHeld = false;
    staging.Reset();
    duplication.Reset();
    context.Reset();
    device.Reset();
}

void DesktopDuplication::release() noexcept
{
    releaseDuplication();
    candidates.clear();
}
