#include "app/hotkey_decision.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

constexpr unsigned KeyDown = static_cast<unsigned>(KeyMessage::KeyDown);
constexpr unsigned KeyUp = static_cast<unsigned>(KeyMessage::KeyUp);
constexpr unsigned SysKeyDown = static_cast<unsigned>(KeyMessage::SysKeyDown);
constexpr unsigned SysKeyUp = static_cast<unsigned>(KeyMessage::SysKeyUp);

// A keyboard whose held keys are fixed, and that remembers which keys were asked about.
struct FakeKeyboard {
    std::set<unsigned> down;
    std::vector<unsigned> reads;

    bool operator()(unsigned vk)
    {
        reads.push_back(vk);
        return down.count(vk) != 0;
    }
};

struct Registered {
    std::set<int> ids{0, 1, 2};
    bool operator()(int id) const { return ids.count(id) != 0; }
};

HookEvent printScreen(unsigned message, unsigned flags = 0)
{
    return HookEvent{HookCodeAction, message, VirtualKeySnapshot, flags};
}

HookDecision decide(const HookEvent& event, bool keyHeld, FakeKeyboard& keyboard,
                    const Registered& registered = Registered{})
{
    return decideHookEvent(event, keyHeld, keyboard, registered);
}

const HookDecision PassOnFree{HookVerdict::PassOn, false};

HookDecision posts(int id, unsigned command)
{
    return HookDecision{HookVerdict::SwallowAndPost, true, id, command};
}

} // namespace

TEST(HookDecisionCommands, PrintScreenAlonePostsRegionCommand)
{
    FakeKeyboard keyboard;
    EXPECT_EQ(decide(printScreen(KeyDown), false, keyboard), posts(0, 1001));
}

TEST(HookDecisionCommands, CtrlPrintScreenPostsFullScreenCommand)
{
    FakeKeyboard keyboard{{VirtualKeyControl}};
    EXPECT_EQ(decide(printScreen(KeyDown), false, keyboard), posts(1, 1002));
}

TEST(HookDecisionCommands, AltPrintScreenArrivesAsSysKeyDownAndPostsWindowCommand)
{
    FakeKeyboard keyboard;
    EXPECT_EQ(decide(printScreen(SysKeyDown, HookFlagAltDown), false, keyboard), posts(2, 1003));
}

TEST(HookDecisionCommands, AltIsTakenFromTheFlagOnlyNeverFromTheKeyState)
{
    FakeKeyboard altHeldButNotFlagged{{0x12}}; // VK_MENU
    EXPECT_EQ(decide(printScreen(KeyDown), false, altHeldButNotFlagged), posts(0, 1001));
    for (unsigned vk : altHeldButNotFlagged.reads) {
        EXPECT_NE(vk, 0x12u);
    }
    FakeKeyboard nothingHeld;
    EXPECT_EQ(decide(printScreen(KeyDown, HookFlagAltDown), false, nothingHeld), posts(2, 1003));
}

TEST(HookDecisionCommands, OtherFlagBitsDoNotCountAsAlt)
{
    FakeKeyboard keyboard;
    // LLKHF_EXTENDED and LLKHF_INJECTED, as SendInput delivers the key.
    EXPECT_EQ(decide(printScreen(KeyDown, 0x01 | 0x10), false, keyboard), posts(0, 1001));
}

TEST(HookDecisionCommands, CommandIsHotkeyIdPlusBase)
{
    EXPECT_EQ(commandForHotkeyId(0), 1001u);
    EXPECT_EQ(commandForHotkeyId(1), 1002u);
    EXPECT_EQ(commandForHotkeyId(2), 1003u);
}

TEST(HookDecisionModifiers, CtrlAltPrintScreenIsPassedOn)
{
    FakeKeyboard keyboard{{VirtualKeyControl}};
    EXPECT_EQ(decide(printScreen(SysKeyDown, HookFlagAltDown), false, keyboard), PassOnFree);
    EXPECT_EQ(hotkeyIdForModifiers(true, true), std::nullopt);
}

TEST(HookDecisionModifiers, ShiftOrEitherWindowsKeyPassesOnInAnyCombination)
{
    for (unsigned blocker : {VirtualKeyShift, VirtualKeyLeftWindows, VirtualKeyRightWindows}) {
        for (bool ctrl : {false, true}) {
            for (unsigned flags : {0u, HookFlagAltDown}) {
                FakeKeyboard keyboard{{blocker}};
                if (ctrl) {
                    keyboard.down.insert(VirtualKeyControl);
                }
                const unsigned message = flags != 0 ? SysKeyDown : KeyDown;
                EXPECT_EQ(decide(printScreen(message, flags), false, keyboard), PassOnFree)
                    << "blocker " << blocker << " ctrl " << ctrl << " flags " << flags;
            }
        }
    }
}

TEST(HookDecisionModifiers, KeysAreReadCtrlFirstThenShiftAndWindowsKeysUntilOneIsDown)
{
    FakeKeyboard none;
    decide(printScreen(KeyDown), false, none);
    EXPECT_EQ(none.reads, (std::vector<unsigned>{VirtualKeyControl, VirtualKeyShift,
                                                 VirtualKeyLeftWindows, VirtualKeyRightWindows}));

    FakeKeyboard shift{{VirtualKeyShift, VirtualKeyLeftWindows}};
    decide(printScreen(KeyDown), false, shift);
    EXPECT_EQ(shift.reads, (std::vector<unsigned>{VirtualKeyControl, VirtualKeyShift}));

    FakeKeyboard leftWin{{VirtualKeyLeftWindows}};
    decide(printScreen(KeyDown), false, leftWin);
    EXPECT_EQ(leftWin.reads,
              (std::vector<unsigned>{VirtualKeyControl, VirtualKeyShift, VirtualKeyLeftWindows}));
}

TEST(HookDecisionModifiers, NoKeyIsReadForEventsDecidedEarly)
{
    FakeKeyboard keyboard{{VirtualKeyControl}};
    decide(printScreen(KeyUp), true, keyboard);
    decide(printScreen(KeyDown), true, keyboard);
    decide(HookEvent{HookCodeAction, KeyDown, 0x41, 0}, false, keyboard);
    EXPECT_TRUE(keyboard.reads.empty());
}

TEST(HookDecisionHeldKey, AutoRepeatWhileHeldIsSwallowedWithoutNewCommand)
{
    FakeKeyboard keyboard;
    const HookDecision first = decide(printScreen(KeyDown), false, keyboard);
    ASSERT_EQ(first.verdict, HookVerdict::SwallowAndPost);
    for (int repeat = 0; repeat < 20; ++repeat) {
        EXPECT_EQ(decide(printScreen(KeyDown), first.keyHeld, keyboard),
                  (HookDecision{HookVerdict::Swallow, true}));
    }
    // Modifiers pressed during the hold change nothing either.
    FakeKeyboard ctrl{{VirtualKeyControl}};
    EXPECT_EQ(decide(printScreen(SysKeyDown, HookFlagAltDown), true, ctrl),
              (HookDecision{HookVerdict::Swallow, true}));
}

TEST(HookDecisionHeldKey, KeyUpAfterSwallowedPressIsSwallowedAndReleasesTheKey)
{
    FakeKeyboard keyboard;
    EXPECT_EQ(decide(printScreen(KeyUp), true, keyboard),
              (HookDecision{HookVerdict::Swallow, false}));
    EXPECT_EQ(decide(printScreen(SysKeyUp), true, keyboard),
              (HookDecision{HookVerdict::Swallow, false}));
}

TEST(HookDecisionHeldKey, KeyUpAfterPassedPressIsPassedOn)
{
    FakeKeyboard shift{{VirtualKeyShift}};
    const HookDecision press = decide(printScreen(KeyDown), false, shift);
    ASSERT_EQ(press, PassOnFree);
    EXPECT_EQ(decide(printScreen(KeyUp), press.keyHeld, shift), PassOnFree);
    EXPECT_EQ(decide(printScreen(SysKeyUp), press.keyHeld, shift), PassOnFree);
}

TEST(HookDecisionHeldKey, NextPressAfterReleaseRaisesAnotherCommand)
{
    FakeKeyboard keyboard;
    bool held = decide(printScreen(KeyDown), false, keyboard).keyHeld;
    held = decide(printScreen(KeyUp), held, keyboard).keyHeld;
    EXPECT_FALSE(held);
    EXPECT_EQ(decide(printScreen(KeyDown), held, keyboard), posts(0, 1001));
}

TEST(HookDecisionCallbacks, UnregisteredIdPassesTheWholePressOn)
{
    FakeKeyboard keyboard;
    const Registered none{{}};
    const HookDecision press = decide(printScreen(KeyDown), false, keyboard, none);
    EXPECT_EQ(press, PassOnFree);
    EXPECT_EQ(decide(printScreen(KeyUp), press.keyHeld, keyboard, none), PassOnFree);
}

TEST(HookDecisionCallbacks, OnlyTheMissingIdIsPassedOn)
{
    const Registered onlyFull{{1}};
    FakeKeyboard plain;
    EXPECT_EQ(decide(printScreen(KeyDown), false, plain, onlyFull), PassOnFree);
    FakeKeyboard ctrl{{VirtualKeyControl}};
    EXPECT_EQ(decide(printScreen(KeyDown), false, ctrl, onlyFull), posts(1, 1002));
}

TEST(HookDecisionOtherEvents, KeysOtherThanPrintScreenArePassedOnAndKeepTheHeldState)
{
    FakeKeyboard keyboard;
    for (unsigned vk : {0x41u, VirtualKeyControl, 0x2Du /* VK_INSERT */, 0x2Bu /* VK_EXECUTE */}) {
        for (unsigned message : {KeyDown, KeyUp, SysKeyDown, SysKeyUp}) {
            EXPECT_EQ(decide(HookEvent{HookCodeAction, message, vk, 0}, false, keyboard),
                      PassOnFree);
            EXPECT_EQ(decide(HookEvent{HookCodeAction, message, vk, 0}, true, keyboard),
                      (HookDecision{HookVerdict::PassOn, true}));
        }
    }
}

TEST(HookDecisionOtherEvents, CodesOtherThanActionArePassedOn)
{
    FakeKeyboard keyboard;
    for (int code : {-1, 1, 3}) {
        EXPECT_EQ(decide(HookEvent{code, KeyDown, VirtualKeySnapshot, 0}, false, keyboard),
                  PassOnFree);
        EXPECT_EQ(decide(HookEvent{code, KeyUp, VirtualKeySnapshot, 0}, true, keyboard),
                  (HookDecision{HookVerdict::PassOn, true}));
    }
}

TEST(HookDecisionOtherEvents, UnknownMessagesForPrintScreenArePassedOn)
{
    FakeKeyboard keyboard;
    EXPECT_EQ(decide(printScreen(0x0102 /* WM_CHAR */), false, keyboard), PassOnFree);
    EXPECT_EQ(decide(printScreen(0x0102), true, keyboard),
              (HookDecision{HookVerdict::PassOn, true}));
    EXPECT_TRUE(keyboard.reads.empty());
}

namespace {

// Whether a selection is open, and how often the hook asked.
struct FakeSelection {
    bool open = false;
    int asked = 0;
    bool operator()()
    {
        ++asked;
        return open;
    }
};

HookEvent escape(unsigned message)
{
    return HookEvent{HookCodeAction, message, VirtualKeyEscape, 0};
}

const EscapeDecision EscapePassedOn{EscapeVerdict::PassOn, false};
const EscapeDecision EscapeCancels{EscapeVerdict::SwallowAndCancel, true};

} // namespace

TEST(EscapeDecision, KeyDownWhileASelectionIsOpenIsTakenAndCancelsIt)
{
    FakeSelection selection{true};
    EXPECT_EQ(decideEscapeEvent(escape(KeyDown), false, selection), EscapeCancels);
    EXPECT_EQ(decideEscapeEvent(escape(SysKeyDown), false, selection), EscapeCancels);
    // An auto-repeat while the selection is still open cancels again; the overlay ignores it.
    EXPECT_EQ(decideEscapeEvent(escape(KeyDown), true, selection), EscapeCancels);
}

TEST(EscapeDecision, RestOfATakenPressIsWithheldAfterTheSelectionHasClosed)
{
    FakeSelection closed;
    EXPECT_EQ(decideEscapeEvent(escape(KeyDown), true, closed),
              (EscapeDecision{EscapeVerdict::Swallow, true}));
    EXPECT_EQ(decideEscapeEvent(escape(KeyUp), true, closed),
              (EscapeDecision{EscapeVerdict::Swallow, false}));
    EXPECT_EQ(decideEscapeEvent(escape(SysKeyUp), true, closed),
              (EscapeDecision{EscapeVerdict::Swallow, false}));
    // The next press is the focused window's again.
    EXPECT_EQ(decideEscapeEvent(escape(KeyDown), false, closed), EscapePassedOn);
    EXPECT_EQ(decideEscapeEvent(escape(KeyUp), false, closed), EscapePassedOn);
}

TEST(EscapeDecision, WithoutASelectionEscapeIsPassedOnWhole)
{
    FakeSelection closed;
    for (unsigned message : {KeyDown, SysKeyDown, KeyUp, SysKeyUp}) {
        EXPECT_EQ(decideEscapeEvent(escape(message), false, closed), EscapePassedOn);
    }
    // Only the key-downs ask for the selection.
    EXPECT_EQ(closed.asked, 2);
}

TEST(EscapeDecision, OtherKeysCodesAndMessagesPassOnWithoutAsking)
{
    FakeSelection selection{true};
    for (unsigned vk : {VirtualKeySnapshot, 0x41u, 0x0Du /* VK_RETURN */}) {
        EXPECT_EQ(decideEscapeEvent(HookEvent{HookCodeAction, KeyDown, vk, 0}, true, selection),
                  (EscapeDecision{EscapeVerdict::PassOn, true}));
    }
    for (int code : {-1, 1, 3}) {
        EXPECT_EQ(
            decideEscapeEvent(HookEvent{code, KeyDown, VirtualKeyEscape, 0}, false, selection),
            EscapePassedOn);
    }
    EXPECT_EQ(decideEscapeEvent(escape(0x0102 /* WM_CHAR */), true, selection),
              (EscapeDecision{EscapeVerdict::PassOn, true}));
    EXPECT_EQ(selection.asked, 0);
}
