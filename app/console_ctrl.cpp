#include "app/console_ctrl.h"

#include <atomic>

namespace {

std::atomic<DWORD> quitThreadId{0};

} // namespace

void setConsoleQuitThread(DWORD threadId) noexcept
{
    quitThreadId.store(threadId);
}

BOOL WINAPI ConsoleCtrlHandler(DWORD controlType)
{
    if (controlType != CTRL_C_EVENT && controlType != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    // The same quit message PostQuitMessage(0) would put in the UI thread's queue.
    ::PostThreadMessageW(quitThreadId.load(), WM_QUIT, 0, 0);
    return TRUE;
}
