#include "recording/sound/default_output_notifications.h"

#include <mmdeviceapi.h>

#include <new>

class DefaultOutputNotifications::Listener final : public IMMNotificationClient {
public:
    bool takeChange() noexcept { return changed.exchange(false); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (id == __uuidof(IUnknown) || id == __uuidof(IMMNotificationClient)) {
            *object = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // Only the device that the capture follows matters: render, console role. The multimedia
    // and communications roles and the capture devices change on their own.
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override
    {
        if (flow == eRender && role == eConsole) {
            changed.store(true);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override
    {
        return S_OK;
    }

private:
    ~Listener() = default;

    std::atomic<ULONG> references{1};
    std::atomic<bool> changed{false};
};

DefaultOutputNotifications::DefaultOutputNotifications(IMMDeviceEnumerator& deviceEnumerator)
    : enumerator(&deviceEnumerator)
{
    // Attach takes over the reference the listener is born with.
    listener.Attach(new (std::nothrow) Listener);
    if (listener) {
        isRegistered = SUCCEEDED(enumerator->RegisterEndpointNotificationCallback(listener.Get()));
    }
}

DefaultOutputNotifications::~DefaultOutputNotifications()
{
    if (isRegistered) {
        enumerator->UnregisterEndpointNotificationCallback(listener.Get());
    }
}

bool DefaultOutputNotifications::changeReported() noexcept
{
    return listener && listener->takeChange();
}
