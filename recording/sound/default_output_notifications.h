#pragma once
// Hears from the system when the default output device changes, so the recording follows a
// switch of outputs on the next pass of the worker instead of at the next once-a-second check.
// The system calls the listener on a thread of its own; all it does there is set a flag that the
// worker reads, so a notification never waits for the worker nor the worker for it.
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <atomic>

struct IMMDeviceEnumerator;

class DefaultOutputNotifications {
public:
    // Registers with `enumerator`, on the thread that will read changeReported. A registration
    // the system refuses leaves only the once-a-second check: it is not worth a failed start.
    explicit DefaultOutputNotifications(IMMDeviceEnumerator& enumerator);
    DefaultOutputNotifications(const DefaultOutputNotifications&) = delete;
    DefaultOutputNotifications& operator=(const DefaultOutputNotifications&) = delete;
    // Unregisters before the enumerator it holds is released, and only then lets the listener go:
    // the system does not hold a reference to it.
    ~DefaultOutputNotifications();

    // Whether the default device for render and the console role changed since the last call.
    bool changeReported() noexcept;

    bool registered() const noexcept { return isRegistered; }

private:
    class Listener;
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
    Microsoft::WRL::ComPtr<Listener> listener;
    bool isRegistered = false;
};
