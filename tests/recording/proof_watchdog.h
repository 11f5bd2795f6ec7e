#pragma once
// A limit on each step of the read-back proof. A step that outlives its limit is stuck inside a
// platform call (a driver, an encoder, the audio engine) that may never return; the watchdog
// then reports the step as a failure and ends the process at once.
//
// Ending the process is the only way out that cannot hang or crash: the stuck thread still uses
// the session, the platform and the COM objects it was given, so returning from the test would
// free them under it, and a normal exit would wait for it (the session's destructor joins it) or
// run the DLL detach code that a thread stuck inside a DLL may block. TerminateProcess stops
// every thread where it is and runs none of that.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

class ProofWatchdog {
public:
    ProofWatchdog()
    {
        watcher = std::thread([this] { watch(); });
    }
    ProofWatchdog(const ProofWatchdog&) = delete;
    ProofWatchdog& operator=(const ProofWatchdog&) = delete;
    ~ProofWatchdog()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ending = true;
        }
        changed.notify_all();
        watcher.join();
    }

    // Starts a step that must end within `limit`; it ends when the next one begins or when the
    // watchdog goes, so the last step also bounds what is released before the watchdog.
    // `detail`, asked for when the limit runs out, says where inside the step it stopped.
    void begin(std::string step, std::chrono::seconds limit,
               std::function<std::string()> detail = {})
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            current = std::move(step);
            currentLimit = limit;
            currentDetail = std::move(detail);
            deadline = std::chrono::steady_clock::now() + limit;
        }
        changed.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!ending) {
            if (!deadline) {
                changed.wait(lock);
            } else if (std::chrono::steady_clock::now() >= *deadline) {
                endHungProcess();
            } else {
                changed.wait_until(lock, *deadline);
            }
        }
    }

    [[noreturn]] void endHungProcess()
    {
        const std::string where = currentDetail ? " (" + currentDetail() + ")" : std::string();
        std::printf("[  FAILED  ] hung: no end within %lld s of %s%s; the process is ended\n",
                    static_cast<long long>(currentLimit.count()), current.c_str(), where.c_str());
        std::fflush(stdout);
        ::TerminateProcess(::GetCurrentProcess(), 1);
        for (;;) {
            ::Sleep(INFINITE); // the termination is asynchronous; it ends this thread too
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::string current;
    std::chrono::seconds currentLimit{0};
    std::function<std::string()> currentDetail;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool ending = false;
    std::thread watcher;
};
