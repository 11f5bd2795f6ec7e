#pragma once
// The desktop duplication of the monitor that holds the recorded area: Direct3D 11 on an
// adapter that lists that monitor, one duplication of its output, and a staging texture of the
// area's size through which only the area is read back. Direct3D and DXGI are loaded from the
// system folder. Every answer goes back as the platform's result; the frame source decides.
#include "common/pixel_rect.h"
#include "recording/core/recording_ports.h"

#include <windows.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

class DesktopDuplication final : public ScreenDuplication {
public:
    DesktopDuplication(const PixelRect& area, std::int32_t frameWidth,
                       std::int32_t frameHeight) noexcept;
    DesktopDuplication(const DesktopDuplication&) = delete;
    DesktopDuplication& operator=(const DesktopDuplication&) = delete;
    ~DesktopDuplication() override { release(); }

    std::int32_t findAdapters(std::size_t& count) noexcept override;
    DuplicationMade make(std::size_t adapter) noexcept override;
    DuplicatedImage acquire() noexcept override;
    std::int32_t copyArea(std::uint8_t* bgra) noexcept override;
    void release() noexcept override;

private:
    struct Candidate {
        Microsoft::WRL::ComPtr<IDXGIAdapter1> adapter;
        Microsoft::WRL::ComPtr<IDXGIOutput> output;
    };

    HRESULT duplicate(IDXGIOutput& output) noexcept;
    void releaseDuplication() noexcept;

    PixelRect region;
    std::int32_t width;
    std::int32_t height;
    std::vector<Candidate> candidates;
    POINT outputOrigin{};
    // Released in reverse: the image, the staging texture and the duplication before the device.
    Microsoft::WRL::ComPtr<ID3D11Device> device;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
    Microsoft::WRL::ComPtr<IDXGIOutputDuplication> duplication;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> staging;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> desktop; // the image acquired last
    bool frameHeld = false;
};
