#include "support/e2e_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support::e2e;

namespace {

constexpr UINT TrayCallbackMessage = WM_USER + 1;
constexpr wchar_t MenuClass[] = L"#32768";
constexpr wchar_t DialogClass[] = L"#32770";
constexpr int MessageBoxTextId = 0xFFFF;

std::wstring dialogText(HWND dialog)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, MessageBoxTextId, text, 512);
    return text;
}

// The visible popup menu, if one is open.
HWND findOpenMenu()
{
    HWND menu = nullptr;
    while ((menu = ::FindWindowExW(nullptr, menu, MenuClass, nullptr)) != nullptr) {
        if (::IsWindowVisible(menu)) {
            return menu;
        }
    }
    return nullptr;
}

std::vector<HWND> topLevelWindows()
{
    std::vector<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// A visible top-level window of another process whose title mentions the text.
HWND findForeignWindowTitled(const std::wstring& part)
{
    for (HWND window : topLevelWindows()) {
        if (windowProcessId(window) != ::GetCurrentProcessId() && ::IsWindowVisible(window) &&
            windowText(window).find(part) != std::wstring::npos) {
            return window;
        }
    }
    return nullptr;
}

int countWindowsOf(const wchar_t* className, DWORD processId)
{
    int count = 0;
    for (HWND window : topLevelWindows()) {
        count +=
            windowClassName(window) == className && windowProcessId(window) == processId ? 1 : 0;
    }
    return count;
}

class ShellE2e : public ::testing::Test {
protected:
    // Starts the program and waits until all three of its windows exist.
    void startProgram(const std::wstring& arguments = L"")
    {
        program = OrlimoProcess::start(arguments);
        ASSERT_TRUE(program.started())
            << "cannot start Orlimo.exe next to the test, error " << ::GetLastError();
        mainWindow = program.waitForMainWindow();
        ASSERT_NE(mainWindow, nullptr) << "no OrlimoClass window";
        trayWindow = waitForWindow(L"TrayIconClass", program.id());
        ASSERT_NE(trayWindow, nullptr) << "no TrayIconClass window";
        hotkeyWindow = waitForMessageWindow(L"HotkeyWindowClass", program.id());
        ASSERT_NE(hotkeyWindow, nullptr) << "no HotkeyWindowClass message-only window";
    }

    // Right-clicks the tray icon as the shell reports it, and waits for the menu.
    HWND openTrayMenu()
    {
        if (!::PostMessageW(trayWindow, TrayCallbackMessage, 1001, WM_RBUTTONUP)) {
            return nullptr;
        }
        HWND menu = nullptr;
        pumpUntil([&] { return (menu = findOpenMenu()) != nullptr; });
        return menu;
    }

    bool programWindowsGone()
    {
        return findWindowByClass(L"OrlimoClass", program.id()) == nullptr &&
               findWindowByClass(L"TrayIconClass", program.id()) == nullptr &&
               findMessageWindowByClass(L"HotkeyWindowClass", program.id()) == nullptr;
    }

    OrlimoProcess program;
    HWND mainWindow = nullptr;
    HWND trayWindow = nullptr;
    HWND hotkeyWindow = nullptr;
};

} // namespace

TEST_F(ShellE2e, StartsWithHiddenMainTrayAndHotkeyWindows)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    EXPECT_FALSE(::IsWindowVisible(mainWindow));
    EXPECT_EQ(windowText(mainWindow), L"Orlimo");
    EXPECT_FALSE(::IsWindowVisible(trayWindow));
    EXPECT_EQ(windowText(trayWindow), L"Orlimo Tray");
    // Message-only: its parent is the message-window root, not the desktop.
    EXPECT_NE(::GetAncestor(hotkeyWindow, GA_PARENT), ::GetDesktopWindow());
    EXPECT_FALSE(::IsWindowVisible(hotkeyWindow));
    EXPECT_TRUE(program.running());
}

TEST_F(ShellE2e, PreparesTheScreenshotsFolderInsidePictures)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const std::wstring folder = screenshotsFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder, picturesFolder() + L"\\Screenshots");
    EXPECT_TRUE(directoryExists(folder));
}

TEST_F(ShellE2e, SecondCopyShowsTheMessageAndExitsWithOne)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    OrlimoProcess second = OrlimoProcess::start();
    ASSERT_TRUE(second.started());

    HWND dialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        return (dialog = findWindowByClassAndTitle(DialogClass, L"Orlimo", second.id())) != nullptr;
    }));
    EXPECT_EQ(dialogText(dialog), L"Orlimo jest juz uruchomiony. Uzyj ikony w zasobniku.");
    // MB_OK: a single button.
    EXPECT_NE(::GetDlgItem(dialog, IDOK), nullptr);
    EXPECT_EQ(::GetDlgItem(dialog, IDCANCEL), nullptr);
    // The copy made none of its own windows.
    EXPECT_EQ(findWindowByClass(L"OrlimoClass", second.id()), nullptr);
    EXPECT_EQ(findWindowByClass(L"TrayIconClass", second.id()), nullptr);

    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.waitForExit(), std::optional<DWORD>(1));
    EXPECT_TRUE(program.running());
    EXPECT_EQ(findWindowByClass(L"OrlimoClass", program.id()), mainWindow);
}

TEST_F(ShellE2e, CloseToTheMainWindowEndsWithZeroAndRemovesTheWindows)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(::PostMessageW(mainWindow, WM_CLOSE, 0, 0));
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
    EXPECT_TRUE(programWindowsGone());
}

TEST_F(ShellE2e, CommandLineIsIgnored)
{
    ASSERT_NO_FATAL_FAILURE(startProgram(L"/quit --exit -h \"C:\\nie istnieje\""));
    EXPECT_TRUE(program.running());
    ASSERT_TRUE(::PostMessageW(mainWindow, WM_CLOSE, 0, 0));
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
}

TEST_F(ShellE2e, CommandsWithoutAnOperationLeaveTheProgramRunning)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    for (unsigned command : {1004u, 1005u, 1000u, 1007u}) {
        ASSERT_TRUE(postCommand(command));
    }
    pumpMessagesFor(Milliseconds{500});
    EXPECT_TRUE(program.running());
    EXPECT_EQ(findOpenMenu(), nullptr);
}

TEST_F(ShellE2e, UnusablePicturesFolderShowsTheMessageAndExitsWithOneWithoutWindows)
{
    // A drive letter that does not exist in the prefix, so nothing can be created there.
    ScopedShellFolderOverride pictures(L"My Pictures", L"Q:\\Nie\\Ma\\Obrazow");
    ASSERT_TRUE(pictures.applied());
    program = OrlimoProcess::start();
    ASSERT_TRUE(program.started());

    HWND dialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        return (dialog = findWindowByClassAndTitle(DialogClass, L"Orlimo", program.id())) !=
               nullptr;
    }));
    EXPECT_EQ(dialogText(dialog), L"Nie mozna utworzyc folderu Obrazy\\Screenshots.");
    EXPECT_TRUE(programWindowsGone());

    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(1));
    EXPECT_TRUE(programWindowsGone());
}

TEST_F(ShellE2e, TrayMenuOpensOnRightButtonUpOnly)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    for (LPARAM mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_RBUTTONDOWN}) {
        ::PostMessageW(trayWindow, TrayCallbackMessage, 1001, mouse);
    }
    pumpMessagesFor(Milliseconds{500});
    EXPECT_EQ(findOpenMenu(), nullptr);

    HWND menu = openTrayMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(windowProcessId(menu), program.id());
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(pumpUntil([] { return findOpenMenu() == nullptr; }));
}

TEST_F(ShellE2e, EscapeDismissesTheTrayMenuAndRunsNothing)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const std::size_t windowsBefore = topLevelWindows().size();
    ASSERT_NE(openTrayMenu(), nullptr);
    ASSERT_TRUE(pressKey(VK_ESCAPE));
    ASSERT_TRUE(pumpUntil([] { return findOpenMenu() == nullptr; }));
    pumpMessagesFor(Milliseconds{700});
    EXPECT_TRUE(program.running());
    EXPECT_EQ(findWindowByClass(L"SelectionOverlayClass", program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(L"KestrovaRecordingPanel", program.id()), nullptr);
    EXPECT_EQ(findForeignWindowTitled(L"Screenshots"), nullptr);
    EXPECT_LE(topLevelWindows().size(), windowsBefore);
}

TEST_F(ShellE2e, ChoosingExitFromTheTrayMenuEndsWithZero)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_NE(openTrayMenu(), nullptr);
    // From no selection, Up lands on the last entry, "Zakoncz".
    ASSERT_TRUE(pressKey(VK_UP));
    pumpMessagesFor(Milliseconds{100});
    ASSERT_TRUE(pressKey(VK_RETURN));
    EXPECT_EQ(program.waitForExit(), std::optional<DWORD>(0));
    EXPECT_TRUE(programWindowsGone());
}

TEST_F(ShellE2e, ChoosingTheRegionEntryRunsTheRegionCommand)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    HWND menu = openTrayMenu();
    ASSERT_NE(menu, nullptr);
    // Wine keeps menus per process, so the entries cannot be read from here; the in-process
    // test checks them. The first entry is "Zaznacz obszar (PrintScreen)".
    ASSERT_TRUE(pressKey(VK_DOWN));
    pumpMessagesFor(Milliseconds{50});
    ASSERT_TRUE(pressKey(VK_RETURN));
    HWND overlay = waitForWindow(L"SelectionOverlayClass", program.id());
    ASSERT_NE(overlay, nullptr);
    ::PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(waitForNoWindow(L"SelectionOverlayClass", program.id()));
    EXPECT_TRUE(program.running());
}

TEST_F(ShellE2e, ChoosingOpenFolderShowsTheScreenshotsFolder)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_EQ(findForeignWindowTitled(L"Screenshots"), nullptr);
    ASSERT_NE(openTrayMenu(), nullptr);
    // The fourth entry, "Otworz folder zrzutow".
    for (int step = 0; step < 4; ++step) {
        ASSERT_TRUE(pressKey(VK_DOWN));
        pumpMessagesFor(Milliseconds{50});
    }
    ASSERT_TRUE(pressKey(VK_RETURN));
    HWND folderWindow = nullptr;
    EXPECT_TRUE(pumpUntil(
        [&] { return (folderWindow = findForeignWindowTitled(L"Screenshots")) != nullptr; },
        Milliseconds{15000}));
    if (folderWindow != nullptr) {
        ::PostMessageW(folderWindow, WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(program.running());
}

TEST_F(ShellE2e, PrintScreenIsWithheldFromTheFocusedWindow)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    KeyRecorderWindow recorder;
    ASSERT_TRUE(recorder.hasFocus());
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    // The press became the region command: its selection overlay comes up.
    HWND overlay = waitForWindow(L"SelectionOverlayClass", program.id());
    EXPECT_NE(overlay, nullptr);
    pumpMessagesFor(Milliseconds{300});
    EXPECT_FALSE(recorder.received(VK_SNAPSHOT));
    if (overlay != nullptr) {
        ::PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(waitForNoWindow(L"SelectionOverlayClass", program.id()));
    }
}

TEST_F(ShellE2e, ShiftPrintScreenReachesTheFocusedWindow)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    KeyRecorderWindow recorder;
    ASSERT_TRUE(recorder.hasFocus());
    ASSERT_TRUE(pressChord({VK_SHIFT, VK_SNAPSHOT}));
    EXPECT_TRUE(pumpUntil([&] { return recorder.receivedMessage(WM_KEYUP, VK_SNAPSHOT); },
                          Milliseconds{2000}));
    EXPECT_TRUE(recorder.received(VK_SNAPSHOT));
    EXPECT_EQ(findWindowByClass(L"SelectionOverlayClass", program.id()), nullptr);
}

TEST_F(ShellE2e, WindowsKeyPrintScreenReachesTheFocusedWindow)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    KeyRecorderWindow recorder;
    ASSERT_TRUE(recorder.hasFocus());
    for (WORD windowsKey : {static_cast<WORD>(VK_LWIN), static_cast<WORD>(VK_RWIN)}) {
        recorder.clear();
        ASSERT_TRUE(pressChord({windowsKey, VK_SNAPSHOT}));
        EXPECT_TRUE(pumpUntil([&] { return recorder.receivedMessage(WM_KEYUP, VK_SNAPSHOT); },
                              Milliseconds{2000}))
            << windowsKey;
    }
}

TEST_F(ShellE2e, CommandsDuringTheTraySelectionAreDropped)
{
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const std::wstring folder = screenshotsFolder();
    const std::size_t pngsBefore = listFiles(folder, L"*.png").size();
    ASSERT_NE(openTrayMenu(), nullptr);
    ASSERT_TRUE(pressKey(VK_DOWN));
    pumpMessagesFor(Milliseconds{50});
    ASSERT_TRUE(pressKey(VK_RETURN));
    HWND overlay = waitForWindow(L"SelectionOverlayClass", program.id());
    ASSERT_NE(overlay, nullptr);
    pumpMessagesFor(Milliseconds{300});

    // By the keys, through the hook, and by command messages to the main window.
    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    ASSERT_TRUE(pressChord({VK_CONTROL, VK_SNAPSHOT}));
    for (unsigned command : {1001u, 1002u, 1003u, 1006u}) {
        ASSERT_TRUE(postCommand(command));
    }
    pumpMessagesFor(Milliseconds{1500});
    EXPECT_EQ(countWindowsOf(L"SelectionOverlayClass", program.id()), 1);
    EXPECT_EQ(listFiles(folder, L"*.png").size(), pngsBefore);
    EXPECT_EQ(findWindowByClass(L"KestrovaPreview", program.id()), nullptr);

    ::PostMessageW(overlay, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(waitForNoWindow(L"SelectionOverlayClass", program.id()));
    // Dropped, not put off until the selection ends.
    pumpMessagesFor(Milliseconds{700});
    EXPECT_EQ(findWindowByClass(L"SelectionOverlayClass", program.id()), nullptr);
    EXPECT_EQ(findWindowByClass(L"KestrovaRecordingPanel", program.id()), nullptr);
    EXPECT_EQ(listFiles(folder, L"*.png").size(), pngsBefore);
}
