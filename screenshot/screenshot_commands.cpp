#include "screenshot/screenshot_commands.h"

#include "app/screenshot_folder.h"
#include "app/tray_icon.h"
#include "screenshot/clipboard_copy.h"
#include "screenshot/png_encoder.h"
#include "screenshot/preview_window.h"
#include "screenshot/save_outcome.h"
#include "screenshot/screen_grabber.h"
#include "screenshot/screenshot_file_name.h"
#include "screenshot/selection_geometry.h"
#include "screenshot/selection_overlay.h"

namespace {

// The grabbed bitmap is deleted when this returns.
void saveCaptured(CapturedImage image)
{
    if (!image) {
        return;
    }
    saveScreenshot(image.get(), makeScreenshotFileName());
}

} // namespace

// Each command is dropped while a selection is on the screen, whichever road it came by.
void takeRegionScreenshot()
{
    if (SelectionOverlay::isOpen()) {
        return;
    }
    PreviewWindow::close();
    const PixelRect bounds = virtualScreenRect(::GetSystemMetrics(SM_XVIRTUALSCREEN),
        ::GetSystemMetrics(SM_YVIRTUALSCREEN), ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
        ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    // Its destructor closes the overlay on every way out, exceptions included.
    SelectionOverlay overlay;
    const RECT chosen = overlay.run(RECT{bounds.left, bounds.top, bounds.right, bounds.bottom});
    const PixelRect selection{chosen.left, chosen.top, chosen.right, chosen.bottom};
    if (hasArea(selection)) {
        const PixelRect clipped = clipToBounds(selection, bounds);
        saveCaptured(ScreenGrabber::instance().captureRect(
            RECT{clipped.left, clipped.top, clipped.right, clipped.bottom}));
    }
}

void takeFullScreenshot()
{
    if (SelectionOverlay::isOpen()) {
        return;
    }
    PreviewWindow::close();
    saveCaptured(ScreenGrabber::instance().captureVirtualScreen());
}

void takeWindowScreenshot()
{
    if (SelectionOverlay::isOpen()) {
        return;
    }
    PreviewWindow::close();
    saveCaptured(ScreenGrabber::instance().captureForegroundWindow());
}

std::wstring makeScreenshotFileName()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return formatScreenshotFileName(
        {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds});
}

void saveScreenshot(HBITMAP bitmap, const std::wstring& fileName)
{
    if (bitmap == nullptr || ScreenshotFolderPath.empty()) {
        return;
    }
    const std::wstring path = ScreenshotFolderPath + L'\\' + fileName;
    const bool pngWritten = savePng(bitmap, path);
    const bool clipboardOk = copyBitmapToClipboard(bitmap);
    bool previewShown = false;
    if (pngWritten) {
        previewShown = PreviewWindow::show(bitmap, path, std::wstring(previewStatusText(clipboardOk)));
    }
    const SaveFeedback feedback = saveFeedbackFor(pngWritten, clipboardOk, previewShown);
    if (feedback.channel == FeedbackChannel::Balloon) {
        TrayIcon::instance().showNotification(std::wstring(feedback.text));
    }
}
