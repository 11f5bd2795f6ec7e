#pragma once
#include "recording/sound/audio_conversion.h"
#include "recording/sound/default_output_notifications.h"
#include "recording/core/recording_ports.h"

#include <windows.h>
#include <mmreg.h>
#include <objbase.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Declared only: the Core Audio headers bring in kernel-streaming definitions that clash with
// the Media Foundation headers in some SDKs, so they stay inside the capture's source file.
struct IAudioCaptureClient;
struct IAudioClient;
struct IMMDevice;
struct IMMDeviceEnumerator;

// The system sound: shared-mode loopback of the default output device, polled once per pass of
// the worker loop, every packet converted to 48 kHz stereo 16-bit and placed on the timeline.
class LoopbackAudioCapture final : public SoundSource {
public:
    LoopbackAudioCapture();
    LoopbackAudioCapture(const LoopbackAudioCapture&) = delete;
    LoopbackAudioCapture& operator=(const LoopbackAudioCapture&) = delete;
    // Stops the stream first, so the engine no longer writes into what is released after.
    ~LoopbackAudioCapture() override;

    // Opens and starts the loopback stream of the default render endpoint, and asks the system to
    // report changes of the default output. Runs on the thread that drains.
    void start();
    // start with a given device enumerator (start creates the system's).
    void startWith(IMMDeviceEnumerator& enumerator);
    // start's steps from the activation of the audio client on, on a given endpoint and with
    // the given stream flags (start passes the render endpoint and AUDCLNT_STREAMFLAGS_LOOPBACK).
    void startOnDevice(IMMDevice& device, DWORD streamFlags);

    // With `discard` the sound stops being continuous (a pause): the converter first hands out
    // what its filter still holds of the packets before, then the pending packets are read and
    // released unconverted.
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal) override;

    // Hands out what the conversion still holds back (a held packet, the filter's last frames).
    void endStream(AudioChunkQueue& queue) override;

    // Compares the current default render endpoint with the one start opened; false after
    // startOnDevice, and whenever the default cannot be read.
    bool defaultOutputMoved() override;
    // A change of the default render device for the console role, as the system reported it.
    bool defaultOutputChangeReported() override;

    bool isFloat() const noexcept { return isFloatFormat; }

private:
    struct CoTaskMemDeleter {
        void operator()(WAVEFORMATEX* format) const noexcept { ::CoTaskMemFree(format); }
    };

    Microsoft::WRL::ComPtr<IAudioClient> audioClient;
    Microsoft::WRL::ComPtr<IAudioCaptureClient> captureClient;
    std::unique_ptr<WAVEFORMATEX, CoTaskMemDeleter> mixFormat;
    bool isFloatFormat = false;
    std::optional<PacketFormat> packetFormat;
    std::optional<AudioStreamConverter> converter;
    Microsoft::WRL::ComPtr<IMMDeviceEnumerator> deviceEnumerator;
    // Declared after the enumerator, so it is unregistered before the enumerator is released.
    std::optional<DefaultOutputNotifications> notifications;
    std::wstring deviceId; // the endpoint start opened; empty: none to compare
};

// The fields of the engine's mix format that the conversion reads; an extensible tag whose
// structure is too short to hold a SubFormat counts as an unknown sub-format.
MixFormat describeMixFormat(const WAVEFORMATEX& format) noexcept;
