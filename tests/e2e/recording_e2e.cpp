#include "support/e2e_driver.h"
#include "support/runs_under_wine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace test_support::e2e;

namespace {

constexpr unsigned RecordCommand = 1006;
constexpr wchar_t OverlayClass[] = L"SelectionOverlayClass";
constexpr wchar_t PanelClass[] = L"KestrovaRecordingPanel";
constexpr wchar_t BorderClass[] = L"KestrovaRecordingBorder";
constexpr wchar_t DialogClass[] = L"#32770";
constexpr wchar_t ReadyText[] = L"Gotowe. Uruchom odtwarzacz na pulpicie i nacisnij Start.";

constexpr int StatusLine = 10;
constexpr int StartButton = 1;
constexpr int PauseButton = 2;
constexpr int FinishButton = 3;
constexpr int OpenButton = 4;
constexpr int InfoLine = 11;

std::wstring controlText(HWND panel, int id)
{
    wchar_t text[256] = {};
    ::GetDlgItemTextW(panel, id, text, 256);
    return text;
}

bool controlEnabled(HWND panel, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(panel, id)) != FALSE;
}

int countWindows(const wchar_t* className, DWORD processId)
{
    struct Search {
        const wchar_t* className;
        DWORD processId;
        int count;
    } search{className, processId, 0};
    ::EnumWindows(
        [](HWND window, LPARAM state) -> BOOL {
            auto* found = reinterpret_cast<Search*>(state);
            if (windowClassName(window) == found->className &&
                windowProcessId(window) == found->processId) {
                ++found->count;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

class RecordingE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        videosBefore = listFiles(videoSubfolder(), L"*.mp4");
        program = OrlimoProcess::start();
        ASSERT_TRUE(program.started());
        ASSERT_NE(program.waitForMainWindow(), nullptr);
    }

    void TearDown() override
    {
        if (HWND box = findWindowByClassAndTitle(DialogClass, L"Nagrywanie", program.id())) {
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        if (findWindowByClass(OverlayClass, program.id()) != nullptr) {
            pressKey(VK_ESCAPE);
        }
        program.kill();
        // On Windows a recording that was started is real: its file goes, the user's stay.
        for (const std::wstring& name : listFiles(videoSubfolder(), L"*.mp4")) {
            if (std::find(videosBefore.begin(), videosBefore.end(), name) == videosBefore.end()) {
                ::DeleteFileW((videoSubfolder() + L'\\' + name).c_str());
            }
        }
    }

    static std::wstring videoSubfolder() { return videosFolder() + L"\\Kestrova"; }

    // The recording command, waiting for the overlay to be up and active.
    HWND openOverlay()
    {
        if (!postCommand(RecordCommand)) {
            return nullptr;
        }
        HWND overlay = waitForWindow(OverlayClass, program.id());
        if (overlay != nullptr) {
            pumpUntil([&] { return ::GetForegroundWindow() == overlay; });
            pumpMessagesFor(Milliseconds{300});
        }
        return overlay;
    }

    // Drags the area on a fresh overlay and waits for the panel.
    HWND openPanelOver(POINT from, POINT to)
    {
        if (openOverlay() == nullptr || !mouseDrag(from, to)) {
            return nullptr;
        }
        HWND panel = waitForWindow(PanelClass, program.id());
        // The window is found while it is still being made; it is shown once complete.
        if (panel == nullptr || !pumpUntil([&] { return ::IsWindowVisible(panel) != FALSE; })) {
            return nullptr;
        }
        return panel;
    }

    void expectFailedRecording(HWND panel)
    {
        // Wine has no MP4 sink and no loopback capture: the recording always fails, at the sound
        // stage. Without an audio server there is no output device at all.
        const bool withAudioServer = std::getenv("PULSE_SERVER") != nullptr;
        ASSERT_TRUE(
            pumpUntil([&] { return controlEnabled(panel, StartButton); }, Milliseconds{20000}));
        const std::wstring status = controlText(panel, StatusLine);
        if (!withAudioServer) {
            EXPECT_EQ(status, L"Brak wyjscia audio (0x80070490)");
        }
        EXPECT_EQ(status.size() > 12 ? status.substr(status.size() - 12, 3) : L"", L"(0x")
            << status;
        EXPECT_NE(status, ReadyText);
        EXPECT_FALSE(controlEnabled(panel, PauseButton));
        EXPECT_FALSE(controlEnabled(panel, FinishButton));
        EXPECT_FALSE(controlEnabled(panel, OpenButton));
        EXPECT_TRUE(waitForNoWindow(BorderClass, program.id()));
    }

    // Clicks Start as the user would and waits until the recording has ended in failure.
    void startAndWaitForFailure(HWND panel)
    {
        RECT start{};
        ASSERT_TRUE(::GetWindowRect(::GetDlgItem(panel, StartButton), &start));
        ASSERT_TRUE(mouseClickAt((start.left + start.right) / 2, (start.top + start.bottom) / 2));
        ASSERT_TRUE(pumpUntil([&] { return controlText(panel, StatusLine) != ReadyText; },
                              Milliseconds{10000}, Milliseconds{5}));
        ASSERT_TRUE(
            pumpUntil([&] { return controlEnabled(panel, StartButton); }, Milliseconds{20000}));
    }

    OrlimoProcess program;
    std::vector<std::wstring> videosBefore;
};

// An edition without Media Foundation (the N editions). Wine takes the DLL overrides of a
// program from the environment it was started in, so the ctest entry that runs this test starts
// the whole test with mfplat and mfreadwrite switched off; anywhere else it is skipped.
class WithoutMediaFoundationE2e : public RecordingE2e {
protected:
    void SetUp() override
    {
        const char* overrides = std::getenv("WINEDLLOVERRIDES");
        if (overrides == nullptr ||
            std::string(overrides).find("mfplat,mfreadwrite=d") == std::string::npos) {
            GTEST_SKIP()
                << "needs WINEDLLOVERRIDES with mfplat,mfreadwrite=d (its own ctest entry)";
        }
        RecordingE2e::SetUp();
    }
    void TearDown() override
    {
        if (program.started()) {
            RecordingE2e::TearDown();
        }
    }
};

TEST_F(RecordingE2e, RecordCommandOpensTheOverlayAndEscapeCancels)
{
    ASSERT_NE(openOverlay(), nullptr);
    ASSERT_TRUE(pressKey(VK_ESCAPE));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
    pumpMessagesFor(Milliseconds{300});
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClassAndTitle(DialogClass, L"Nagrywanie", program.id()), nullptr);
    EXPECT_TRUE(program.running());
}

TEST_F(RecordingE2e, SecondCommandWhileSelectingOpensNoSecondOverlay)
{
    ASSERT_NE(openOverlay(), nullptr);
    ASSERT_TRUE(postCommand(RecordCommand));
    pumpMessagesFor(Milliseconds{400});
    EXPECT_EQ(countWindows(OverlayClass, program.id()), 1);
    ASSERT_TRUE(pressKey(VK_ESCAPE));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
    // The command that came during the selection is not replayed afterwards.
    pumpMessagesFor(Milliseconds{500});
    EXPECT_EQ(findWindowByClass(OverlayClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);
}

TEST_F(RecordingE2e, ScreenshotsDuringTheSelectionAreDropped)
{
    const std::wstring folder = screenshotsFolder();
    const std::size_t pngsBefore = listFiles(folder, L"*.png").size();
    HWND overlay = openOverlay();
    ASSERT_NE(overlay, nullptr);

    // By the keys, and by the tray menu's "Caly ekran" entry.
    ASSERT_TRUE(pressChord({VK_CONTROL, VK_SNAPSHOT}));
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    HWND tray = findWindowByClass(L"TrayIconClass", program.id());
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(::PostMessageW(tray, WM_USER + 1, 1001, WM_RBUTTONUP));
    ASSERT_NE(waitForWindow(L"#32768", program.id()), nullptr);
    pumpMessagesFor(Milliseconds{200});
    for (const WORD key : {WORD{VK_DOWN}, WORD{VK_DOWN}, WORD{VK_RETURN}}) {
        ASSERT_TRUE(pressKey(key));
        pumpMessagesFor(Milliseconds{50});
    }
    pumpMessagesFor(Milliseconds{1500});
    EXPECT_EQ(countWindows(OverlayClass, program.id()), 1);
    EXPECT_EQ(listFiles(folder, L"*.png").size(), pngsBefore);
    EXPECT_EQ(findWindowByClass(L"KestrovaPreview", program.id()), nullptr);

    ::PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));
    pumpMessagesFor(Milliseconds{700});
    EXPECT_EQ(findWindowByClass(OverlayClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);
    EXPECT_EQ(listFiles(folder, L"*.png").size(), pngsBefore);
}

TEST_F(RecordingE2e, DragOpensThePanelWithItsFrame)
{
    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(windowText(panel), L"Kestrova - nagrywanie obszaru");
    EXPECT_EQ(controlText(panel, InfoLine),
              L"640 x 480 | 30 kl./s | dzwiek systemowy | MP4 (H.264 + AAC)");
    EXPECT_EQ(controlText(panel, StatusLine), ReadyText);
    EXPECT_TRUE(controlEnabled(panel, StartButton));
    EXPECT_FALSE(controlEnabled(panel, PauseButton));
    EXPECT_FALSE(controlEnabled(panel, FinishButton));
    EXPECT_FALSE(controlEnabled(panel, OpenButton));
    EXPECT_TRUE(waitForNoWindow(OverlayClass, program.id()));

    HWND border = waitForWindow(BorderClass, program.id());
    ASSERT_NE(border, nullptr);
    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(border, &frame));
    EXPECT_EQ(frame.left, 197);
    EXPECT_EQ(frame.top, 297);
    EXPECT_EQ(frame.right - frame.left, 646);
    EXPECT_EQ(frame.bottom - frame.top, 486);
    EXPECT_EQ(countWindows(BorderClass, program.id()), 1);

    RECT panelFrame{};
    ASSERT_TRUE(::GetWindowRect(panel, &panelFrame));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(border, MONITOR_DEFAULTTONEAREST), &monitor));
    EXPECT_EQ(panelFrame.left, monitor.rcWork.left + 20);
    EXPECT_EQ(panelFrame.top, monitor.rcWork.bottom - 174);
}

TEST_F(RecordingE2e, SecondCommandBringsTheSamePanelForward)
{
    HWND panel = openPanelOver({100, 100}, {420, 341});
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(controlText(panel, InfoLine).substr(0, 10), L"320 x 240 ");

    ASSERT_TRUE(postCommand(RecordCommand));
    pumpMessagesFor(Milliseconds{500});
    EXPECT_EQ(findWindowByClass(OverlayClass, program.id()), nullptr);
    EXPECT_EQ(countWindows(PanelClass, program.id()), 1);
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), panel);
    EXPECT_TRUE(::IsWindowVisible(panel));
}

TEST_F(RecordingE2e, TooSmallAreaIsRefusedWithAMessage)
{
    ASSERT_NE(openOverlay(), nullptr);
    ASSERT_TRUE(mouseDrag({300, 300}, {316, 315}));
    // The box exists a moment before its caption and text are filled in.
    HWND box = nullptr;
    std::wstring text;
    pumpUntil([&] {
        box = findWindowByClassAndTitle(DialogClass, L"Nagrywanie", program.id());
        text = box != nullptr ? controlText(box, 0xFFFF) : std::wstring();
        return !text.empty();
    });
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(text, L"Wybierz obszar od 16x16 do 3840x2160 pikseli.");
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);

    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(waitForNoWindow(DialogClass, program.id()));
    pumpMessagesFor(Milliseconds{300});
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(BorderClass, program.id()), nullptr);
}

TEST_F(RecordingE2e, StartFailsAtTheSoundStageUnderThisDesktop)
{
    if (!test_support::runsUnderWine()) {
        GTEST_SKIP() << "relies on Wine having no MP4 sink and no loopback capture";
    }
    const std::wstring subfolder = videosFolder() + L"\\Kestrova";
    ::RemoveDirectoryW(subfolder.c_str());
    ASSERT_FALSE(directoryExists(subfolder));
    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);

    RECT start{};
    ASSERT_TRUE(::GetWindowRect(::GetDlgItem(panel, StartButton), &start));
    ASSERT_TRUE(mouseClickAt((start.left + start.right) / 2, (start.top + start.bottom) / 2));
    // "Uruchamianie..." may pass within one refresh; any sign of the start will do.
    EXPECT_TRUE(pumpUntil(
        [&] {
            return controlText(panel, StatusLine) == L"Uruchamianie wideo i dzwieku..." ||
                   !controlEnabled(panel, StartButton) ||
                   controlText(panel, StatusLine) != ReadyText;
        },
        Milliseconds{10000}, Milliseconds{5}));
    EXPECT_TRUE(directoryExists(subfolder));

    ASSERT_NO_FATAL_FAILURE(expectFailedRecording(panel));
    EXPECT_TRUE(::IsWindow(panel));

    // After a failure the panel closes at once.
    ::PostMessageW(panel, WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitForNoWindow(PanelClass, program.id()));
    EXPECT_TRUE(program.running());
}

TEST_F(RecordingE2e, ExitWithThePanelOpenEndsCleanly)
{
    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);
    HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr);
    ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    const std::optional<DWORD> exitCode = program.waitForExit(Milliseconds{10000});
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0u);
}

TEST_F(RecordingE2e, ExitRightAfterStartEndsCleanly)
{
    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(StartButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(panel, StartButton)));
    HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr);
    ::PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    const std::optional<DWORD> exitCode = program.waitForExit(Milliseconds{20000});
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0u);
}

TEST_F(RecordingE2e, EndOfTheSessionClosesThePanelAndItsFrameBeforeItsAnswer)
{
    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(waitForWindow(BorderClass, program.id()), nullptr);
    HWND mainWindow = program.waitForMainWindow();
    ASSERT_NE(mainWindow, nullptr);

    DWORD_PTR answer = 0;
    ASSERT_NE(::SendMessageTimeoutW(mainWindow, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                    SMTO_ABORTIFHUNG, 5000, &answer),
              0);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    ASSERT_NE(::SendMessageTimeoutW(mainWindow, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                    SMTO_ABORTIFHUNG, 20000, &answer),
              0);
    // Windows may end the process as soon as the answer is in, without WM_DESTROY: by then the
    // panel, its frame and the tray icon's window must be gone.
    EXPECT_EQ(findWindowByClass(PanelClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(BorderClass, program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(L"TrayIconClass", program.id()), nullptr);
}

TEST_F(WithoutMediaFoundationE2e, StartsSavesScreenshotsAndFailsTheRecordingAtMediaFoundation)
{
    EXPECT_TRUE(program.running());
    const std::size_t before = listFiles(screenshotsFolder(), L"Screenshot_*.png").size();
    ASSERT_TRUE(postCommand(1002));
    EXPECT_TRUE(pumpUntil(
        [&] { return listFiles(screenshotsFolder(), L"Screenshot_*.png").size() == before + 1; },
        Milliseconds{10000}));
    EXPECT_NE(waitForWindow(L"KestrovaPreview", program.id()), nullptr);

    HWND panel = openPanelOver({200, 300}, {841, 781});
    ASSERT_NE(panel, nullptr);
    ASSERT_NO_FATAL_FAILURE(startAndWaitForFailure(panel));
    EXPECT_EQ(controlText(panel, StatusLine), L"Media Foundation (0x8007007E)");
    EXPECT_FALSE(controlEnabled(panel, OpenButton));
    EXPECT_TRUE(waitForNoWindow(BorderClass, program.id()));
    EXPECT_TRUE(program.running());
}

} // namespace
