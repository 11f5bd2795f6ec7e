#include "recording/sound/loopback_audio_capture.h"

#include "common/failure.h"
#include "recording/core/recording_clock.h"
#include "recording/core/media_clock.h"
#include "recording/core/recording_stage.h"

#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

#include <memory>
#include <string>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// One second of engine buffer covers any gap between two polls of the worker loop.
constexpr REFERENCE_TIME EngineBufferDuration = UnitsPerSecond;

// The endpoint's id string, or empty when it cannot be read.
std::wstring endpointId(IMMDevice& device)
{
    LPWSTR id = nullptr;
    if (FAILED(device.GetId(&id)) || id == nullptr) {
        return {};
    }
    const std::unique_ptr<wchar_t, decltype(&::CoTaskMemFree)> owned(id, ::CoTaskMemFree);
    return std::wstring(owned.get());
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
    throwIfFailed(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                     IID_PPV_ARGS(&enumerator)),
                  RecordingStage::AudioDevices);
    startWith(*enumerator.Get());
}

void LoopbackAudioCapture::startWith(IMMDeviceEnumerator& enumerator)
{
    ComPtr<IMMDevice> device;
    throwIfFailed(enumerator.GetDefaultAudioEndpoint(eRender, eConsole, &device),
                  RecordingStage::NoAudioOutput);
    startOnDevice(*device.Get(), AUDCLNT_STREAMFLAGS_LOOPBACK);
    deviceId = endpointId(*device.Get());
    deviceEnumerator = &enumerator;
    notifications.emplace(enumerator);
}

void LoopbackAudioCapture::endStream(AudioChunkQueue& queue)
{
    if (converter) {
        converter->endStream(queue);
    }
}

bool LoopbackAudioCapture::defaultOutputChangeReported()
{
    return notifications && notifications->changeReported();
}

bool LoopbackAudioCapture::defaultOutputMoved()
{
    if (!deviceEnumerator || deviceId.empty()) {
        return false;
    }
    // No default at all is no move: there is nothing to follow, and the captured device, if it
    // is gone, reports itself invalidated.
    ComPtr<IMMDevice> device;
    if (FAILED(deviceEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device))) {
        return false;
    }
    const std::wstring current = endpointId(*device.Get());
    return !current.empty() && current != deviceId;
}

void LoopbackAudioCapture::startOnDevice(IMMDevice& device, DWORD streamFlags)
{
    throwIfFailed(device.Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(audioClient.ReleaseAndGetAddressOf())),
                  RecordingStage::SystemSound);

    WAVEFORMATEX* format = nullptr;
    const HRESULT formatResult = audioClient->GetMixFormat(&format);
    mixFormat.reset(format);
    throwIfFailed(formatResult, RecordingStage::SystemSoundFormat);

    packetFormat = acceptMixFormat(describeMixFormat(*mixFormat));
    if (!packetFormat) {
        throw stageFailure(AUDCLNT_E_UNSUPPORTED_FORMAT, RecordingStage::UnsupportedAudioFormat);
    }
    isFloatFormat = packetFormat->isFloat();
    converter.emplace(*packetFormat);

    throwIfFailed(audioClient->Initialize(AUDCLNT_SHAREMODE_SHARED, streamFlags,
                                          EngineBufferDuration, 0, mixFormat.get(), nullptr),
                  RecordingStage::SystemSoundCapture);
    throwIfFailed(audioClient->GetService(IID_PPV_ARGS(&captureClient)),
                  RecordingStage::SystemSoundBuffer);
    throwIfFailed(audioClient->Start(), RecordingStage::SystemSoundStart);
}

void LoopbackAudioCapture::drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
                                 std::int64_t pausedTotal)
{
    // A capture that never started has nothing to poll; asking it would dereference nothing.
    if (!captureClient || !packetFormat || !converter) {
        throw stageFailure(AUDCLNT_E_NOT_INITIALIZED, RecordingStage::AudioRead);
    }
    if (discard) {
        converter->endStream(queue);
    }
    // Drain until the engine reports no further packet: a poll every few milliseconds can find
    // several waiting, and leaving them would let the engine buffer overflow.
    UINT32 packetFrames = 0;
    throwIfFailed(captureClient->GetNextPacketSize(&packetFrames), RecordingStage::AudioRead);
    while (packetFrames != 0) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 devicePosition = 0;
        UINT64 counterPosition = 0;
        throwIfFailed(
            captureClient->GetBuffer(&data, &frames, &flags, &devicePosition, &counterPosition),
            RecordingStage::AudioPacketRead);
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
            converter->convert(packet, startTime, pausedTotal, queue);
        }
        throwIfFailed(captureClient->ReleaseBuffer(frames), RecordingStage::AudioPacketRelease);
        throwIfFailed(captureClient->GetNextPacketSize(&packetFrames),
                      RecordingStage::NextAudioPacket);
    }
}
