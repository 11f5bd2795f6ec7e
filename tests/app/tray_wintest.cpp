#include "app/tray_icon.h"
#include "app/tray_menu.h"
#include "common/unique_handle.h"
#include "resources/resource_ids.h"
#include "support/import_patch.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct MenuItem {
    UINT type = 0;
    UINT id = 0;
    std::wstring text;
};

std::vector<MenuItem> readMenu(HMENU menu)
{
    std::vector<MenuItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 128;
        EXPECT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) << position;
        items.push_back(MenuItem{info.fType, info.wID, text});
    }
    return items;
}

// Whether the shell still knows an icon of this window (a modify of its tooltip succeeds).
bool shellKnowsIcon(HWND trayWindow)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = trayWindow;
    data.uID = 1001;
    data.uFlags = NIF_TIP;
    wcscpy_s(data.szTip, L"Orlimo");
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// Stands in for Shell_NotifyIconW: keeps a copy of every record handed to the shell, and can
// refuse NIM_ADD as the shell does before the taskbar exists.
struct ShellNotifyRecorder {
    using Fn = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
    static inline Fn real = nullptr;
    static inline std::vector<std::pair<DWORD, NOTIFYICONDATAW>> calls;
    static inline bool refuseAdd = false;

    // For the rest of the run.
    static bool install()
    {
        static const test_support::ImportPatch<Fn> patch("shell32.dll", "Shell_NotifyIconW",
                                                         &notify, &real);
        return patch.installed();
    }
    static BOOL WINAPI notify(DWORD message, PNOTIFYICONDATAW data)
    {
        calls.emplace_back(message, *data);
        if (refuseAdd && message == NIM_ADD) {
            return FALSE;
        }
        return real(message, data);
    }
    static std::vector<NOTIFYICONDATAW> recordsOf(DWORD message)
    {
        std::vector<NOTIFYICONDATAW> records;
        for (const auto& [made, data] : calls) {
            if (made == message) {
                records.push_back(data);
            }
        }
        return records;
    }
};

void expectFullAddRecord(const NOTIFYICONDATAW& data, HWND trayWindow)
{
    EXPECT_EQ(data.cbSize, 976u);
    EXPECT_EQ(data.hWnd, trayWindow);
    EXPECT_EQ(data.uID, 1001u);
    EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(data.uCallbackMessage, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(data.hIcon, ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP)));
    EXPECT_STREQ(data.szTip, L"Orlimo");
}

bool trayClassRegistered()
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), L"TrayIconClass", &info) != FALSE;
}

// Stands in for the main window and records what the tray posts to it.
class FakeMainWindow {
public:
    FakeMainWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = RecordWndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrlimoClass";
        ::RegisterClassW(&windowClass);
        window_.reset(::CreateWindowExW(0, L"OrlimoClass", L"Orlimo", WS_OVERLAPPEDWINDOW, 0, 0, 0,
                                        0, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    }

    HWND get() const { return window_.get(); }

    // Delivers what was posted and returns the messages that arrived.
    static std::vector<MSG> drain(HWND window)
    {
        std::vector<MSG> seen;
        MSG message;
        while (::PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
            if (message.message == WM_HOTKEY || message.message == WM_CLOSE) {
                seen.push_back(message);
            }
        }
        return seen;
    }

private:
    static LRESULT CALLBACK RecordWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_CLOSE) {
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    UniqueWindow window_;
};

// Ends the open popup menu from inside its modal loop.
void CALLBACK EndMenuTimerProc(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    ::EndMenu();
}

// Chooses the last entry ("Zakoncz") with the keyboard from inside the modal loop.
void CALLBACK ChooseLastTimerProc(HWND, UINT, UINT_PTR timer, DWORD)
{
    ::KillTimer(nullptr, timer);
    HWND popup = ::FindWindowW(L"#32768", nullptr);
    if (popup == nullptr) {
        ::EndMenu();
        return;
    }
    ::PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
    ::PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
}

} // namespace

TEST(TrayMenu, HasSixEntriesInOrderWithExactIdsKindsAndTexts)
{
    UniqueMenu menu(buildTrayMenu());
    ASSERT_TRUE(menu);
    const std::vector<MenuItem> items = readMenu(menu.get());
    ASSERT_EQ(items.size(), 6u);
    const MenuItem expected[] = {
        {MFT_STRING, 1001, L"Zaznacz obszar (PrintScreen)"},
        {MFT_STRING, 1002, L"Caly ekran (Ctrl+PrintScreen)"},
        {MFT_STRING, 1006, L"Nagrywaj wideo - wybierz obszar..."},
        {MFT_STRING, 1004, L"Otworz folder zrzutow"},
        {MFT_SEPARATOR, 0, L""},
        {MFT_STRING, 1005, L"Zakoncz"},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(items[i].type, expected[i].type) << i;
        EXPECT_EQ(items[i].id, expected[i].id) << i;
        EXPECT_EQ(items[i].text, expected[i].text) << i;
    }
}

TEST(TrayIconLifecycle, CreateTwiceKeepsOneWindowAndIcon)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    HWND window = tray.window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(tray.create());
    EXPECT_EQ(tray.window(), window);
    EXPECT_EQ(::FindWindowExW(nullptr, window, L"TrayIconClass", nullptr), nullptr);

    wchar_t title[32] = {};
    ::GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"Orlimo Tray");
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_TRUE(shellKnowsIcon(window));
    tray.remove();
}

TEST(TrayIconLifecycle, RemoveTwiceDeletesOnceThenDoesNothing)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    HWND window = tray.window();
    tray.remove();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_FALSE(trayClassRegistered());
    EXPECT_FALSE(shellKnowsIcon(window));
    tray.remove();
    EXPECT_FALSE(trayClassRegistered());

    // Its window's destruction asked the loop to end.
    MSG message;
    EXPECT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
}

TEST(TrayIconLifecycle, CanBeCreatedAgainAfterRemove)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    tray.remove();
    ASSERT_TRUE(tray.create());
    EXPECT_TRUE(::IsWindow(tray.window()));
    EXPECT_TRUE(trayClassRegistered());
    tray.remove();
}

TEST(TrayIconLifecycle, ClassLeftRegisteredFromBeforeIsRefused)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TrayIconClass";
    ASSERT_NE(::RegisterClassExW(&windowClass), 0);
    TrayIcon& tray = TrayIcon::instance();
    EXPECT_FALSE(tray.create());
    tray.remove(); // nothing was added: must not unregister the foreign class
    EXPECT_TRUE(trayClassRegistered());
    ::UnregisterClassW(L"TrayIconClass", ::GetModuleHandleW(nullptr));
}

TEST(TrayIconNotification, BalloonCarriesTextTitleAndInformationIcon)
{
    ASSERT_TRUE(ShellNotifyRecorder::install());
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    ShellNotifyRecorder::calls.clear();
    tray.showNotification(L"Nie mozna zapisac zrzutu ekranu.");
    tray.showNotification(std::wstring(255, L'y'));
    tray.showNotification(std::wstring(600, L'x'));
    tray.showNotification(L"");
    const std::vector<NOTIFYICONDATAW> balloons = ShellNotifyRecorder::recordsOf(NIM_MODIFY);
    ASSERT_EQ(balloons.size(), 4u);
    ASSERT_EQ(ShellNotifyRecorder::calls.size(), 4u);
    const std::wstring texts[] = {L"Nie mozna zapisac zrzutu ekranu.", std::wstring(255, L'y'),
                                  std::wstring(255, L'x'), L""};
    for (std::size_t i = 0; i < 4; ++i) {
        const NOTIFYICONDATAW& data = balloons[i];
        EXPECT_EQ(data.cbSize, 976u) << i;
        EXPECT_EQ(data.hWnd, tray.window()) << i;
        EXPECT_EQ(data.uID, 1001u) << i;
        EXPECT_EQ(data.uFlags, static_cast<UINT>(NIF_INFO)) << i;
        EXPECT_EQ(data.dwInfoFlags, static_cast<DWORD>(NIIF_INFO)) << i;
        EXPECT_EQ(data.uTimeout, 0u) << i;
        EXPECT_EQ(std::wstring(data.szInfo), texts[i]) << i;
        EXPECT_STREQ(data.szInfoTitle, L"Orlimo") << i;
    }
    EXPECT_TRUE(shellKnowsIcon(tray.window()));
    tray.remove();
    tray.showNotification(L"Po usunieciu ikony nic sie nie dzieje.");
    EXPECT_FALSE(shellKnowsIcon(tray.window()));
}

TEST(TrayIconLifecycle, IconComesBackWhenTheTaskbarIsCreated)
{
    ASSERT_TRUE(ShellNotifyRecorder::install());
    const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    TrayIcon& tray = TrayIcon::instance();
    ShellNotifyRecorder::calls.clear();

    // At logon the taskbar may not exist yet: the add fails, but the program starts.
    ShellNotifyRecorder::refuseAdd = true;
    const bool created = tray.create();
    ShellNotifyRecorder::refuseAdd = false;
    ASSERT_TRUE(created);
    ASSERT_EQ(ShellNotifyRecorder::recordsOf(NIM_ADD).size(), 1u);
    EXPECT_FALSE(shellKnowsIcon(tray.window()));

    // The taskbar appears; later Explorer restarts and makes it anew. Each time the icon is
    // added again with its whole record.
    for (std::size_t announcement = 1; announcement <= 2; ++announcement) {
        EXPECT_EQ(::SendMessageW(tray.window(), taskbarCreated, 0, 0), 0);
        const std::vector<NOTIFYICONDATAW> adds = ShellNotifyRecorder::recordsOf(NIM_ADD);
        ASSERT_EQ(adds.size(), 1 + announcement);
        expectFullAddRecord(adds.back(), tray.window());
        EXPECT_TRUE(shellKnowsIcon(tray.window()));
    }
    tray.remove();
    EXPECT_FALSE(shellKnowsIcon(tray.window()));
}

TEST(TrayWindow, MouseMessagesOtherThanRightButtonUpDoNothing)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    FakeMainWindow main;
    ASSERT_NE(main.get(), nullptr);
    for (LPARAM mouse : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE,
                         WM_RBUTTONDOWN, WM_CONTEXTMENU}) {
        EXPECT_EQ(::SendMessageW(tray.window(), WM_TRAYICON, 1001, mouse), 0) << mouse;
    }
    EXPECT_EQ(::FindWindowW(L"#32768", nullptr), nullptr);
    EXPECT_TRUE(FakeMainWindow::drain(main.get()).empty());
    tray.remove();
}

TEST(TrayWindow, DismissedMenuPostsNothing)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    FakeMainWindow main;
    ASSERT_NE(main.get(), nullptr);
    ASSERT_NE(::SetTimer(nullptr, 0, 300, EndMenuTimerProc), 0u);
    EXPECT_EQ(::SendMessageW(tray.window(), WM_TRAYICON, 1001, WM_RBUTTONUP), 0);
    EXPECT_TRUE(FakeMainWindow::drain(main.get()).empty());
    tray.remove();
}

TEST(TrayWindow, ChoosingExitPostsCloseToTheMainWindow)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    FakeMainWindow main;
    ASSERT_NE(main.get(), nullptr);
    ASSERT_NE(::SetTimer(nullptr, 0, 300, ChooseLastTimerProc), 0u);
    EXPECT_EQ(::SendMessageW(tray.window(), WM_TRAYICON, 1001, WM_RBUTTONUP), 0);
    const std::vector<MSG> posted = FakeMainWindow::drain(main.get());
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(posted[0].wParam, 0u);
    EXPECT_EQ(posted[0].lParam, 0);
    tray.remove();
}
