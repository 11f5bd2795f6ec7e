#include "app/hotkey_manager.h"

#include "app/command_id.h"
#include "app/hotkey_decision.h"

#include <utility>

namespace {

constexpr wchar_t HotkeyWindowClass[] = L"HotkeyWindowClass";

bool isKeyDownNow(unsigned virtualKey)
{
    return (static_cast<unsigned short>(::GetAsyncKeyState(static_cast<int>(virtualKey))) & 0x8000u) != 0;
}

}  // namespace

HotkeyManager& HotkeyManager::instance()
{
    static HotkeyManager manager;
    return manager;
}

HotkeyManager::~HotkeyManager()
{
    if (keyboardHook != nullptr) {
        ::UnhookWindowsHookEx(keyboardHook);
    }
    if (messageWindow != nullptr) {
        ::DestroyWindow(messageWindow);
    }
    table.clear();
}

bool HotkeyManager::start()
{
    if (keyboardHook != nullptr) {
        return true;
    }
    HINSTANCE module = ::GetModuleHandleW(nullptr);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HotkeyWndProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = HotkeyWindowClass;
    if (::RegisterClassW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }

    // A window left from an attempt whose hook failed is used again rather than leaked.
    if (messageWindow == nullptr || !::IsWindow(messageWindow)) {
        messageWindow = ::CreateWindowExW(0, HotkeyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          module, nullptr);
        if (messageWindow == nullptr) {
            return false;
        }
    }

    keyboardHook = ::SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, module, 0);
    return keyboardHook != nullptr;
}

bool HotkeyManager::registerCallback(HotkeyId id, HotkeyCallback callback)
{
    if (keyboardHook == nullptr) {
        return false;
    }
    return table.store(id, std::move(callback));
}

std::size_t HotkeyManager::unregisterCallback(HotkeyId id)
{
    return table.remove(id);
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    HotkeyManager& manager = HotkeyManager::instance();
    HookEvent event{code, static_cast<unsigned>(wParam), 0u, 0u};
    // The key record is only ours to read for HC_ACTION.
    if (code == HC_ACTION && lParam != 0) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        event.vkCode = key->vkCode;
        event.flags = key->flags;
    }
    const HookDecision decision = decideHookEvent(
        event, manager.keyHeld, isKeyDownNow, [&manager](int id) { return manager.table.contains(id); });

    manager.keyHeld = decision.keyHeld;
    switch (decision.verdict) {
    case HookVerdict::PassOn:
        return ::CallNextHookEx(manager.keyboardHook, code, wParam, lParam);
    case HookVerdict::SwallowAndPost:
        ::PostMessageW(manager.messageWindow, WM_HOTKEY, decision.command, 0);
        return 1;
    case HookVerdict::Swallow:
        return 1;
    }
    return ::CallNextHookEx(manager.keyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_HOTKEY || wParam < ID_REGION_SCREENSHOT || wParam > ID_WINDOW_SCREENSHOT) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    HotkeyManager& manager = HotkeyManager::instance();
    const auto id = static_cast<HotkeyId>(wParam - HotkeyCommandBase);
    try {
        manager.table.dispatch(id);
    } catch (...) {
        // A failed command must not unwind into the system's dispatcher; the next one still runs.
    }
    return 0;
}
