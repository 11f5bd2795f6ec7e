#include "app/hotkey_manager.h"

#include "app/hotkey_decision.h"
#include "common/window_binding.h"
#include "screenshot/selection_overlay.h"

#include <optional>
#include <utility>

namespace {

constexpr wchar_t HotkeyWindowClass[] = L"HotkeyWindowClass";

// The bit of an id in the set the hook reads; ids it cannot hold are never looked up there.
constexpr std::uint32_t bitOf(HotkeyId id) noexcept
{
    return id >= 0 && id < 32 ? std::uint32_t{1} << id : 0u;
}

bool isKeyDownNow(unsigned virtualKey)
{
    return (static_cast<unsigned short>(::GetAsyncKeyState(static_cast<int>(virtualKey))) &
            0x8000u) != 0;
}

} // namespace

HotkeyManager& HotkeyManager::instance()
{
    static HotkeyManager manager;
    return manager;
}

HotkeyManager::~HotkeyManager()
{
    stopHookThread();
    messageWindow.reset();
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
    if (!messageWindow || !::IsWindow(messageWindow.get())) {
        messageWindow.release(); // a handle the system already destroyed is not ours to destroy
        messageWindow.reset(::CreateWindowExW(0, HotkeyWindowClass, L"", 0, 0, 0, 0, 0,
                                              HWND_MESSAGE, nullptr, module, nullptr));
        if (!messageWindow) {
            return false;
        }
    }

    return startHookThread();
}

bool HotkeyManager::startHookThread() noexcept
{
    try {
        std::promise<bool> installed;
        std::future<bool> report = installed.get_future();
        // The promise moves to the thread: it cannot be destroyed here while the thread still
        // reports through it.
        hookThread = std::thread(
            [this, promise = std::move(installed)]() mutable { serveHook(std::move(promise)); });
        if (report.get()) {
            return true;
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): a deliberate barrier
        // No thread, or it ended without a report: the keys cannot be taken either way.
    }
    try {
        if (hookThread.joinable()) {
            hookThread.join();
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): a deliberate barrier
        // The thread has ended or was never made; nothing is left to wait for.
    }
    return false;
}

void HotkeyManager::serveHook(std::promise<bool> installed) noexcept
{
    try {
        // The thread's message queue exists before the starter hears back, so the stop message
        // posted at exit cannot be lost.
        MSG message{};
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        hookThreadId = ::GetCurrentThreadId();
        // Removed when this thread leaves, whichever way it leaves.
        const UniqueHook hook(
            ::SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, ::GetModuleHandleW(nullptr), 0));
        keyboardHook = hook.get();
        installed.set_value(static_cast<bool>(hook));
        if (!hook) {
            return;
        }
        // No windows live here: the loop only lets the system call the hook, until WM_QUIT.
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): a deliberate barrier
        // Reached only before the report; the starter then sees a broken promise.
    }
}

void HotkeyManager::stopHookThread() noexcept
{
    try {
        if (!hookThread.joinable()) {
            return;
        }
        if (::PostThreadMessageW(hookThreadId, WM_QUIT, 0, 0)) {
            hookThread.join();
        } else {
            // A thread that never hears the stop would be waited for forever; the system
            // removes its hook when the process ends.
            hookThread.detach();
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): a deliberate barrier
        // Process exit goes on; the system removes the hook with the process.
    }
    keyboardHook = nullptr;
}

bool HotkeyManager::registerCallback(HotkeyId id, HotkeyCallback callback)
{
    if (keyboardHook == nullptr) {
        return false;
    }
    const bool stored = table.store(id, std::move(callback));
    publishCallbackOf(id);
    return stored;
}

std::size_t HotkeyManager::unregisterCallback(HotkeyId id)
{
    const std::size_t removed = table.remove(id);
    publishCallbackOf(id);
    return removed;
}

void HotkeyManager::publishCallbackOf(HotkeyId id) noexcept
{
    if (table.contains(id)) {
        idsWithCallback.fetch_or(bitOf(id), std::memory_order_release);
    } else {
        idsWithCallback.fetch_and(~bitOf(id), std::memory_order_release);
    }
}

bool HotkeyManager::hasCallback(HotkeyId id) const noexcept
{
    return (idsWithCallback.load(std::memory_order_acquire) & bitOf(id)) != 0;
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
    const EscapeDecision escape =
        decideEscapeEvent(event, manager.escapeHeld, [] { return SelectionOverlay::isOpen(); });
    manager.escapeHeld = escape.escapeHeld;
    switch (escape.verdict) {
    case EscapeVerdict::PassOn:
        break;
    case EscapeVerdict::SwallowAndCancel:
        // The overlay may not have the keyboard, so it would never see the key itself.
        ::PostMessageW(manager.messageWindow.get(), WM_CANCEL_SELECTION, 0, 0);
        return 1;
    case EscapeVerdict::Swallow:
        return 1;
    }

    const HookDecision decision =
        decideHookEvent(event, manager.keyHeld, isKeyDownNow,
                        [&manager](int id) { return manager.hasCallback(id); });

    manager.keyHeld = decision.keyHeld;
    switch (decision.verdict) {
    case HookVerdict::PassOn:
        return ::CallNextHookEx(manager.keyboardHook, code, wParam, lParam);
    case HookVerdict::SwallowAndPost:
        ::PostMessageW(manager.messageWindow.get(), WM_HOTKEY, decision.command, 0);
        return 1;
    case HookVerdict::Swallow:
        return 1;
    }
    return ::CallNextHookEx(manager.keyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK HotkeyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const std::optional<HotkeyId> hotkeyId =
        message == WM_HOTKEY ? hotkeyIdForCommand(wParam) : std::nullopt;
    if (!hotkeyId) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    // A failed command must not unwind into the system's dispatcher; the next one still runs.
    return runGuarded(message, [id = *hotkeyId] {
        HotkeyManager::instance().table.dispatch(id);
        return LRESULT{0};
    });
}
