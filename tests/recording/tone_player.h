#pragma once
// Sound for the tests that run with a PulseAudio null sink (ORLIMO_PULSE=1 in tools/wine-env.sh)
// or on a machine with an output device.
#include "tone/test_tone.h"
#include "support/runs_under_wine.h"

#include <windows.h>
#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstdlib>

// Wine playing to the PulseAudio null sink, whose monitor is the default capture endpoint. On
// Windows the default capture endpoint is a microphone, so the tests that need this skip there.
inline bool hasAudioServer()
{
    const char* server = std::getenv("PULSE_SERVER");
    return test_support::runsUnderWine() && server != nullptr && *server != '\0';
}

// Plays the test tone (tone_seams.h) on the default output device for as long as it lives. The
// stream holds two seconds; topUp keeps it playing without a break for longer.
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
        // Float stereo at 48 kHz; the engine converts it where its mix differs.
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
        constexpr DWORD ConvertAsNeeded =
            AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        if (FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, ConvertAsNeeded, 20'000'000, 0,
                                      &format.Format, nullptr)) ||
            FAILED(client->GetBufferSize(&bufferFrames)) ||
            FAILED(client->GetService(IID_PPV_ARGS(&render)))) {
            return false;
        }
        return fill(bufferFrames) && SUCCEEDED(client->Start());
    }

    // Refills what the engine has played since the last call.
    bool topUp()
    {
        UINT32 padding = 0;
        return render && SUCCEEDED(client->GetCurrentPadding(&padding)) &&
               fill(bufferFrames - padding);
    }

    ~TonePlayer()
    {
        if (client) {
            client->Stop();
        }
    }

private:
    bool fill(UINT32 frames)
    {
        BYTE* data = nullptr;
        if (frames == 0) {
            return true;
        }
        if (FAILED(render->GetBuffer(frames, &data))) {
            return false;
        }
        float* samples = reinterpret_cast<float*>(data);
        for (UINT32 i = 0; i < frames; ++i) {
            const float value = tone::sample(played++, 48000);
            samples[2 * i] = value;
            samples[2 * i + 1] = value;
        }
        return SUCCEEDED(render->ReleaseBuffer(frames, 0));
    }

    Microsoft::WRL::ComPtr<IAudioClient> client;
    Microsoft::WRL::ComPtr<IAudioRenderClient> render;
    UINT32 bufferFrames = 0;
    std::int64_t played = 0;
};
