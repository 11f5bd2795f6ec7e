// Runs on a 7680x4320 virtual display of its own (see tests/CMakeLists.txt), where saving a
// full screenshot keeps the program's UI thread busy for seconds.
#include "support/e2e_driver.h"

#include <gtest/gtest.h>

#include <string>

using namespace test_support::e2e;

namespace {

constexpr wchar_t PreviewClass[] = L"KestrovaPreview";
constexpr wchar_t OverlayClass[] = L"SelectionOverlayClass";

void removePngs(const std::wstring& folder)
{
    for (const auto& name : listFiles(folder, L"*.png")) {
        ::DeleteFileW((folder + L'\\' + name).c_str());
    }
}

} // namespace

TEST(BusyUiThreadE2e, PrintScreenDuringALongSaveIsStillWithheld)
{
    ASSERT_EQ(::GetSystemMetrics(SM_CXVIRTUALSCREEN), 7680) << "needs ORLIMO_SCREEN=7680x4320x24";
    ASSERT_EQ(::GetSystemMetrics(SM_CYVIRTUALSCREEN), 4320);
    const std::wstring folder = screenshotsFolder();
    ::CreateDirectoryW(folder.c_str(), nullptr);
    removePngs(folder);

    OrlimoProcess program = OrlimoProcess::start();
    ASSERT_TRUE(program.started());
    ASSERT_NE(program.waitForMainWindow(), nullptr);
    ASSERT_NE(waitForMessageWindow(L"HotkeyWindowClass", program.id()), nullptr);
    KeyRecorderWindow recorder;
    ASSERT_TRUE(recorder.focus());

    ASSERT_TRUE(pressChord({VK_CONTROL, VK_SNAPSHOT}));
    // Let the grab end and the PNG encoding begin.
    ASSERT_TRUE(
        pumpUntil([&] { return !listFiles(folder, L"*.png").empty(); }, Milliseconds{15000}));
    ASSERT_TRUE(recorder.hasFocus());
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    const bool savingAtThePress = findWindowByClass(PreviewClass, program.id()) == nullptr;
    const ULONGLONG pressedAt = ::GetTickCount64();

    // The save ends with its preview; the region command of the second press may follow at once
    // and close that preview again, so its overlay counts as the end too.
    ULONGLONG leakedAfter = 0;
    const bool saved = pumpUntil(
        [&] {
            if (leakedAfter == 0 && recorder.received(VK_SNAPSHOT)) {
                leakedAfter = ::GetTickCount64() - pressedAt + 1;
            }
            return findWindowByClass(PreviewClass, program.id()) != nullptr ||
                   findWindowByClass(OverlayClass, program.id()) != nullptr;
        },
        Milliseconds{60000});
    const ULONGLONG savedAfter = ::GetTickCount64() - pressedAt;
    ASSERT_TRUE(saved);
    EXPECT_TRUE(savingAtThePress) << "the save had ended before the second press";

    // The second press was withheld from the focused window and became the region command once
    // the UI thread was free again.
    HWND overlay = waitForWindow(OverlayClass, program.id(), Milliseconds{10000});
    pumpMessagesFor(Milliseconds{500});
    EXPECT_FALSE(recorder.received(VK_SNAPSHOT))
        << "PrintScreen reached the focused window " << leakedAfter - 1
        << " ms after the press (key-down " << recorder.receivedMessage(WM_KEYDOWN, VK_SNAPSHOT)
        << ", key-up " << recorder.receivedMessage(WM_KEYUP, VK_SNAPSHOT) << "); the save ended "
        << savedAfter << " ms after it";
    EXPECT_NE(overlay, nullptr);
    if (overlay != nullptr) {
        ::PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
    }
    program.kill();
    removePngs(folder);
}
