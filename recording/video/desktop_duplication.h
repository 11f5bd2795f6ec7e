#pragma once
// The desktop duplication of the monitor that holds the recorded area: Direct3D 11 on the
// adapter that drives that monitor, one duplication of its output, and a staging texture of the
// area's size through which only the area is read back. Direct3D and DXGI are loaded from the
// system folder; where they cannot be had the duplication is refused and GDI takes over.
#include "common/pixel_rect.h"
#include "recording/video/frame_source_choice.h"

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>

class DesktopDuplication {
public:
    DesktopDuplication(const PixelRect& area, std::int32_t frameWidth,
                       std::int32_t frameHeight) noexcept;
    DesktopDuplication(const DesktopDuplication&) = delete;
    DesktopDuplication& operator=(const DesktopDuplication&) = delete;
    ~DesktopDuplication() { release(); }

    // Makes the device and the duplication anew, the old ones released first. Refused when the
    // area is not wholly on one unrotated monitor.
    DuplicationAnswer make() noexcept;
    // Waits at most `timeoutMs` for a desktop image newer than the last one and copies the area
    // from it into `bgra`, top-down, width x height x 4 bytes. NoNewImage leaves `bgra` alone.
    DuplicationAnswer copyNewImage(unsigned timeoutMs, std::uint8_t* bgra) noexcept;
    void release() noexcept;

private:
    DuplicationAnswer copyArea(ID3D11Texture2D* desktop, std::uint8_t* bgra) noexcept;

    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    POINT outputOrigin{};
    // Released in reverse: the staging texture and the duplication before the device.
    Microsoft::WRL::ComPtr<ID3D11Device> device;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
    Microsoft::WRL::ComPtr<IDXGIOutputDuplication> duplication;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> staging;
    bool frameHeld = false;
    // The first image of a new duplication is copied even when it reports no new presentation.
    bool fresh = false;
};
