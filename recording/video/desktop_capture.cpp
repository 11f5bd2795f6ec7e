#include "recording/video/desktop_capture.h"

#include "common/failure.h"
#include "recording/core/recording_stage.h"

namespace {

HBITMAP createTopDownDibSection(HDC screenDC, std::int32_t width, std::int32_t height,
                                std::uint8_t*& bits) noexcept
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screenDC, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits = static_cast<std::uint8_t*>(pixels);
    return bitmap;
}

} // namespace

DesktopCapture::DesktopCapture(const PixelRect& area, std::int32_t frameWidth,
                               std::int32_t frameHeight)
    : region(area), width(frameWidth), height(frameHeight)
{
    // All three are attempted before any is checked; whatever was made is released by its owner.
    memoryDC.reset(::CreateCompatibleDC(screenDC.get()));
    bitmap.reset(createTopDownDibSection(screenDC.get(), width, height, bits));
    if (!screenDC || !memoryDC || !bitmap) {
        throw stageFailure(E_OUTOFMEMORY, RecordingStage::DesktopCapture);
    }
    previousBitmap.emplace(memoryDC.get(), bitmap.get());
}

void DesktopCapture::grab()
{
    // Without CAPTUREBLT: with it the system hides the pointer for every copy, and at 30 copies a
    // second the user sees it flicker for the whole recording. The composed desktop holds the
    // layered windows anyway.
    if (!::BitBlt(memoryDC.get(), 0, 0, width, height, screenDC.get(), region.left, region.top,
                  SRCCOPY)) {
        throw stageFailure(HRESULT_FROM_WIN32(::GetLastError()), RecordingStage::DesktopImageRead);
    }
    // The DIB's bits are read directly next, so GDI's batch must have reached them.
    ::GdiFlush();
}
