#pragma once
// A sink writer that keeps what it is given instead of encoding it, for the steps Wine's Media
// Foundation cannot take (it has no MP4 sink and no H.264 or AAC encoder).
#include "scripted_calls.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct WrittenSample {
    DWORD stream = 0;
    LONGLONG time = 0;
    LONGLONG duration = 0;
    DWORD bufferCount = 0;
    UINT32 attributeCount = 0;
    std::vector<std::uint8_t> bytes;
};

// The media types a fake keeps outlive the recording that made them, and with it the recording's
// hold on mfplat.dll; a hold of its own keeps their code loaded until they are released.
class MediaFoundationHold {
public:
    MediaFoundationHold()
        : module(::LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {}
    MediaFoundationHold(const MediaFoundationHold&) = delete;
    MediaFoundationHold& operator=(const MediaFoundationHold&) = delete;
    ~MediaFoundationHold()
    {
        if (module != nullptr) {
            ::FreeLibrary(module);
        }
    }

private:
    HMODULE module;
};

// Records what the writer is asked and fails the one call it is told to fail, so the whole
// set-up sequence and the sample path run on real media types, buffers and samples.
class FakeSinkWriter final : public IMFSinkWriter, public ScriptedCalls {
private:
    MediaFoundationHold hold; // first, so it is released after the kept types

public:
    std::vector<Microsoft::WRL::ComPtr<IMFMediaType>> addedTypes;
    std::vector<std::pair<DWORD, Microsoft::WRL::ComPtr<IMFMediaType>>> inputTypes;
    std::vector<WrittenSample> samples;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IMFSinkWriter)) {
            *object = static_cast<IMFSinkWriter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* type, DWORD* index) override
    {
        if (const HRESULT hr = record("AddStream"); FAILED(hr)) {
            return hr;
        }
        addedTypes.emplace_back(type);
        *index = static_cast<DWORD>(addedTypes.size() - 1) + 7;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD index, IMFMediaType* type,
                                                IMFAttributes*) override
    {
        if (const HRESULT hr = record("SetInputMediaType"); FAILED(hr)) {
            return hr;
        }
        inputTypes.emplace_back(index, type);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginWriting() override { return record("BeginWriting"); }
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD index, IMFSample* sample) override
    {
        if (const HRESULT hr = record("WriteSample"); FAILED(hr)) {
            return hr;
        }
        WrittenSample written;
        written.stream = index;
        sample->GetSampleTime(&written.time);
        sample->GetSampleDuration(&written.duration);
        sample->GetBufferCount(&written.bufferCount);
        sample->GetCount(&written.attributeCount);
        Microsoft::WRL::ComPtr<IMFMediaBuffer> buffer;
        if (SUCCEEDED(sample->GetBufferByIndex(0, &buffer))) {
            BYTE* data = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
                written.bytes.assign(data, data + length);
                buffer->Unlock();
            }
        }
        samples.push_back(written);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SendStreamTick(DWORD, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PlaceMarker(DWORD, void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NotifyEndOfSegment(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Flush(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Finalize() override { return record("Finalize"); }
    HRESULT STDMETHODCALLTYPE GetServiceForStream(DWORD, REFGUID, REFIID, void**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStatistics(DWORD, MF_SINK_WRITER_STATISTICS*) override
    {
        return E_NOTIMPL;
    }

    ULONG referenceCount() const { return references; }

private:
    ULONG references = 1;
};
