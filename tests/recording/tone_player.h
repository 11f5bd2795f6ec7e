#pragma once
// Sound for the tests that run with a PulseAudio null sink (ORLIMO_PULSE=1 in tools/wine-env.sh).
#include <windows.h>
#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <cmath>
#include <cstdlib>

inline bool hasAudioServer()
{
    const char* server = std::getenv("PULSE_SERVER");
    return server != nullptr && *server != '\0';
}

// Plays a steady tone on the default output device for as long as it lives.
class TonePlayer {
public:
    bool start()
    {
        Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator;
        Microsoft::WRL::ComPtr<IMMDevice> device;
        if (FAILED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      IID_PPV_ARGS(&enumerator))) ||
            FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)) ||
            FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(client.GetAddressOf())))) {
            return false;
        }
        // Float stereo at 48 kHz, the null sink's own mix, so no conversion is involved.
        WAVEFORMATEXTENSIBLE format{};
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.nChannels = 2;
        format.Format.nSamplesPerSec = 48000;
        format.Format.wBitsPerSample = 32;
        format.Format.nBlockAlign = 8;
        format.Format.nAvgBytesPerSec = 48000u * 8;
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = 32;
        format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        format.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
        Microsoft::WRL::ComPtr<IAudioRenderClient> render;
        UINT32 bufferFrames = 0;
        BYTE* data = nullptr;
        if (FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 20'000'000, 0,
                                      &format.Format, nullptr)) ||
            FAILED(client->GetBufferSize(&bufferFrames)) ||
            FAILED(client->GetService(IID_PPV_ARGS(&render))) ||
            FAILED(render->GetBuffer(bufferFrames, &data))) {
            return false;
        }
        float* samples = reinterpret_cast<float*>(data);
        for (UINT32 i = 0; i < bufferFrames; ++i) {
            const float value = 0.5f * std::sin(2.0f * 3.14159265f * 1000.0f *
                                                 static_cast<float>(i) / 48000.0f);
            samples[2 * i] = value;
            samples[2 * i + 1] = value;
        }
        return SUCCEEDED(render->ReleaseBuffer(bufferFrames, 0)) && SUCCEEDED(client->Start());
    }
    ~TonePlayer()
    {
        if (client) {
            client->Stop();
        }
    }

private:
    Microsoft::WRL::ComPtr<IAudioClient> client;
};
