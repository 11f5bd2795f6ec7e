#include "screenshot/screenshot_commands.h"

#include "screenshot/screenshot_folder.h"
#include "common/local_time_now.h"
#include "common/win_rect.h"
#include "screenshot/clipboard_copy.h"
#include "screenshot/png_encoder.h"
#include "screenshot/preview_window.h"
#include "screenshot/save_outcome.h"
#include "screenshot/screen_grabber.h"
#include "screenshot/screenshot_file_name.h"
#include "screenshot/selection_geometry.h"
#include "screenshot/selection_overlay.h"

namespace {

ScreenshotNotifier notifier = nullptr;

// The grabbed bitmap is deleted when this returns.
void saveCaptured(CapturedImage image)
{
    if (!image) {
        return;
    }
    saveScreenshot(image.get(), makeScreenshotFileName());
}

} // namespace

void setScreenshotNotifier(ScreenshotNotifier newNotifier) noexcept
{
    notifier = newNotifier;
}

// Each command is dropped while a selection is on the screen, whichever road it came by.
void takeRegionScreenshot()
{
    if (SelectionOverlay::isOpen()) {
        return;
    }
    PreviewWindow::close();
    const PixelRect bounds = currentVirtualScreen();
    // Its destructor closes the overlay on every way out, exceptions included.
    SelectionOverlay overlay;
    const PixelRect selection = toPixelRect(overlay.run(toRect(bounds)));
    if (hasArea(selection)) {
        const PixelRect clipped = clipToBounds(selection, bounds);
        saveCaptured(ScreenGrabber::instance().captureRect(toRect(clipped)));
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
    return formatScreenshotFileName(localTimeNow());
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
        previewShown =
            PreviewWindow::show(bitmap, path, std::wstring(previewStatusText(clipboardOk)));
    }
    const SaveFeedback feedback = saveFeedbackFor(pngWritten, clipboardOk, previewShown);
    if (feedback.channel == FeedbackChannel::Balloon && notifier != nullptr) {
        notifier(std::wstring(feedback.text));
    }
}
