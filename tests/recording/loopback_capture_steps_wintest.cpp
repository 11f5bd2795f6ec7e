#include "common/failure.h"
#include "recording/sound/loopback_audio_capture.h"
#include "recording/core/recording_clock.h"
#include "scripted_calls.h"
#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>
#include <audioclient.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// Core Audio doubles for the steps Wine cannot reach: a started loopback stream, its packets and
// every failing call, on the capture's real code.
namespace {

class ReferenceCounted {
public:
    ULONG addRef() { return ++references; }
    ULONG release(ScriptedCalls& log, const char* name)
    {
        if (--references == 1) {
            // Back to the test's own reference: the capture has let go.
            log.calls.push_back(std::string("release ") + name);
        }
        return references;
    }
    ULONG count() const { return references; }

private:
    ULONG references = 1;
};

struct FakePacket {
    std::vector<std::uint8_t> bytes;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 position = 0;
};

class FakeCaptureClient final : public IAudioCaptureClient {
public:
    explicit FakeCaptureClient(ScriptedCalls& callLog) : log(callLog) {}
    std::deque<FakePacket> packets;
    std::vector<UINT32> releasedFrames;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references.addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references.release(log, "capture"); }

    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags,
                                        UINT64* devicePosition, UINT64* counterPosition) override
    {
        if (const HRESULT hr = log.record("GetBuffer"); FAILED(hr)) {
            return hr;
        }
        FakePacket& packet = packets.front();
        *data = packet.bytes.empty() ? nullptr : packet.bytes.data();
        *frames = packet.frames;
        *flags = packet.flags;
        *devicePosition = 0;
        *counterPosition = packet.position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames) override
    {
        releasedFrames.push_back(frames);
        if (const HRESULT hr = log.record("ReleaseBuffer"); FAILED(hr)) {
            return hr;
        }
        packets.pop_front();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override
    {
        if (const HRESULT hr = log.record("GetNextPacketSize"); FAILED(hr)) {
            return hr;
        }
        *frames = packets.empty() ? 0 : packets.front().frames;
        return S_OK;
    }

    ReferenceCounted references;

private:
    ScriptedCalls& log;
};

struct InitializeArguments {
    AUDCLNT_SHAREMODE shareMode{};
    DWORD streamFlags = 0;
    REFERENCE_TIME bufferDuration = 0;
    REFERENCE_TIME periodicity = -1;
    const WAVEFORMATEX* format = nullptr;
    LPCGUID sessionGuid = nullptr;
};

class FakeAudioClient final : public IAudioClient {
public:
    FakeAudioClient(ScriptedCalls& callLog, FakeCaptureClient& capture)
        : log(callLog), captureClient(capture)
    {}
    WAVEFORMATEXTENSIBLE mixFormat{};
    const WAVEFORMATEX* handedOutFormat = nullptr;
    InitializeArguments initialize;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references.addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references.release(log, "audio"); }

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE shareMode, DWORD streamFlags,
                                         REFERENCE_TIME bufferDuration, REFERENCE_TIME periodicity,
                                         const WAVEFORMATEX* format, LPCGUID sessionGuid) override
    {
        initialize = {shareMode, streamFlags, bufferDuration, periodicity, format, sessionGuid};
        return log.record("Initialize");
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*,
                                                WAVEFORMATEX**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        if (const HRESULT hr = log.record("GetMixFormat"); FAILED(hr)) {
            return hr;
        }
        // Handed out the way the engine does: the caller owns it and frees it with CoTaskMemFree.
        void* copy = ::CoTaskMemAlloc(sizeof(mixFormat));
        std::memcpy(copy, &mixFormat, sizeof(mixFormat));
        *format = static_cast<WAVEFORMATEX*>(copy);
        handedOutFormat = *format;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Start() override { return log.record("Start"); }
    HRESULT STDMETHODCALLTYPE Stop() override { return log.record("Stop"); }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetService(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (const HRESULT hr = log.record("GetService"); FAILED(hr)) {
            return hr;
        }
        if (iid != __uuidof(IAudioCaptureClient)) {
            return E_NOINTERFACE;
        }
        captureClient.AddRef();
        *object = &captureClient;
        return S_OK;
    }

    ReferenceCounted references;

private:
    ScriptedCalls& log;
    FakeCaptureClient& captureClient;
};

class FakeDevice final : public IMMDevice {
public:
    FakeDevice(ScriptedCalls& callLog, FakeAudioClient& client) : log(callLog), audioClient(client)
    {}
    DWORD activationContext = 0;
    bool activationParameters = true;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                                       void** object) override
    {
        *object = nullptr;
        activationContext = context;
        activationParameters = parameters != nullptr;
        if (const HRESULT hr = log.record("Activate"); FAILED(hr)) {
            return hr;
        }
        if (iid != __uuidof(IAudioClient)) {
            return E_NOINTERFACE;
        }
        audioClient.AddRef();
        *object = &audioClient;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD*) override { return E_NOTIMPL; }

private:
    ScriptedCalls& log;
    FakeAudioClient& audioClient;
};

// Hands out the fake device as the default output and keeps the notification client it is given.
class FakeEnumerator final : public IMMDeviceEnumerator {
public:
    FakeEnumerator(ScriptedCalls& callLog, IMMDevice& defaultDevice)
        : log(callLog), device(defaultDevice)
    {}
    IMMNotificationClient* client = nullptr;
    IMMNotificationClient* unregistered = nullptr;
    ULONG count() const { return references.count(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references.addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return references.release(log, "enumerator"); }

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow, ERole,
                                                      IMMDevice** endpoint) override
    {
        device.AddRef();
        *endpoint = &device;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* notified) override
    {
        client = notified;
        return log.record("Register");
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* notified) override
    {
        unregistered = notified;
        return log.record("Unregister");
    }

private:
    ScriptedCalls& log;
    IMMDevice& device;
    ReferenceCounted references;
};

// Watches COM task memory for the free of one block; everything else passes through unchanged.
class FreeSpy final : public IMallocSpy {
public:
    ScriptedCalls* log = nullptr;
    void* watched = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMallocSpy)) {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override
    {
        if (log != nullptr && request != nullptr && request == watched) {
            log->calls.push_back("free mix format");
        }
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                        BOOL) override
    {
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

WAVEFORMATEXTENSIBLE mixFormatOf(WORD tag, const GUID& subFormat, WORD bits, WORD channels,
                                 DWORD rate)
{
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = tag;
    format.Format.nChannels = channels;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = bits;
    format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
    if (tag == WAVE_FORMAT_EXTENSIBLE) {
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = bits;
        format.SubFormat = subFormat;
    }
    return format;
}

// An extensible tag whose size field leaves no room for the SubFormat: it must not be read.
WAVEFORMATEXTENSIBLE tooShortForItsSubFormat()
{
    WAVEFORMATEXTENSIBLE format =
        mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 2, 48000);
    format.Format.cbSize = 0;
    return format;
}

WAVEFORMATEXTENSIBLE floatStereo48k()
{
    return mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 2, 48000);
}

FakePacket floatPacket(const std::vector<float>& interleaved, UINT64 position, DWORD flags = 0)
{
    FakePacket packet;
    packet.bytes.resize(interleaved.size() * sizeof(float));
    std::memcpy(packet.bytes.data(), interleaved.data(), packet.bytes.size());
    packet.frames = static_cast<UINT32>(interleaved.size() / 2);
    packet.flags = flags;
    packet.position = position;
    return packet;
}

class LoopbackCaptureSteps : public ::testing::Test {
protected:
    LoopbackCaptureSteps() { audioClient.mixFormat = floatStereo48k(); }

    std::optional<Failure> startCapture(LoopbackAudioCapture& capture)
    {
        try {
            capture.startOnDevice(device, AUDCLNT_STREAMFLAGS_LOOPBACK);
        } catch (const Failure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    std::optional<Failure> drainCapture(LoopbackAudioCapture& capture, AudioChunkQueue& queue,
                                        bool discard, std::int64_t startTime,
                                        std::int64_t pausedTotal)
    {
        try {
            capture.drain(queue, discard, startTime, pausedTotal);
        } catch (const Failure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    ScriptedCalls log;
    FakeCaptureClient captureClient{log};
    FakeAudioClient audioClient{log, captureClient};
    FakeDevice device{log, audioClient};
};

void expectFailure(const std::optional<Failure>& failure, HRESULT hr, RecordingStage stage)
{
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(failure->hr), static_cast<std::uint32_t>(hr));
    EXPECT_EQ(stageOf(*failure), stage);
}

using Calls = std::vector<std::string>;

} // namespace

TEST_F(LoopbackCaptureSteps, StartOpensASharedPolledStreamInTheMixFormat)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    EXPECT_EQ(log.calls, (Calls{"Activate", "GetMixFormat", "Initialize", "GetService", "Start"}));
    EXPECT_EQ(device.activationContext, static_cast<DWORD>(CLSCTX_ALL));
    EXPECT_FALSE(device.activationParameters);
    EXPECT_EQ(audioClient.initialize.shareMode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(audioClient.initialize.streamFlags, 0x00020000u);
    EXPECT_EQ(audioClient.initialize.bufferDuration, 10'000'000);
    EXPECT_EQ(audioClient.initialize.periodicity, 0);
    EXPECT_EQ(audioClient.initialize.format, audioClient.handedOutFormat);
    EXPECT_EQ(audioClient.initialize.sessionGuid, nullptr);
    EXPECT_TRUE(capture.isFloat());
}

TEST_F(LoopbackCaptureSteps, EachStartCallFailsWithItsOwnStageAndCode)
{
    struct Case {
        const char* call;
        RecordingStage stage;
    };
    const Case cases[] = {
        {"Activate", RecordingStage::SystemSound},
        {"GetMixFormat", RecordingStage::SystemSoundFormat},
        {"Initialize", RecordingStage::SystemSoundCapture},
        {"GetService", RecordingStage::SystemSoundBuffer},
        {"Start", RecordingStage::SystemSoundStart},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        log.calls.clear();
        log.failingCall = c.call;
        log.failure = static_cast<HRESULT>(0x88890004); // device invalidated
        {
            LoopbackAudioCapture capture;
            expectFailure(startCapture(capture), static_cast<HRESULT>(0x88890004), c.stage);
            EXPECT_EQ(log.calls.back(), c.call);
        }
        EXPECT_EQ(audioClient.references.count(), 1u);
        EXPECT_EQ(captureClient.references.count(), 1u);
    }
}

TEST_F(LoopbackCaptureSteps, RefusesMixFormatsItCannotDecodeBeforeInitializing)
{
    const WAVEFORMATEXTENSIBLE refused[] = {
        mixFormatOf(WAVE_FORMAT_PCM, GUID{}, 8, 2, 44100),
        mixFormatOf(WAVE_FORMAT_IEEE_FLOAT, GUID{}, 64, 2, 48000),
        mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 64, 2, 48000),
        mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_PCM, 20, 2, 48000),
        mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_ADPCM, 16, 2, 48000),
        tooShortForItsSubFormat(),
    };
    for (const WAVEFORMATEXTENSIBLE& format : refused) {
        SCOPED_TRACE(format.Format.wBitsPerSample);
        log.calls.clear();
        audioClient.mixFormat = format;
        LoopbackAudioCapture capture;
        expectFailure(startCapture(capture), static_cast<HRESULT>(0x88890008),
                      RecordingStage::UnsupportedAudioFormat);
        EXPECT_EQ(log.calls, (Calls{"Activate", "GetMixFormat"}));
    }
}

TEST_F(LoopbackCaptureSteps, AcceptsFloatAndPcmMixFormats)
{
    struct Case {
        WAVEFORMATEXTENSIBLE format;
        bool isFloat;
    };
    const Case accepted[] = {
        {mixFormatOf(WAVE_FORMAT_IEEE_FLOAT, GUID{}, 32, 2, 48000), true},
        {mixFormatOf(WAVE_FORMAT_PCM, GUID{}, 16, 1, 44100), false},
        {mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_PCM, 24, 6, 96000), false},
        {mixFormatOf(WAVE_FORMAT_EXTENSIBLE, KSDATAFORMAT_SUBTYPE_PCM, 32, 2, 48000), false},
        {floatStereo48k(), true},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE(c.format.Format.wBitsPerSample);
        audioClient.mixFormat = c.format;
        LoopbackAudioCapture capture;
        EXPECT_FALSE(startCapture(capture).has_value());
        EXPECT_EQ(capture.isFloat(), c.isFloat);
    }
}

TEST_F(LoopbackCaptureSteps, DrainConvertsEveryPendingPacketAndReleasesIt)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    const std::int64_t startTime = 50'000'000;
    // Two packets of one stream: the second starts two frames (416 units) after the first.
    captureClient.packets.push_back(floatPacket({1.0f, -1.0f, 0.5f, 2.0f}, 60'000'000));
    captureClient.packets.push_back(floatPacket({0.0f, 0.25f}, 60'000'416));
    log.calls.clear();

    AudioChunkQueue queue;
    ASSERT_FALSE(drainCapture(capture, queue, false, startTime, 2'000'000).has_value());
    EXPECT_EQ(log.calls,
              (Calls{"GetNextPacketSize", "GetBuffer", "ReleaseBuffer", "GetNextPacketSize",
                     "GetBuffer", "ReleaseBuffer", "GetNextPacketSize"}));
    EXPECT_EQ(captureClient.releasedFrames, (std::vector<UINT32>{2, 1}));
    // The filter holds back the last frames of a stream until it ends.
    capture.endStream(queue);
    ASSERT_FALSE(queue.empty());
    // (60,000,000 - 50,000,000 - 2,000,000) x 48000 / 10,000,000
    EXPECT_EQ(queue.front().startFrame, 38'400);
    std::vector<std::int16_t> samples;
    for (const AudioChunk& chunk : queue) {
        EXPECT_EQ(chunk.startFrame, queue.front().startFrame + std::ssize(samples) / 2);
        samples.insert(samples.end(), chunk.samples.begin(), chunk.samples.end());
    }
    ASSERT_EQ(samples.size(), 6u);
    // Full scale on the left and the right, through the band limit: near it, with its sign.
    EXPECT_GT(samples[0], 25'000);
    EXPECT_LT(samples[1], -20'000);
}

TEST_F(LoopbackCaptureSteps, StartListensForDefaultOutputChangesOfRenderAndTheConsoleRoleOnly)
{
    FakeEnumerator enumerator(log, device);
    {
        LoopbackAudioCapture capture;
        capture.startWith(enumerator);
        EXPECT_EQ(log.calls, (Calls{"Activate", "GetMixFormat", "Initialize", "GetService", "Start",
                                    "Register"}));
        ASSERT_NE(enumerator.client, nullptr);
        EXPECT_FALSE(capture.defaultOutputChangeReported());
        enumerator.client->OnDefaultDeviceChanged(eCapture, eConsole, L"microphone");
        enumerator.client->OnDefaultDeviceChanged(eRender, eMultimedia, L"speakers");
        enumerator.client->OnDefaultDeviceChanged(eRender, eCommunications, L"headset");
        EXPECT_FALSE(capture.defaultOutputChangeReported());
        enumerator.client->OnDefaultDeviceChanged(eRender, eConsole, L"headset");
        EXPECT_TRUE(capture.defaultOutputChangeReported());
        EXPECT_FALSE(capture.defaultOutputChangeReported()); // reported once
        log.calls.clear();
    }
    // Unregistered with the client it registered, before the enumerator is let go.
    EXPECT_EQ(enumerator.unregistered, enumerator.client);
    const auto unregistered = std::find(log.calls.begin(), log.calls.end(), "Unregister");
    const auto released = std::find(log.calls.begin(), log.calls.end(), "release enumerator");
    ASSERT_NE(released, log.calls.end());
    EXPECT_LT(unregistered, released);
    EXPECT_EQ(enumerator.count(), 1u);
}

TEST_F(LoopbackCaptureSteps, RefusedRegistrationLeavesTheOnceASecondCheck)
{
    FakeEnumerator enumerator(log, device);
    log.failingCall = "Register";
    {
        LoopbackAudioCapture capture;
        capture.startWith(enumerator);
        EXPECT_FALSE(capture.defaultOutputChangeReported());
        log.calls.clear();
    }
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "Unregister"), 0);
    EXPECT_EQ(enumerator.count(), 1u);
}

TEST_F(LoopbackCaptureSteps, DiscardReadsAndReleasesPacketsWithoutQueueing)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    captureClient.packets.push_back(floatPacket({0.5f, 0.5f}, 1));
    captureClient.packets.push_back(floatPacket({0.5f, 0.5f, 0.5f, 0.5f}, 2));
    AudioChunkQueue queue;
    ASSERT_FALSE(drainCapture(capture, queue, true, 0, 0).has_value());
    EXPECT_TRUE(queue.empty());
    EXPECT_TRUE(captureClient.packets.empty());
    EXPECT_EQ(captureClient.releasedFrames, (std::vector<UINT32>{1, 2}));
}

TEST_F(LoopbackCaptureSteps, NothingPendingReadsNoPacket)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    log.calls.clear();
    AudioChunkQueue queue;
    ASSERT_FALSE(drainCapture(capture, queue, false, 0, 0).has_value());
    EXPECT_EQ(log.calls, (Calls{"GetNextPacketSize"}));
    EXPECT_TRUE(queue.empty());
}

TEST_F(LoopbackCaptureSteps, SilentPacketWithoutDataBecomesZerosAtItsPlace)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    FakePacket silent;
    silent.frames = 480;
    silent.flags = AUDCLNT_BUFFERFLAGS_SILENT;
    silent.position = 10'000'000;
    captureClient.packets.push_back(silent);
    AudioChunkQueue queue;
    ASSERT_FALSE(drainCapture(capture, queue, false, 0, 0).has_value());
    capture.endStream(queue);
    ASSERT_FALSE(queue.empty());
    EXPECT_EQ(queue[0].startFrame, 48'000);
    std::size_t values = 0;
    for (const AudioChunk& chunk : queue) {
        values += chunk.samples.size();
        EXPECT_EQ(std::count(chunk.samples.begin(), chunk.samples.end(), 0),
                  std::ssize(chunk.samples));
    }
    EXPECT_EQ(values, 960u);
}

TEST_F(LoopbackCaptureSteps, PacketWithTimestampErrorEndsWhenItIsRead)
{
    LoopbackAudioCapture capture;
    ASSERT_FALSE(startCapture(capture).has_value());
    std::vector<float> tenMilliseconds(960, 0.1f);
    captureClient.packets.push_back(
        floatPacket(tenMilliseconds, 999'999'999'999, AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR));
    const std::int64_t startTime = nowIn100ns();
    AudioChunkQueue queue;
    const std::int64_t before = nowIn100ns();
    ASSERT_FALSE(drainCapture(capture, queue, false, startTime, 0).has_value());
    const std::int64_t after = nowIn100ns();
    ASSERT_EQ(queue.size(), 1u);
    // Read time minus the packet's 100,000 units, on the timeline.
    EXPECT_GE(queue[0].startFrame, (before - 100'000 - startTime) * 48'000 / 10'000'000);
    EXPECT_LE(queue[0].startFrame, (after - 100'000 - startTime) * 48'000 / 10'000'000);
}

TEST_F(LoopbackCaptureSteps, EachDrainCallFailsWithItsOwnStageAndCode)
{
    struct Case {
        const char* call;
        RecordingStage stage;
    };
    const Case cases[] = {
        {"GetNextPacketSize#2", RecordingStage::AudioRead},
        {"GetBuffer", RecordingStage::AudioPacketRead},
        {"ReleaseBuffer", RecordingStage::AudioPacketRelease},
        {"GetNextPacketSize#3", RecordingStage::NextAudioPacket},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        log.calls.clear();
        log.failingCall.clear();
        captureClient.packets.clear();
        LoopbackAudioCapture capture;
        ASSERT_FALSE(startCapture(capture).has_value());
        // One drain that finds nothing, then the failing one.
        AudioChunkQueue queue;
        ASSERT_FALSE(drainCapture(capture, queue, false, 0, 0).has_value());
        captureClient.packets.push_back(floatPacket({0.1f, 0.1f}, 0));
        log.failingCall = c.call;
        log.failure = static_cast<HRESULT>(0x88890004);
        expectFailure(drainCapture(capture, queue, false, 0, 0), static_cast<HRESULT>(0x88890004),
                      c.stage);
        log.failingCall.clear();
    }
}

TEST_F(LoopbackCaptureSteps, DestructionStopsTheStreamBeforeFreeingTheFormatAndTheClients)
{
    // The spy outlives the test: COM may keep it until every block it saw has been freed.
    static FreeSpy spy;
    ASSERT_EQ(::CoRegisterMallocSpy(&spy), S_OK);
    {
        LoopbackAudioCapture capture;
        ASSERT_FALSE(startCapture(capture).has_value());
        spy.watched = const_cast<WAVEFORMATEX*>(audioClient.handedOutFormat);
        spy.log = &log;
        log.calls.clear();
    }
    spy.log = nullptr;
    ::CoRevokeMallocSpy();
    EXPECT_EQ(log.calls, (Calls{"Stop", "free mix format", "release capture", "release audio"}));
    EXPECT_EQ(audioClient.references.count(), 1u);
    EXPECT_EQ(captureClient.references.count(), 1u);
}

TEST_F(LoopbackCaptureSteps, CaptureThatNeverActivatedStopsNothing)
{
    log.failingCall = "Activate";
    {
        LoopbackAudioCapture capture;
        ASSERT_TRUE(startCapture(capture).has_value());
        log.calls.clear();
    }
    EXPECT_TRUE(log.calls.empty());
}
