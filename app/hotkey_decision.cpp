#include "app/hotkey_decision.h"

#include "app/command_id.h"

std::optional<HookDecision> decideWithoutModifiers(const HookEvent& event, bool keyHeld)
{
    const HookDecision passOn{HookVerdict::PassOn, keyHeld};
    if (event.code != HookCodeAction || event.vkCode != VirtualKeySnapshot) {
        return passOn;
    }
    const auto message = static_cast<KeyMessage>(event.message);
    if (message == KeyMessage::KeyUp || message == KeyMessage::SysKeyUp) {
        // The key-up belongs to the press that raised the command only when that press was ours.
        if (keyHeld) {
            return HookDecision{HookVerdict::Swallow, false};
        }
        return passOn;
    }
    if (message != KeyMessage::KeyDown && message != KeyMessage::SysKeyDown) {
        return passOn;
    }
    if (keyHeld) {
        // Auto-repeat of a press that already raised its command.
        return HookDecision{HookVerdict::Swallow, true};
    }
    return std::nullopt;
}

std::optional<int> hotkeyIdForModifiers(bool ctrlDown, bool altDown)
{
    if (ctrlDown && altDown) {
        return std::nullopt;
    }
    if (ctrlDown) {
        return 1;
    }
    if (altDown) {
        return 2;
    }
    return 0;
}

unsigned commandForHotkeyId(int hotkeyId)
{
    return HotkeyCommandBase + static_cast<unsigned>(hotkeyId);
}

std::optional<int> hotkeyIdForCommand(unsigned long long command)
{
    for (const int hotkeyId : PrintScreenHotkeyIds) {
        if (command == commandForHotkeyId(hotkeyId)) {
            return hotkeyId;
        }
    }
    return std::nullopt;
}
