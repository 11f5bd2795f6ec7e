#include "app/tray_icon.h"

#include "app/balloon_text.h"
#include "app/tray_menu.h"
#include "common/window_binding.h"
#include "resources/resource_ids.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace {

constexpr wchar_t TrayWindowClass[] = L"TrayIconClass";
constexpr UINT TRAY_ICON_UID = 1001;

template <std::size_t Size>
void copyText(wchar_t (&field)[Size], std::wstring_view text)
{
    const std::size_t length = std::min(text.size(), Size - 1);
    std::copy_n(text.begin(), length, field);
    field[length] = L'\0';
}

// Broadcast by the shell to every top-level window whenever it makes its notification area.
UINT taskbarCreatedMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

NOTIFYICONDATAW iconRecord(HWND trayWindow)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(NOTIFYICONDATAW);
    data.hWnd = trayWindow;
    data.uID = TRAY_ICON_UID;
    return data;
}

} // namespace

static_assert(sizeof(NOTIFYICONDATAW) == 976, "the newest notification record layout");
static_assert(sizeof(WNDCLASSEXW) == 80, "64-bit window class record");

TrayIcon& TrayIcon::instance()
{
    static TrayIcon icon;
    return icon;
}

bool TrayIcon::create()
{
    if (iconAdded) {
        return true;
    }
    HINSTANCE module = ::GetModuleHandleW(nullptr);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.lpfnWndProc = TrayWndProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = TrayWindowClass;
    if (::RegisterClassExW(&windowClass) == 0) {
        return false;
    }

    trayWindow.reset(::CreateWindowExW(0, TrayWindowClass, L"Orlimo Tray", WS_OVERLAPPEDWINDOW,
                                       CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, module,
                                       nullptr));
    if (!trayWindow) {
        return false;
    }

    // Without a taskbar yet (a start at logon) the add fails; TaskbarCreated, which the tray
    // window watches from its first message on, brings the icon once the shell is there.
    addIcon();

    iconAdded = true;
    return true;
}

void TrayIcon::addIcon()
{
    NOTIFYICONDATAW data = iconRecord(trayWindow.get());
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_TRAYICON;
    data.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
    copyText(data.szTip, L"Orlimo");
    ::Shell_NotifyIconW(NIM_ADD, &data);
}

void TrayIcon::restoreIcon()
{
    if (iconAdded) {
        addIcon();
    }
}

void TrayIcon::remove()
{
    if (!iconAdded) {
        return;
    }
    NOTIFYICONDATAW data = iconRecord(trayWindow.get());
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    trayWindow.reset();
    ::UnregisterClassW(TrayWindowClass, ::GetModuleHandleW(nullptr));
    iconAdded = false;
}

void TrayIcon::showNotification(const std::wstring& text)
{
    NOTIFYICONDATAW data = iconRecord(trayWindow.get());
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_INFO;
    copyText(data.szInfo, balloonText(text));
    copyText(data.szInfoTitle, L"Orlimo");
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Out of memory while opening the folder: the choice has no effect.
    return runGuarded(message, [&]() -> LRESULT {
        if (message != 0 && message == taskbarCreatedMessage()) {
            TrayIcon::instance().restoreIcon();
            return 0;
        }
        switch (message) {
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WM_TRAYICON:
            if (lParam == WM_RBUTTONUP) {
                runTrayMenu(window);
            }
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    });
}
