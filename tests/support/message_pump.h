#pragma once
// Serving the calling thread's messages in tests: windows of the test process paint, timers
// fire and posted work runs only while somebody dispatches. Every wait here is bounded, so a
// test that waits for something that never comes fails instead of hanging the run.
#include <windows.h>

#include <chrono>
#include <functional>

namespace test_support {

using Milliseconds = std::chrono::milliseconds;

inline constexpr Milliseconds DefaultWait{5000};

// Dispatches what is queued for this thread now. A WM_QUIT taken here is not seen by anyone.
inline void pumpMessages()
{
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Serves this thread's messages for the given time, waking at once for each new one.
inline void pumpMessagesFor(Milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        pumpMessages();
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return;
        }
        const auto left = std::chrono::duration_cast<Milliseconds>(end - now).count();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left > 10 ? 10 : left),
                                    QS_ALLINPUT);
    }
}

// Serves this thread's messages until the predicate holds or the timeout has passed, asking
// again every `poll`. Returns the predicate's last answer.
inline bool pumpUntil(const std::function<bool()>& predicate, Milliseconds timeout = DefaultWait,
                      Milliseconds poll = Milliseconds{20})
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (predicate()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        pumpMessagesFor(poll);
    }
}

} // namespace test_support
