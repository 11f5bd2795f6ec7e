#include "screenshot/png_encoder.h"

#include "common/com_scope.h"

#include <wincodec.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

template <typename T>
bool obtained(HRESULT hr, const ComPtr<T>& object) noexcept
{
    return SUCCEEDED(hr) && object;
}

} // namespace

bool savePng(HBITMAP bitmap, const std::wstring& path)
{
    if (bitmap == nullptr || path.empty()) {
        return false;
    }
    // A thread already in the single-threaded apartment fails here with RPC_E_CHANGED_MODE.
    ScopedMultithreadedCom com;
    if (!com) {
        return false;
    }
    // Declared so that destruction releases the WIC bitmap, frame, encoder, stream and factory
    // in that order, all before CoUninitialize.
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IWICBitmap> source;

    HRESULT hr = ::CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(factory.GetAddressOf()));
    if (!obtained(hr, factory)) {
        return false;
    }
    hr = factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha,
                                          source.GetAddressOf());
    if (!obtained(hr, source)) {
        return false;
    }
    hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.GetAddressOf());
    if (!obtained(hr, encoder)) {
        return false;
    }
    hr = factory->CreateStream(stream.GetAddressOf());
    if (!obtained(hr, stream)) {
        return false;
    }
    if (FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) {
        return false;
    }
    if (FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache))) {
        return false;
    }
    hr = encoder->CreateNewFrame(frame.GetAddressOf(), nullptr);
    if (!obtained(hr, frame)) {
        return false;
    }
    if (FAILED(frame->Initialize(nullptr))) {
        return false;
    }
    if (FAILED(frame->WriteSource(source.Get(), nullptr))) {
        return false;
    }
    if (FAILED(frame->Commit())) {
        return false;
    }
    return SUCCEEDED(encoder->Commit());
}
