#include "app/recording_recovery.h"
#include "app/tray_icon.h"
#include "support/file_bytes.h"
#include "support/fragmented_mp4.h"
#include "support/import_patch.h"
#include "support/message_pump.h"
#include "support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

using test_support::Bytes;
using test_support::readFileBytes;
using test_support::TempFolder;
using test_support::topLevelBoxes;
using test_support::writeFileBytes;
using ::testing::ElementsAre;

namespace {

// The balloon texts handed to the shell while it lives.
struct BalloonRecorder {
    using Fn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    static inline Fn real = nullptr;
    static inline std::vector<std::wstring> texts;

    BalloonRecorder() { texts.clear(); }
    static BOOL WINAPI notify(DWORD message, PNOTIFYICONDATAW data)
    {
        if (message == NIM_MODIFY && (data->uFlags & NIF_INFO) != 0) {
            texts.emplace_back(data->szInfo);
        }
        return real(message, data);
    }

    test_support::ImportPatch<Fn> patch{"shell32.dll", "Shell_NotifyIconW", &notify, &real};
};

// A message-only window that counts WM_RECORDINGS_RECOVERED and announces as the main window
// does.
struct AnnouncingWindow {
    static inline int recovered = 0;

    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_RECORDINGS_RECOVERED) {
            ++recovered;
            announceRecoveredRecordings();
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    AnnouncingWindow()
    {
        recovered = 0;
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = WndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"RecoveryTestWindow";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, L"RecoveryTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
    }
    ~AnnouncingWindow()
    {
        ::DestroyWindow(window);
        ::UnregisterClassW(L"RecoveryTestWindow", ::GetModuleHandleW(nullptr));
    }
    AnnouncingWindow(const AnnouncingWindow&) = delete;
    AnnouncingWindow& operator=(const AnnouncingWindow&) = delete;

    HWND window = nullptr;
};

} // namespace

TEST(RecordingRecovery, CompletedRecordingIsAnnouncedInABalloonAndOthersAreLeft)
{
    TempFolder folder;
    const std::wstring fragmentedName = L"Video_2026-12-09_05-10-00_000.mp4";
    const std::wstring textName = L"Video_2026-12-09_05-10-01_000.mp4";
    const std::wstring heldName = L"Video_2026-12-09_05-10-02_000.mp4";
    const Bytes fragmented = test_support::fragmentedMp4(2, 30);
    const Bytes text = {'n', 'o', ' ', 'M', 'P', '4'};
    ASSERT_TRUE(writeFileBytes(folder.file(fragmentedName), fragmented));
    ASSERT_TRUE(writeFileBytes(folder.file(textName), text));
    ASSERT_TRUE(writeFileBytes(folder.file(heldName), fragmented));
    HANDLE holder = ::CreateFileW(folder.file(heldName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    const BalloonRecorder balloons;
    ASSERT_TRUE(balloons.patch.installed());
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    const AnnouncingWindow main;
    ASSERT_NE(main.window, nullptr);
    // The program's own recovery: its thread posts, the window announces on this thread.
    ASSERT_TRUE(recordingRecovery().start(main.window, folder.path()));
    EXPECT_TRUE(test_support::pumpUntil([] { return AnnouncingWindow::recovered != 0; }));
    recordingRecovery().stop();
    test_support::pumpMessages();
    ::CloseHandle(holder);
    tray.remove();

    EXPECT_THAT(BalloonRecorder::texts,
                ElementsAre(L"Odzyskano przerwane nagranie: " + fragmentedName));
    EXPECT_THAT(topLevelBoxes(readFileBytes(folder.file(fragmentedName))),
                ElementsAre("ftyp", "mdat", "moov"));
    EXPECT_EQ(readFileBytes(folder.file(textName)), text);
    EXPECT_EQ(readFileBytes(folder.file(heldName)), fragmented);
}

TEST(RecordingRecovery, NothingToCompletePostsNothing)
{
    TempFolder folder;
    const Bytes text = {'n', 'o', ' ', 'M', 'P', '4'};
    ASSERT_TRUE(writeFileBytes(folder.file(L"Video_2026-12-09_05-10-01_000.mp4"), text));
    const AnnouncingWindow main;
    ASSERT_TRUE(recordingRecovery().start(main.window, folder.path()));
    recordingRecovery().stop();
    test_support::pumpMessagesFor(test_support::Milliseconds(100));
    EXPECT_EQ(AnnouncingWindow::recovered, 0);
    EXPECT_TRUE(recordingRecovery().takeCompleted().empty());
    // Without a folder nothing starts.
    EXPECT_FALSE(recordingRecovery().start(main.window, L""));
}
