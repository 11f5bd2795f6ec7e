#include "app/hotkey_manager.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

int countHotkeyWindowsOfThisProcess()
{
    int count = 0;
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(HWND_MESSAGE, candidate, L"HotkeyWindowClass", nullptr)) !=
           nullptr) {
        DWORD processId = 0;
        ::GetWindowThreadProcessId(candidate, &processId);
        if (processId == ::GetCurrentProcessId()) {
            ++count;
        }
    }
    return count;
}

HotkeyManager& startedManager()
{
    HotkeyManager& manager = HotkeyManager::instance();
    EXPECT_TRUE(manager.start());
    return manager;
}

LRESULT sendCommand(HotkeyManager& manager, WPARAM command)
{
    return ::SendMessageW(manager.window(), WM_HOTKEY, command, 0);
}

} // namespace

// Runs in a process of its own under ctest; elsewhere the manager may have been started already.
TEST(HotkeyManagerLifecycle, RegisterBeforeStartIsRefused)
{
    HotkeyManager& manager = HotkeyManager::instance();
    if (manager.started()) {
        GTEST_SKIP() << "the manager was started by an earlier test in this process";
    }
    int runs = 0;
    EXPECT_FALSE(manager.registerCallback(0, [&runs] { ++runs; }));
    ASSERT_TRUE(manager.start());
    sendCommand(manager, 1001);
    EXPECT_EQ(runs, 0);
}

TEST(HotkeyManagerLifecycle, StartTwiceGivesOneMessageOnlyWindow)
{
    HotkeyManager& manager = startedManager();
    HWND window = manager.window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(manager.start());
    EXPECT_EQ(manager.window(), window);
    EXPECT_EQ(countHotkeyWindowsOfThisProcess(), 1);
    EXPECT_FALSE(::IsWindowVisible(window));
    wchar_t title[16] = {L'x'};
    EXPECT_EQ(::GetWindowTextW(window, title, 16), 0);
}

TEST(HotkeyManagerCallbacks, EmptyCallableIsRefused)
{
    HotkeyManager& manager = startedManager();
    EXPECT_FALSE(manager.registerCallback(0, HotkeyCallback{}));
    EXPECT_EQ(manager.unregisterCallback(0), 0u);
}

TEST(HotkeyManagerCallbacks, CommandRunsTheCallbackOfItsId)
{
    HotkeyManager& manager = startedManager();
    int region = 0;
    int full = 0;
    int window = 0;
    ASSERT_TRUE(manager.registerCallback(0, [&region] { ++region; }));
    ASSERT_TRUE(manager.registerCallback(1, [&full] { ++full; }));
    ASSERT_TRUE(manager.registerCallback(2, [&window] { ++window; }));
    EXPECT_EQ(sendCommand(manager, 1002), 0);
    EXPECT_EQ(sendCommand(manager, 1003), 0);
    EXPECT_EQ(sendCommand(manager, 1003), 0);
    EXPECT_EQ(region, 0);
    EXPECT_EQ(full, 1);
    EXPECT_EQ(window, 2);
    for (int id = 0; id < 3; ++id) {
        manager.unregisterCallback(id);
    }
}

TEST(HotkeyManagerCallbacks, RegisteringAgainReplacesTheCallback)
{
    HotkeyManager& manager = startedManager();
    int first = 0;
    int second = 0;
    ASSERT_TRUE(manager.registerCallback(0, [&first] { ++first; }));
    ASSERT_TRUE(manager.registerCallback(0, [&second] { ++second; }));
    sendCommand(manager, 1001);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    manager.unregisterCallback(0);
}

TEST(HotkeyManagerCallbacks, UnregisterReturnsOneThenZeroAndTheCommandIsDropped)
{
    HotkeyManager& manager = startedManager();
    int runs = 0;
    ASSERT_TRUE(manager.registerCallback(1, [&runs] { ++runs; }));
    EXPECT_EQ(manager.unregisterCallback(1), 1u);
    EXPECT_EQ(manager.unregisterCallback(1), 0u);
    EXPECT_EQ(sendCommand(manager, 1002), 0);
    EXPECT_EQ(runs, 0);
}

TEST(HotkeyManagerWindow, CommandsOutsideTheRangeAndOtherMessagesGoToDefaultProcessing)
{
    HotkeyManager& manager = startedManager();
    int stray = 0;
    // Ids that would match 1000 and 1004 if the range were not checked first.
    ASSERT_TRUE(manager.registerCallback(-1, [&stray] { ++stray; }));
    ASSERT_TRUE(manager.registerCallback(3, [&stray] { ++stray; }));
    EXPECT_EQ(sendCommand(manager, 1000), ::DefWindowProcW(manager.window(), WM_HOTKEY, 1000, 0));
    EXPECT_EQ(sendCommand(manager, 1004), ::DefWindowProcW(manager.window(), WM_HOTKEY, 1004, 0));
    ASSERT_TRUE(manager.registerCallback(0, [&stray] { ++stray; }));
    ::SendMessageW(manager.window(), WM_USER, 1001, 0);
    ::SendMessageW(manager.window(), WM_COMMAND, 1001, 0);
    EXPECT_EQ(stray, 0);
    manager.unregisterCallback(0);
    manager.unregisterCallback(-1);
    manager.unregisterCallback(3);
}

TEST(HotkeyManagerWindow, CommandArrivingWhileACallbackRunsIsDropped)
{
    HotkeyManager& manager = startedManager();
    int outer = 0;
    int inner = 0;
    bool flagSeen = false;
    ASSERT_TRUE(manager.registerCallback(1, [&inner] { ++inner; }));
    ASSERT_TRUE(manager.registerCallback(0, [&] {
        ++outer;
        flagSeen = manager.dispatching();
        // As a modal loop inside a command would deliver further presses.
        sendCommand(manager, 1002);
        sendCommand(manager, 1001);
        ::PostMessageW(manager.window(), WM_HOTKEY, 1002, 0);
        MSG message;
        while (::PeekMessageW(&message, manager.window(), 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }));
    sendCommand(manager, 1001);
    EXPECT_TRUE(flagSeen);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 0);
    EXPECT_FALSE(manager.dispatching());
    sendCommand(manager, 1002);
    EXPECT_EQ(inner, 1);
    manager.unregisterCallback(0);
    manager.unregisterCallback(1);
}

TEST(HotkeyManagerWindow, ThrowingCallbackStaysInsideTheWindowProcedure)
{
    HotkeyManager& manager = startedManager();
    int runs = 0;
    ASSERT_TRUE(manager.registerCallback(0, [] { throw std::runtime_error("command failed"); }));
    ASSERT_TRUE(manager.registerCallback(1, [&runs] { ++runs; }));
    EXPECT_EQ(sendCommand(manager, 1001), 0);
    EXPECT_FALSE(manager.dispatching());
    sendCommand(manager, 1002);
    EXPECT_EQ(runs, 1);
    manager.unregisterCallback(0);
    manager.unregisterCallback(1);
}

TEST(HotkeyManagerHook, NonPrintScreenKeysAndForeignCodesArePassedOn)
{
    startedManager();
    KBDLLHOOKSTRUCT key{};
    key.vkCode = 'A';
    // Nothing is held and no key press is ours: the hook must hand every one of these on
    // (CallNextHookEx answers 0 when no later hook exists).
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 0);
    // Escape belongs to the focused window while no selection overlay is open.
    key.vkCode = VK_ESCAPE;
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 0);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&key)), 0);
    key.vkCode = VK_SNAPSHOT;
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&key)), 0);
    EXPECT_EQ(KeyboardHookProc(-1, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 0);
}

TEST(HotkeyManagerHook, PrintScreenPressIsSwallowedAndPostsItsCommand)
{
    HotkeyManager& manager = startedManager();
    int runs = 0;
    ASSERT_TRUE(manager.registerCallback(0, [&runs] { ++runs; }));
    KBDLLHOOKSTRUCT key{};
    key.vkCode = VK_SNAPSHOT;
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 1);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 1);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&key)), 1);

    MSG message;
    int posted = 0;
    while (::PeekMessageW(&message, manager.window(), WM_HOTKEY, WM_HOTKEY, PM_REMOVE)) {
        EXPECT_EQ(message.wParam, 1001u);
        EXPECT_EQ(message.lParam, 0);
        ++posted;
        ::DispatchMessageW(&message);
    }
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(runs, 1);

    // With the callback gone the whole press is passed on.
    manager.unregisterCallback(0);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&key)), 0);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&key)), 0);
    EXPECT_FALSE(::PeekMessageW(&message, manager.window(), WM_HOTKEY, WM_HOTKEY, PM_REMOVE));
}

TEST(HotkeyManagerHook, AltFlagTurnsPrintScreenIntoTheWindowCommand)
{
    HotkeyManager& manager = startedManager();
    ASSERT_TRUE(manager.registerCallback(2, [] {}));
    KBDLLHOOKSTRUCT key{};
    key.vkCode = VK_SNAPSHOT;
    key.flags = LLKHF_ALTDOWN;
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_SYSKEYDOWN, reinterpret_cast<LPARAM>(&key)), 1);
    EXPECT_EQ(KeyboardHookProc(HC_ACTION, WM_SYSKEYUP, reinterpret_cast<LPARAM>(&key)), 1);
    MSG message;
    ASSERT_TRUE(::PeekMessageW(&message, manager.window(), WM_HOTKEY, WM_HOTKEY, PM_REMOVE));
    EXPECT_EQ(message.wParam, 1003u);
    manager.unregisterCallback(2);
}
