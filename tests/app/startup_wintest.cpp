#include "app/main_window.h"
#include "screenshot/screenshot_folder.h"
#include "app/screenshot_folder_setup.h"
#include "recording/panel/recording_border.h"
#include "recording/panel/recording_panel.h"
#include "recording/panel/recording_panel_window.h"
#include "resources/resource_ids.h"
#include "support/import_patch.h"
#include "support/message_pump.h"
#include "support/shell_execute_recorder.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using test_support::directoryExists;
using test_support::pumpUntil;

namespace {

std::wstring picturesFolder()
{
    wchar_t path[MAX_PATH] = {};
    EXPECT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, 0, path)));
    return path;
}

std::vector<HWND> threadWindows()
{
    std::vector<HWND> windows;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool quitPosted()
{
    MSG message;
    return ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// The real main window of this test process (tray icon and keyboard hook included), destroyed
// again at the end of the test with the quit message its teardown posts.
class MainWindowUnderTest {
public:
    MainWindowUnderTest() : window_(createMainWindow(::GetModuleHandleW(nullptr))) {}
    ~MainWindowUnderTest()
    {
        if (::IsWindow(window_)) {
            ::DestroyWindow(window_);
        }
        quitPosted();
    }
    MainWindowUnderTest(const MainWindowUnderTest&) = delete;
    MainWindowUnderTest& operator=(const MainWindowUnderTest&) = delete;

    HWND get() const noexcept { return window_; }

private:
    HWND window_;
};

// Observes the shutdown block reason calls that the main window makes.
struct BlockReasonRecorder {
    using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
    using DestroyFn = BOOL(WINAPI*)(HWND);
    static inline std::vector<std::wstring> created;
    static inline int destroyed = 0;
    static inline std::function<void()> onDestroy;

    // For the rest of the run.
    static bool install()
    {
        static const test_support::ImportPatch<CreateFn> createPatch(
            "user32.dll", "ShutdownBlockReasonCreate", &create);
        static const test_support::ImportPatch<DestroyFn> destroyPatch(
            "user32.dll", "ShutdownBlockReasonDestroy", &destroy);
        return createPatch.installed() && destroyPatch.installed();
    }
    static BOOL WINAPI create(HWND, LPCWSTR reason)
    {
        created.emplace_back(reason != nullptr ? reason : L"");
        return TRUE;
    }
    static BOOL WINAPI destroy(HWND)
    {
        ++destroyed;
        if (onDestroy) {
            onDestroy();
        }
        return TRUE;
    }
};

} // namespace

TEST(ScreenshotFolderSetup, MakesScreenshotsInsidePictures)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    EXPECT_EQ(ScreenshotFolderPath, picturesFolder() + L"\\Screenshots");
    EXPECT_TRUE(directoryExists(ScreenshotFolderPath));
}

TEST(ScreenshotFolderSetup, ExistingFolderCountsAsSuccess)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    ASSERT_TRUE(prepareScreenshotFolder());
    EXPECT_EQ(ScreenshotFolderPath, picturesFolder() + L"\\Screenshots");
}

TEST(AppResources, IconGroupHasTheTenSizes)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC group =
        ::FindResourceW(module, MAKEINTRESOURCEW(IDI_APP), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
    ASSERT_NE(bytes, nullptr);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries.
    const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
    ASSERT_EQ(count, 10);
    const int expected[] = {16, 20, 24, 32, 40, 48, 64, 96, 128, 256};
    for (int i = 0; i < 10; ++i) {
        const BYTE* entry = bytes + 6 + 14 * i;
        const int width = entry[0] == 0 ? 256 : entry[0];
        const WORD bitCount = *reinterpret_cast<const WORD*>(entry + 6);
        EXPECT_EQ(width, expected[i]) << i;
        EXPECT_EQ(bitCount, 32) << i;
    }
    EXPECT_NE(::LoadIconW(module, MAKEINTRESOURCEW(IDI_APP)), nullptr);
}

TEST(MainWindowCommands, CommandsWithoutAnOperationDoNothingAndReturnZero)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    ASSERT_TRUE(test_support::ShellExecuteRecorder::install());
    MainWindowUnderTest main;
    ASSERT_NE(main.get(), nullptr);
    const std::vector<HWND> windowsBefore = threadWindows();
    test_support::ShellExecuteRecorder::calls().clear();

    // 1004 (the folder) and 1005 (exit) belong to the tray menu; the others are no command.
    for (WPARAM command :
         {static_cast<WPARAM>(1004), static_cast<WPARAM>(1005), static_cast<WPARAM>(1000),
          static_cast<WPARAM>(1007), static_cast<WPARAM>(0)}) {
        EXPECT_EQ(::SendMessageW(main.get(), WM_HOTKEY, command, 0), 0) << command;
    }
    EXPECT_TRUE(::IsWindow(main.get()));
    EXPECT_FALSE(quitPosted());
    EXPECT_TRUE(test_support::ShellExecuteRecorder::calls().empty());
    EXPECT_EQ(threadWindows(), windowsBefore);
}

TEST(MainWindowSessionEnd, RecordingInProgressIsSavedBeforeEndSessionReturns)
{
    ASSERT_TRUE(prepareScreenshotFolder());
    ASSERT_TRUE(BlockReasonRecorder::install());
    MainWindowUnderTest main;
    ASSERT_NE(main.get(), nullptr);

    // A worker that records until asked to stop and then takes a while to finalize its file.
    std::atomic<bool> saved{false};
    const RecordingWorkerEntry worker = [&saved](RecordingSession& session, PixelRect,
                                                 std::wstring) {
        session.publishState(RecordingState::Recording);
        while (!session.isStopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        session.publishState(RecordingState::Saving);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        session.publishState(RecordingState::Saved);
        saved = true;
    };
    HWND panel = openRecordingPanelFor(PixelRect{100, 100, 420, 340}, worker);
    ASSERT_NE(panel, nullptr);

    // No recording yet: the session may end without a reason being shown.
    EXPECT_EQ(::SendMessageW(main.get(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(BlockReasonRecorder::created.empty());
    ::SendMessageW(main.get(), WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(::IsWindow(panel));

    ::SendMessageW(panel, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(panel, 1)));
    ASSERT_TRUE(pumpUntil([] { return recordingIsActive(); }));
    ASSERT_NE(recordingBorderWindow, nullptr);

    EXPECT_EQ(::SendMessageW(main.get(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    ASSERT_EQ(BlockReasonRecorder::created.size(), 1u);
    EXPECT_EQ(BlockReasonRecorder::created[0], L"Zapisywanie nagrania MP4...");

    bool savedWhenReasonWent = false;
    const int destroyedBefore = BlockReasonRecorder::destroyed;
    BlockReasonRecorder::onDestroy = [&] { savedWhenReasonWent = saved; };
    ::SendMessageW(main.get(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    BlockReasonRecorder::onDestroy = nullptr;

    // Windows may end the process as soon as WM_ENDSESSION returns.
    EXPECT_TRUE(saved);
    EXPECT_EQ(BlockReasonRecorder::destroyed, destroyedBefore + 1);
    EXPECT_TRUE(savedWhenReasonWent);
    EXPECT_FALSE(::IsWindow(panel));
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
    EXPECT_EQ(::FindWindowW(L"TrayIconClass", nullptr), nullptr);
    EXPECT_TRUE(quitPosted());
}
