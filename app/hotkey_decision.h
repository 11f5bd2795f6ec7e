#pragma once
// What the low-level keyboard hook does with one key event. Kept free of <windows.h> so the
// whole PrintScreen table and the Escape rule can be tested natively; the hook procedure only
// feeds it the event, the modifier keys, the callback table and whether a selection is open,
// and acts on the answer.
#include <cstdint>
#include <optional>

// The keyboard messages a low-level hook receives, with their platform values.
enum class KeyMessage : unsigned { // NOLINT(performance-enum-size): the platform's UINT
    KeyDown = 0x0100,
    KeyUp = 0x0101,
    SysKeyDown = 0x0104,
    SysKeyUp = 0x0105,
};

inline constexpr int HookCodeAction = 0;                 // HC_ACTION
inline constexpr unsigned VirtualKeySnapshot = 0x2C;     // VK_SNAPSHOT, the PrintScreen key
inline constexpr unsigned VirtualKeyEscape = 0x1B;       // VK_ESCAPE
inline constexpr unsigned VirtualKeyControl = 0x11;      // VK_CONTROL
inline constexpr unsigned VirtualKeyShift = 0x10;        // VK_SHIFT
inline constexpr unsigned VirtualKeyLeftWindows = 0x5B;  // VK_LWIN
inline constexpr unsigned VirtualKeyRightWindows = 0x5C; // VK_RWIN
inline constexpr unsigned HookFlagAltDown = 0x20;        // LLKHF_ALTDOWN

struct HookEvent {
    int code = HookCodeAction;
    unsigned message = 0; // a KeyMessage value, or anything else the system sends
    unsigned vkCode = 0;
    unsigned flags = 0;
};

enum class HookVerdict : std::uint8_t {
    PassOn,         // hand the event to the next hook
    Swallow,        // withhold the event from the rest of the system
    SwallowAndPost, // withhold it and post `command` to the hotkey window
};

struct HookDecision {
    HookVerdict verdict = HookVerdict::PassOn;
    bool keyHeld = false; // the manager's keyHeld after this event
    int hotkeyId = -1;    // set with SwallowAndPost
    unsigned command = 0; // set with SwallowAndPost

    friend bool operator==(const HookDecision&, const HookDecision&) = default;
};

// Everything that can be decided before the modifier keys are read; nothing when the event is a
// fresh PrintScreen key-down whose fate depends on them.
std::optional<HookDecision> decideWithoutModifiers(const HookEvent& event, bool keyHeld);

// The hotkey id for a PrintScreen press with these modifiers; nothing for Ctrl+Alt.
std::optional<int> hotkeyIdForModifiers(bool ctrlDown, bool altDown);

// The hotkey ids of the PrintScreen variants: the key alone, with Ctrl, with Alt.
inline constexpr int PrintScreenHotkeyIds[] = {0, 1, 2};

// The command posted for a hotkey id (the id plus 1001).
unsigned commandForHotkeyId(int hotkeyId);

// The hotkey id whose callback runs a command posted to the hotkey window; nothing for a value
// the hook never posts.
std::optional<int> hotkeyIdForCommand(unsigned long long command);

// The full decision. `isKeyDown(vk)` reads one key's state and is called in the order the hook
// must read them: Ctrl, then Shift, the left and the right Windows key, stopping at the first of
// those three that is down. `hasCallback(id)` tells whether the id has a registered callback.
template <typename IsKeyDown, typename HasCallback>
HookDecision decideHookEvent(const HookEvent& event, bool keyHeld, IsKeyDown&& isKeyDown,
                             HasCallback&& hasCallback)
{
    if (const std::optional<HookDecision> early = decideWithoutModifiers(event, keyHeld)) {
        return *early;
    }
    const HookDecision passOn{HookVerdict::PassOn, keyHeld};
    const bool ctrlDown = isKeyDown(VirtualKeyControl);
    if (isKeyDown(VirtualKeyShift) || isKeyDown(VirtualKeyLeftWindows) ||
        isKeyDown(VirtualKeyRightWindows)) {
        return passOn;
    }
    // Alt comes from the event: the hook sees it before the key state is updated.
    const bool altDown = (event.flags & HookFlagAltDown) != 0;
    const std::optional<int> hotkeyId = hotkeyIdForModifiers(ctrlDown, altDown);
    if (!hotkeyId || !hasCallback(*hotkeyId)) {
        return passOn;
    }
    return HookDecision{HookVerdict::SwallowAndPost, true, *hotkeyId,
                        commandForHotkeyId(*hotkeyId)};
}

enum class EscapeVerdict : std::uint8_t {
    PassOn,           // hand the event to the next hook
    Swallow,          // withhold the event from the rest of the system
    SwallowAndCancel, // withhold it and cancel the open selection
};

struct EscapeDecision {
    EscapeVerdict verdict = EscapeVerdict::PassOn;
    bool escapeHeld = false; // the manager's escapeHeld after this event

    friend bool operator==(const EscapeDecision&, const EscapeDecision&) = default;
};

// What the hook does with Escape. A selection may be on the screen without having the keyboard
// (Windows refuses the foreground to a window opened on a swallowed key), so while one is open
// every Escape key-down is taken from whichever window is in front and cancels it. The press
// stays taken until its key-up, which comes after the selection has closed: auto-repeats and
// the key-up are withheld too. `isSelectionOpen()` is asked only for Escape key-downs.
template <typename IsSelectionOpen>
EscapeDecision decideEscapeEvent(const HookEvent& event, bool escapeHeld,
                                 IsSelectionOpen&& isSelectionOpen)
{
    const EscapeDecision passOn{EscapeVerdict::PassOn, escapeHeld};
    if (event.code != HookCodeAction || event.vkCode != VirtualKeyEscape) {
        return passOn;
    }
    const auto message = static_cast<KeyMessage>(event.message);
    if (message == KeyMessage::KeyUp || message == KeyMessage::SysKeyUp) {
        return escapeHeld ? EscapeDecision{EscapeVerdict::Swallow, false} : passOn;
    }
    if (message != KeyMessage::KeyDown && message != KeyMessage::SysKeyDown) {
        return passOn;
    }
    if (isSelectionOpen()) {
        return EscapeDecision{EscapeVerdict::SwallowAndCancel, true};
    }
    return escapeHeld ? EscapeDecision{EscapeVerdict::Swallow, true} : passOn;
}
