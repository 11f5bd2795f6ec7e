#pragma once
#include <windows.h>
#include <objbase.h>

// Joins the calling thread to the multithreaded apartment and pairs a successful CoInitializeEx
// (S_OK or S_FALSE alike: both need their CoUninitialize) with CoUninitialize.
class ScopedMultithreadedCom {
public:
    ScopedMultithreadedCom() noexcept : result_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ScopedMultithreadedCom(const ScopedMultithreadedCom&) = delete;
    ScopedMultithreadedCom& operator=(const ScopedMultithreadedCom&) = delete;
    ~ScopedMultithreadedCom()
    {
        if (SUCCEEDED(result_)) {
            ::CoUninitialize();
        }
    }
    explicit operator bool() const noexcept { return SUCCEEDED(result_); }
    HRESULT result() const noexcept { return result_; }

private:
    HRESULT result_;
};
