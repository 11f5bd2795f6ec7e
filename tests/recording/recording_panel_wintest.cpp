#include "blocked_video_subfolder.h"
#include "recording/panel/recording_border.h"
#include "recording/panel/recording_panel.h"
#include "recording/panel/recording_panel_window.h"
#include "screenshot/preview_window.h"
#include "support/message_pump.h"
#include "support/shell_execute_recorder.h"

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using test_support::Milliseconds;
using test_support::pumpMessagesFor;
using test_support::pumpUntil;

namespace {

constexpr std::int64_t Second = 10000000;
constexpr PixelRect Area{100, 200, 740, 680};

// A stand-in for the recording worker that the test moves from stage to stage. It honours the
// session's requests like the real worker: pause and resume while recording, stop in any stage.
struct WorkerScript {
    std::atomic<bool> beginRecording{false};
    std::atomic<bool> finishSaving{false};
    std::atomic<std::int64_t> clock{0};
    std::atomic<int> runs{0};
    std::atomic<bool> sawStop{false};
    std::atomic<StopReason> reasonAtStop{StopReason::Requested};
    std::mutex mutex;
    std::wstring failText;
    std::wstring savedAfterFailureText; // a failure after the first frame: saved as far as it got
    std::vector<std::wstring> paths;

    void failWith(const std::wstring& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        failText = text;
    }
    std::wstring takeFailure()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(failText, std::wstring());
    }
    void saveAfterFailureWith(const std::wstring& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        savedAfterFailureText = text;
    }
    std::wstring takeSavedAfterFailure()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(savedAfterFailureText, std::wstring());
    }
    std::vector<std::wstring> recordedPaths()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return paths;
    }

    RecordingWorkerEntry entry()
    {
        return [this](RecordingSession& session, PixelRect, std::wstring path) {
            run(session, std::move(path));
        };
    }

    static void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

    void run(RecordingSession& session, std::wstring path)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            paths.push_back(std::move(path));
        }
        ++runs;
        while (!beginRecording && !session.isStopRequested()) {
            if (std::wstring text = takeFailure(); !text.empty()) {
                session.fail(text);
                return;
            }
            pause();
        }
        session.publishState(RecordingState::Recording);
        while (!session.isStopRequested()) {
            if (std::wstring text = takeFailure(); !text.empty()) {
                session.fail(text);
                return;
            }
            if (std::wstring text = takeSavedAfterFailure(); !text.empty()) {
                session.saveAfterFailure(text);
                return;
            }
            const bool paused = session.isPauseRequested();
            if (!paused) {
                session.publishElapsed(clock);
            }
            session.publishState(paused ? RecordingState::Paused : RecordingState::Recording);
            pause();
        }
        reasonAtStop = session.readStopReason();
        sawStop = true;
        session.publishState(RecordingState::Saving);
        while (!finishSaving) {
            pause();
        }
        session.publishState(RecordingState::Saved);
    }
};

std::wstring controlText(HWND panel, int id)
{
    wchar_t text[256] = {};
    GetDlgItemTextW(panel, id, text, 256);
    return text;
}

bool enabled(HWND panel, int id)
{
    return IsWindowEnabled(GetDlgItem(panel, id)) != FALSE;
}

struct ButtonsShown {
    bool start;
    bool pause;
    bool finish;
    bool open;
    friend bool operator==(const ButtonsShown&, const ButtonsShown&) = default;
};

ButtonsShown buttonsOf(HWND panel)
{
    return {enabled(panel, 1), enabled(panel, 2), enabled(panel, 3), enabled(panel, 4)};
}

void click(HWND panel, int id)
{
    SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel, id)));
}

std::wstring videosFolder()
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_MYVIDEO, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// Waits on another thread for the message box with this caption, reads its text and presses OK,
// so the modal loop on the test thread ends.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(std::wstring caption)
        : caption_(std::move(caption)), thread_([this] { answer(); })
    {}
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    ~MessageBoxAnswerer() { finish(); }

    // Joins the helper thread; afterwards text() and owner() are final.
    void finish()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    const std::wstring& text() const { return text_; }
    HWND owner() const { return owner_; }

private:
    void answer()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            if (HWND box = FindWindowW(L"#32770", caption_.c_str())) {
                wchar_t text[256] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 256);
                text_ = text;
                owner_ = GetWindow(box, GW_OWNER);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(10);
        }
    }

    std::wstring caption_;
    std::atomic<bool> stop_{false};
    std::wstring text_;
    HWND owner_ = nullptr;
    std::thread thread_;
};

class RecordingPanelWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel = openRecordingPanelFor(Area, script.entry());
        ASSERT_NE(panel, nullptr);
    }

    void TearDown() override
    {
        // Let a held worker finish so that closing cannot wait for ever.
        script.beginRecording = true;
        script.finishSaving = true;
        closeRecordingPanel();
        EXPECT_EQ(recordingPanelWindow, nullptr);
        EXPECT_EQ(recordingBorderWindow, nullptr);
    }

    bool statusBecomes(const std::wstring& text)
    {
        return pumpUntil([&] { return controlText(panel, 10) == text; });
    }

    void startAndRecord()
    {
        click(panel, 1);
        ASSERT_TRUE(statusBecomes(L"Uruchamianie wideo i dzwieku..."));
        script.clock = 5 * Second;
        script.beginRecording = true;
        ASSERT_TRUE(statusBecomes(L"NAGRYWANIE  00:05  | Mozesz klikac i obslugiwac pulpit."));
    }

    WorkerScript script;
    HWND panel = nullptr;
};

TEST_F(RecordingPanelWindowTest, OpensReadyWithOnlyStartEnabled)
{
    EXPECT_EQ(recordingPanelWindow, panel);
    wchar_t className[64] = {};
    GetClassNameW(panel, className, 64);
    EXPECT_STREQ(className, L"KestrovaRecordingPanel");
    wchar_t title[64] = {};
    GetWindowTextW(panel, title, 64);
    EXPECT_STREQ(title, L"Kestrova - nagrywanie obszaru");

    const auto style = static_cast<DWORD>(GetWindowLongPtrW(panel, GWL_STYLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_TRUE(IsWindowVisible(panel));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(panel, GWL_EXSTYLE));
    EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_TOPMOST));

    EXPECT_EQ(controlText(panel, 10), L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.");
    EXPECT_EQ(controlText(panel, 11),
              L"640 x 480 | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)");
    EXPECT_EQ(controlText(panel, 1), L"Start");
    EXPECT_EQ(controlText(panel, 2), L"Pauza");
    EXPECT_EQ(controlText(panel, 3), L"Zakoncz i zapisz");
    EXPECT_EQ(controlText(panel, 4), L"Otworz MP4");
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, false}));

    // Refreshes while nothing has started leave everything as it is.
    pumpMessagesFor(Milliseconds{300});
    EXPECT_EQ(controlText(panel, 10), L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.");
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, false}));
    EXPECT_EQ(script.runs, 0);
}

TEST_F(RecordingPanelWindowTest, SitsNearTheBottomLeftOfTheWorkArea)
{
    const RECT area{Area.left, Area.top, Area.right, Area.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST), &monitor));
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(panel, &frame));
    EXPECT_EQ(frame.left, monitor.rcWork.left + 20);
    EXPECT_EQ(frame.top, monitor.rcWork.bottom - 174);
    EXPECT_EQ(frame.right - frame.left, 580);
    EXPECT_EQ(frame.bottom - frame.top, 150);
}

TEST_F(RecordingPanelWindowTest, StepsThroughARecordingToSaved)
{
    click(panel, 1);
    ASSERT_TRUE(statusBecomes(L"Uruchamianie wideo i dzwieku..."));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{false, false, true, false}));
    EXPECT_NE(recordingBorderWindow, nullptr);

    script.clock = 5 * Second;
    script.beginRecording = true;
    ASSERT_TRUE(statusBecomes(L"NAGRYWANIE  00:05  | Mozesz klikac i obslugiwac pulpit."));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{false, true, true, false}));
    EXPECT_EQ(controlText(panel, 2), L"Pauza");

    script.clock = 65 * Second;
    ASSERT_TRUE(statusBecomes(L"NAGRYWANIE  01:05  | Mozesz klikac i obslugiwac pulpit."));

    click(panel, 2);
    ASSERT_TRUE(statusBecomes(L"PAUZA  01:05  | Mozesz klikac i obslugiwac pulpit."));
    EXPECT_EQ(controlText(panel, 2), L"Wznow");
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{false, true, true, false}));

    // Paused time is not counted: the time shown stands still.
    script.clock = 80 * Second;
    pumpMessagesFor(Milliseconds{300});
    EXPECT_EQ(controlText(panel, 10), L"PAUZA  01:05  | Mozesz klikac i obslugiwac pulpit.");

    click(panel, 2);
    ASSERT_TRUE(statusBecomes(L"NAGRYWANIE  01:20  | Mozesz klikac i obslugiwac pulpit."));
    EXPECT_EQ(controlText(panel, 2), L"Pauza");

    click(panel, 3);
    ASSERT_TRUE(statusBecomes(L"Zapisywanie MP4 - prosze czekac..."));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{false, false, false, false}));
    EXPECT_NE(recordingBorderWindow, nullptr);

    script.finishSaving = true;
    ASSERT_TRUE(statusBecomes(L"Zapisano w Wideo\\Kestrova. Kliknij Otworz MP4."));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, true}));
    EXPECT_EQ(recordingBorderWindow, nullptr);
    EXPECT_TRUE(IsWindow(panel));
}

TEST_F(RecordingPanelWindowTest, StartMakesTheFileInVideosKestrova)
{
    click(panel, 1);
    ASSERT_TRUE(pumpUntil([&] { return script.runs == 1; }));
    const std::vector<std::wstring> paths = script.recordedPaths();
    ASSERT_EQ(paths.size(), 1u);
    const std::wstring folder = videosFolder() + L"\\Kestrova";
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(paths[0].rfind(folder + L"\\Video_", 0), 0u) << paths[0];
    EXPECT_EQ(paths[0].size(),
              folder.size() + std::wstring(L"\\Video_2026-01-01_00-00-00_000.mp4").size());
    EXPECT_EQ(paths[0].substr(paths[0].size() - 4), L".mp4");
}

TEST_F(RecordingPanelWindowTest, StartClosesTheScreenshotPreview)
{
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 48);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(bitmap, nullptr);
    const bool shown = PreviewWindow::show(bitmap, L"C:\\nothing.png", L"Zapisano");
    DeleteObject(bitmap);
    ASSERT_TRUE(shown);
    ASSERT_NE(FindWindowW(L"KestrovaPreview", nullptr), nullptr);

    click(panel, 1);
    EXPECT_EQ(FindWindowW(L"KestrovaPreview", nullptr), nullptr);
    EXPECT_TRUE(pumpUntil([&] { return script.runs == 1; }));
}

TEST_F(RecordingPanelWindowTest, StartAfterSavedRecordsIntoANewFileWithTheFrameAgain)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    script.finishSaving = true;
    click(panel, 3);
    ASSERT_TRUE(statusBecomes(L"Zapisano w Wideo\\Kestrova. Kliknij Otworz MP4."));
    EXPECT_EQ(recordingBorderWindow, nullptr);

    script.beginRecording = false;
    script.finishSaving = false;
    click(panel, 1);
    ASSERT_TRUE(statusBecomes(L"Uruchamianie wideo i dzwieku..."));
    EXPECT_NE(recordingBorderWindow, nullptr);
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{false, false, true, false}));

    const std::vector<std::wstring> paths = script.recordedPaths();
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(paths[0], paths[1]);
}

TEST_F(RecordingPanelWindowTest, FailureShowsTheErrorAndEnablesStart)
{
    click(panel, 1);
    ASSERT_TRUE(statusBecomes(L"Uruchamianie wideo i dzwieku..."));
    script.failWith(L"Brak wyjscia audio (0x80070490)");
    ASSERT_TRUE(statusBecomes(L"Brak wyjscia audio (0x80070490)"));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, false}));
    EXPECT_EQ(recordingBorderWindow, nullptr);

    // A new Start replaces the old message.
    click(panel, 1);
    ASSERT_TRUE(statusBecomes(L"Uruchamianie wideo i dzwieku..."));
    EXPECT_NE(recordingBorderWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, FailureAfterTheFirstFrameSaysSavedAndEnablesOpen)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    script.saveAfterFailureWith(L"Zapis probki MP4 (0xC00D4A44)");
    ASSERT_TRUE(statusBecomes(
        L"Zapisano do chwili bledu: Zapis probki MP4 (0xC00D4A44). Kliknij Otworz MP4."));
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, true}));
    EXPECT_EQ(recordingBorderWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, EndOfTheSessionStopsWithItsOwnReason)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    script.finishSaving = true;
    closeRecordingPanel(PanelClosing::SessionEnd);
    EXPECT_TRUE(script.sawStop);
    EXPECT_EQ(script.reasonAtStop.load(), StopReason::SessionEnd);
    EXPECT_EQ(recordingPanelWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, FailureWhilePausedPutsPauseTextBack)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    click(panel, 2);
    ASSERT_TRUE(pumpUntil([&] { return controlText(panel, 2) == L"Wznow"; }));
    script.failWith(L"Zapis klatki wideo (0x80004005)");
    ASSERT_TRUE(statusBecomes(L"Zapis klatki wideo (0x80004005)"));
    EXPECT_EQ(controlText(panel, 2), L"Pauza");
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, false}));
}

TEST_F(RecordingPanelWindowTest, OpenAndPauseDoNothingBeforeARecording)
{
    click(panel, 4);
    click(panel, 2);
    click(panel, 3);
    click(panel, 99);
    pumpMessagesFor(Milliseconds{250});
    EXPECT_EQ(script.runs, 0);
    EXPECT_EQ(controlText(panel, 10), L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.");
}

TEST_F(RecordingPanelWindowTest, ClosingWhileRecordingWaitsForTheFile)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    SendMessageW(panel, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(panel));
    ASSERT_TRUE(statusBecomes(L"Zapisywanie MP4 - prosze czekac..."));
    EXPECT_TRUE(script.sawStop);
    pumpMessagesFor(Milliseconds{250});
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_EQ(recordingPanelWindow, panel);

    script.finishSaving = true;
    ASSERT_TRUE(pumpUntil([&] { return !IsWindow(panel); }));
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, ClosingAfterAFailureClosesAtOnce)
{
    click(panel, 1);
    script.failWith(L"Brak wyjscia audio (0x80070490)");
    ASSERT_TRUE(statusBecomes(L"Brak wyjscia audio (0x80070490)"));
    SendMessageW(panel, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(recordingPanelWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, ClosingBeforeAnyStartClosesAtOnce)
{
    SendMessageW(panel, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, ShutdownStopsTheRecordingAndWaitsForTheFile)
{
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    std::thread saver([this] {
        while (!script.sawStop) {
            Sleep(2);
        }
        Sleep(50);
        script.finishSaving = true;
    });
    closeRecordingPanel();
    saver.join();
    EXPECT_TRUE(script.sawStop);
    EXPECT_EQ(script.reasonAtStop.load(), StopReason::Requested) << "the file is completed too";
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
}

TEST_F(RecordingPanelWindowTest, VideosFolderThatCannotBeMadeStartsNothing)
{
    if (videoSubfolderHoldsUserFiles()) {
        GTEST_SKIP() << "Videos\\Kestrova holds the user's files, which the test leaves alone";
    }
    std::wstring shownText;
    HWND shownOwner = nullptr;
    {
        BlockedVideoSubfolder blocked;
        ASSERT_TRUE(blocked.blocking());
        MessageBoxAnswerer answerer(L"Nagrywanie");
        click(panel, 1);
        answerer.finish();
        shownText = answerer.text();
        shownOwner = answerer.owner();
    }
    EXPECT_EQ(shownText, L"Nie mozna utworzyc folderu Wideo\\Kestrova.");
    EXPECT_EQ(shownOwner, panel);
    pumpMessagesFor(Milliseconds{250});
    EXPECT_EQ(script.runs, 0);
    EXPECT_EQ(controlText(panel, 10), L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.");
    EXPECT_EQ(buttonsOf(panel), (ButtonsShown{true, false, false, false}));
}

TEST_F(RecordingPanelWindowTest, OpenAfterAStartWithoutAFolderStillOpensTheSavedFile)
{
    if (videoSubfolderHoldsUserFiles()) {
        GTEST_SKIP() << "Videos\\Kestrova holds the user's files, which the test leaves alone";
    }
    ASSERT_TRUE(test_support::ShellExecuteRecorder::install());
    ASSERT_NO_FATAL_FAILURE(startAndRecord());
    script.finishSaving = true;
    click(panel, 3);
    ASSERT_TRUE(statusBecomes(L"Zapisano w Wideo\\Kestrova. Kliknij Otworz MP4."));
    const std::vector<std::wstring> paths = script.recordedPaths();
    ASSERT_EQ(paths.size(), 1u);

    // A Start whose folder cannot be made leaves the recording Saved and "Otworz MP4" enabled.
    {
        BlockedVideoSubfolder blocked;
        ASSERT_TRUE(blocked.blocking());
        MessageBoxAnswerer answerer(L"Nagrywanie");
        click(panel, 1);
        answerer.finish();
        EXPECT_EQ(answerer.text(), L"Nie mozna utworzyc folderu Wideo\\Kestrova.");
    }
    ASSERT_TRUE(enabled(panel, 4));
    test_support::ShellExecuteRecorder::calls().clear();
    click(panel, 4);
    const std::vector<test_support::ShellExecuteCall> calls =
        test_support::ShellExecuteRecorder::calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].window, panel);
    EXPECT_EQ(calls[0].verb, L"open");
    EXPECT_EQ(calls[0].file, paths[0]);
    EXPECT_FALSE(calls[0].withParameters);
    EXPECT_FALSE(calls[0].withDirectory);
    EXPECT_EQ(calls[0].show, SW_SHOWNORMAL);
}

TEST_F(RecordingPanelWindowTest, ASecondRecordingCommandBringsThePanelForward)
{
    openRecordingPanel();
    EXPECT_EQ(recordingPanelWindow, panel);
    EXPECT_TRUE(IsWindowVisible(panel));
    int panels = 0;
    EnumWindows(
        [](HWND window, LPARAM count) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) == L"KestrovaRecordingPanel") {
                ++*reinterpret_cast<int*>(count);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&panels));
    EXPECT_EQ(panels, 1);
    EXPECT_EQ(FindWindowW(L"SelectionOverlayClass", nullptr), nullptr);
}

// Plays the user's part on the selection overlay from another thread: once the overlay is up,
// posts it a drag (or Escape). The overlay's own loop reads posted input like real input.
class OverlayUser {
public:
    static OverlayUser drag(POINT from, POINT to) { return OverlayUser(from, to, false); }
    static OverlayUser escape() { return OverlayUser({}, {}, true); }

    OverlayUser(const OverlayUser&) = delete;
    OverlayUser& operator=(const OverlayUser&) = delete;
    ~OverlayUser() { thread_.join(); }

    bool sawOverlay() const { return sawOverlay_; }

private:
    OverlayUser(POINT from, POINT to, bool cancel)
        : thread_([this, from, to, cancel] { play(from, to, cancel); })
    {}

    void play(POINT from, POINT to, bool cancel)
    {
        HWND overlay = nullptr;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (overlay == nullptr && std::chrono::steady_clock::now() < deadline) {
            overlay = FindWindowW(L"SelectionOverlayClass", nullptr);
            Sleep(10);
        }
        if (overlay == nullptr) {
            return;
        }
        sawOverlay_ = true;
        if (cancel) {
            PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
            return;
        }
        PostMessageW(overlay, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
        PostMessageW(overlay, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
        PostMessageW(overlay, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    }

    std::atomic<bool> sawOverlay_{false};
    std::thread thread_;
};

bool overlayClassRegistered()
{
    WNDCLASSW windowClass{};
    return GetClassInfoW(GetModuleHandleW(nullptr), L"SelectionOverlayClass", &windowClass) !=
           FALSE;
}

class OpenRecordingPanelTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        closeRecordingPanel();
        EXPECT_EQ(recordingPanelWindow, nullptr);
        EXPECT_EQ(recordingBorderWindow, nullptr);
        EXPECT_FALSE(overlayClassRegistered());
    }
};

TEST_F(OpenRecordingPanelTest, DraggedAreaOpensThePanelRoundedToEvenSizes)
{
    {
        OverlayUser user = OverlayUser::drag({100, 200}, {741, 681});
        openRecordingPanel();
        EXPECT_TRUE(user.sawOverlay());
    }
    ASSERT_NE(recordingPanelWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(recordingPanelWindow));
    EXPECT_EQ(controlText(recordingPanelWindow, 11),
              L"640 x 480 | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)");
    EXPECT_EQ(buttonsOf(recordingPanelWindow), (ButtonsShown{true, false, false, false}));
    ASSERT_NE(recordingBorderWindow, nullptr);
    RECT frame{};
    ASSERT_TRUE(GetWindowRect(recordingBorderWindow, &frame));
    EXPECT_EQ(frame.left, 97);
    EXPECT_EQ(frame.top, 197);
    EXPECT_EQ(frame.right, 743);
    EXPECT_EQ(frame.bottom, 683);
    EXPECT_FALSE(overlayClassRegistered());
    EXPECT_EQ(FindWindowW(L"SelectionOverlayClass", nullptr), nullptr);
}

TEST_F(OpenRecordingPanelTest, TooSmallAreaIsRefusedWithAMessageAndNoPanel)
{
    MessageBoxAnswerer answerer(L"Nagrywanie");
    {
        OverlayUser user = OverlayUser::drag({300, 300}, {316, 315});
        openRecordingPanel();
    }
    answerer.finish();
    EXPECT_EQ(answerer.text(), L"Wybierz obszar od 16x16 do 3840x2160 pikseli.");
    EXPECT_EQ(answerer.owner(), nullptr);
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
}

TEST_F(OpenRecordingPanelTest, EscapeOpensNothing)
{
    {
        OverlayUser user = OverlayUser::escape();
        openRecordingPanel();
        EXPECT_TRUE(user.sawOverlay());
    }
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(recordingBorderWindow, nullptr);
    EXPECT_EQ(FindWindowW(L"#32770", L"Nagrywanie"), nullptr);
}

TEST_F(OpenRecordingPanelTest, OnePixelWideDragOpensNothingAndSaysNothing)
{
    {
        OverlayUser user = OverlayUser::drag({300, 300}, {301, 600});
        openRecordingPanel();
    }
    EXPECT_EQ(recordingPanelWindow, nullptr);
    EXPECT_EQ(FindWindowW(L"#32770", L"Nagrywanie"), nullptr);
}

TEST_F(OpenRecordingPanelTest, CommandWhileThePanelIsOpenOpensNoOverlay)
{
    {
        OverlayUser user = OverlayUser::drag({100, 200}, {741, 681});
        openRecordingPanel();
    }
    const HWND panel = recordingPanelWindow;
    ASSERT_NE(panel, nullptr);
    openRecordingPanel(); // returns at once: no overlay to wait for
    EXPECT_EQ(recordingPanelWindow, panel);
    EXPECT_FALSE(overlayClassRegistered());
}

} // namespace
