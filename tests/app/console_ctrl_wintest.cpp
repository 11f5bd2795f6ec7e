#include "app/console_ctrl.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Calls the handler from another thread, as the system does, and returns its answer.
BOOL callFromSystemThread(DWORD controlType)
{
    BOOL answer = FALSE;
    std::thread caller([&answer, controlType] { answer = ConsoleCtrlHandler(controlType); });
    caller.join();
    return answer;
}

void ensureQueue()
{
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
}

} // namespace

TEST(ConsoleCtrlHandler, CtrlCEndsTheMessageLoopWithExitCodeZero)
{
    ensureQueue();
    setConsoleQuitThread(::GetCurrentThreadId());
    EXPECT_EQ(callFromSystemThread(CTRL_C_EVENT), TRUE);
    MSG message{};
    EXPECT_EQ(::GetMessageW(&message, nullptr, 0, 0), 0);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 0u);
}

TEST(ConsoleCtrlHandler, CloseEndsTheMessageLoopToo)
{
    ensureQueue();
    setConsoleQuitThread(::GetCurrentThreadId());
    EXPECT_EQ(callFromSystemThread(CTRL_CLOSE_EVENT), TRUE);
    MSG message{};
    EXPECT_EQ(::GetMessageW(&message, nullptr, 0, 0), 0);
}

TEST(ConsoleCtrlHandler, OtherEventsAreLeftToTheNextHandler)
{
    ensureQueue();
    setConsoleQuitThread(::GetCurrentThreadId());
    for (DWORD event : {static_cast<DWORD>(CTRL_BREAK_EVENT), static_cast<DWORD>(CTRL_LOGOFF_EVENT),
                        static_cast<DWORD>(CTRL_SHUTDOWN_EVENT)}) {
        EXPECT_EQ(callFromSystemThread(event), FALSE) << event;
    }
    MSG message;
    EXPECT_FALSE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}
