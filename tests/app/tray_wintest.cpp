#include "app/tray_icon.h"
#include "app/tray_menu.h"
#include "common/unique_handle.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
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
        window_.reset(::CreateWindowExW(0, L"OrlimoClass", L"Orlimo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), nullptr));
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

}  // namespace

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
    tray.remove();  // nothing was added: must not unregister the foreign class
    EXPECT_TRUE(trayClassRegistered());
    ::UnregisterClassW(L"TrayIconClass", ::GetModuleHandleW(nullptr));
}

TEST(TrayIconNotification, BalloonOnTheIconAndWithoutOneNeverFails)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    tray.showNotification(L"Nie mozna zapisac zrzutu ekranu.");
    tray.showNotification(std::wstring(600, L'x'));
    tray.showNotification(L"");
    EXPECT_TRUE(shellKnowsIcon(tray.window()));
    tray.remove();
    tray.showNotification(L"Po usunieciu ikony nic sie nie dzieje.");
    EXPECT_FALSE(shellKnowsIcon(tray.window()));
}

TEST(TrayWindow, MouseMessagesOtherThanRightButtonUpDoNothing)
{
    TrayIcon& tray = TrayIcon::instance();
    ASSERT_TRUE(tray.create());
    FakeMainWindow main;
    ASSERT_NE(main.get(), nullptr);
    for (LPARAM mouse : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE, WM_RBUTTONDOWN,
                         WM_CONTEXTMENU}) {
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
