#include "recording/loopback_audio_capture.h"

#include "common/failure.h"
#include "recording/recording_clock.h"

#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

using Microsoft::WRL::ComPtr;

namespace {

// One second of engine buffer covers any gap between two polls of the worker loop.
constexpr REFERENCE_TIME EngineBufferDuration = 10'000'000;

void check(HRESULT hr, const wchar_t* stage)
{
    if (FAILED(hr)) {
        throw Failure{hr, stage};
    }
}

} // namespace

MixFormat describeMixFormat(const WAVEFORMATEX& format) noexcept
{
    MixFormat mix;
    mix.formatTag = format.wFormatTag;
    mix.channels = format.nChannels;
    mix.samplesPerSec = format.nSamplesPerSec;
    mix.blockAlign = format.nBlockAlign;
    mix.bitsPerSample = format.wBitsPerSample;
    constexpr WORD ExtensibleExtraBytes = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= ExtensibleExtraBytes) {
        const GUID& subFormat = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat;
        if (subFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) {
            mix.extensibleSubFormat = SampleKind::IeeeFloat;
        } else if (subFormat == KSDATAFORMAT_SUBTYPE_PCM) {
            mix.extensibleSubFormat = SampleKind::Pcm;
        }
    }
    return mix;
}

LoopbackAudioCapture::LoopbackAudioCapture() = default;

LoopbackAudioCapture::~LoopbackAudioCapture()
{
    if (audioClient) {
        audioClient->Stop();
    }
}

void LoopbackAudioCapture::start()
{
    ComPtr<IMMDeviceEnumerator> enumerator;
    check(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             IID_PPV_ARGS(&enumerator)),
          L"Urzadzenia audio");
    ComPtr<IMMDevice> device;
    check(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device), L"Brak wyjscia audio");
    startOnDevice(*device.Get(), AUDCLNT_STREAMFLAGS_LOOPBACK);
}

void LoopbackAudioCapture::startOnDevice(IMMDevice& device, DWORD streamFlags)
{
    check(device.Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                          reinterpret_cast<void**>(audioClient.ReleaseAndGetAddressOf())),
          L"Dzwiek systemowy");

    WAVEFORMATEX* format = nullptr;
    const HRESULT formatResult = audioClient->GetMixFormat(&format);
    mixFormat.reset(format);
    check(formatResult, L"Format dzwieku systemowego");

    packetFormat = acceptMixFormat(describeMixFormat(*mixFormat));
    if (!packetFormat) {
        throw Failure{AUDCLNT_E_UNSUPPORTED_FORMAT, L"Nieobslugiwany format audio"};
    }
    isFloatFormat = packetFormat->isFloat();

    check(audioClient->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags, EngineBufferDuration, 0,
                                  mixFormat.get(), nullptr),
          L"Przechwytywanie dzwieku systemowego");
    check(audioClient->GetService(IID_PPV_ARGS(&captureClient)), L"Bufor dzwieku systemowego");
    check(audioClient->Start(), L"Start dzwieku systemowego");
}

void LoopbackAudioCapture::drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
                                 std::int64_t pausedTotal)
{
    // A capture that never started has nothing to poll; asking it would dereference nothing.
    if (!captureClient || !packetFormat) {
        throw Failure{AUDCLNT_E_NOT_INITIALIZED, L"Odczyt audio"};
    }
    // Drain until the engine reports no further packet: a poll every few milliseconds can find
    // several waiting, and leaving them would let the engine buffer overflow.
    UINT32 packetFrames = 0;
    check(captureClient->GetNextPacketSize(&packetFrames), L"Odczyt audio");
    while (packetFrames != 0) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 devicePosition = 0;
        UINT64 counterPosition = 0;
        check(captureClient->GetBuffer(&data, &frames, &flags, &devicePosition, &counterPosition),
              L"Odczyt pakietu audio");
        if (!discard) {
            AudioPacket packet;
            packet.data = data;
            packet.byteCount = static_cast<std::size_t>(frames) * packetFormat->blockAlign;
            packet.frames = frames;
            packet.flags = flags;
            packet.position = counterPosition;
            if ((flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) != 0) {
                packet.readTime = nowIn100ns();
            }
            AudioChunk chunk = convertAudioPacket(*packetFormat, packet, startTime, pausedTotal);
            seams.place(chunk);
            queue.push_back(std::move(chunk));
        }
        check(captureClient->ReleaseBuffer(frames), L"Zwolnienie pakietu audio");
        check(captureClient->GetNextPacketSize(&packetFrames), L"Kolejny pakiet audio");
    }
}
