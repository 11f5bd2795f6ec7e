// The proof that a recording becomes a playable MP4: the real worker records a moving pattern
// from the screen for 2 s through the real desktop capture and the real sink writer, with the
// system sound (a played tone), and the file is read back with the Media Foundation source
// reader. A program of its own so that it can be run on any Windows machine; it skips under Wine,
// which has no MP4 sink or encoders, and fails on Windows where no MP4 file can be begun.
#include "recording/audio_conversion.h"
#include "recording/com_media_scope.h"
#include "recording/duplication_frame_source.h"
#include "common/failure.h"
#include "recording/failure_text.h"
#include "recording/mp4_sink_writer.h"
#include "recording/recording_clock.h"
#include "recording/recording_session.h"
#include "recording/recording_worker.h"
#include "recording/tone_player.h"
#include "recording/tone_seams.h"
#include "recording/windows_recording_platform.h"
#include "common/system_library.h"
#include "common/unique_handle.h"
#include "runs_under_wine.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr int AreaLeft = 100;
constexpr int AreaTop = 100;
constexpr int AreaWidth = 320;
constexpr int AreaHeight = 240;
constexpr int BandTop = 200; // below it a white bar runs across a black band
constexpr std::int64_t FramePeriodUnits = 333'333;
constexpr std::int64_t RecordedUnits = 20'000'000;

// Quadrants of the pattern above the band and their BT.601 studio-range Y, U and V.
struct Quadrant {
    COLORREF colour;
    int y;
    int u;
    int v;
};
constexpr Quadrant Quadrants[4] = {
    {RGB(255, 0, 0), 82, 90, 240},
    {RGB(0, 255, 0), 144, 54, 34},
    {RGB(0, 0, 255), 41, 240, 110},
    {RGB(255, 255, 0), 210, 16, 146},
};

LRESULT CALLBACK MovingPatternWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        ::InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        for (int q = 0; q < 4; ++q) {
            const RECT quadrant{(q % 2) * AreaWidth / 2, (q / 2) * BandTop / 2,
                                (q % 2 + 1) * AreaWidth / 2, (q / 2 + 1) * BandTop / 2};
            HBRUSH brush = ::CreateSolidBrush(Quadrants[q].colour);
            ::FillRect(dc, &quadrant, brush);
            ::DeleteObject(brush);
        }
        const RECT band{0, BandTop, AreaWidth, AreaHeight};
        ::FillRect(dc, &band, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        const int x = static_cast<int>(::GetTickCount64() / 8 % (AreaWidth - 16));
        const RECT bar{x, BandTop, x + 16, AreaHeight};
        ::FillRect(dc, &bar, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A topmost window over the recorded area: four still quadrants and a bar that moves on every
// repaint, about every 15 ms.
class MovingPattern {
public:
    MovingPattern()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = MovingPatternWndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrlimoMovingPattern";
        ::RegisterClassW(&windowClass);
        window.reset(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"OrlimoMovingPattern",
                                       L"", WS_POPUP, AreaLeft, AreaTop, AreaWidth, AreaHeight,
                                       nullptr, nullptr, windowClass.hInstance, nullptr));
        ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(window.get());
        ::SetTimer(window.get(), 1, 15, nullptr);
    }

    static void pumpMessages()
    {
        MSG message{};
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }

private:
    UniqueWindow window;
};

// The stand-in for the loopback stream where the machine has no output device: 10 ms packets
// of the tone, positioned on the performance counter as the engine does, through the packet
// conversion and the seam placement of the real capture.
class ToneSource final : public SoundSource {
public:
    ToneSource() : nextPacket(nowIn100ns()) {}
    void drain(AudioChunkQueue& queue, bool discard, std::int64_t startTime,
               std::int64_t pausedTotal) override
    {
        constexpr std::uint32_t Frames = 480;
        constexpr std::int64_t Length = 100'000;
        std::vector<float> samples(Frames * 2);
        while (nextPacket + Length <= nowIn100ns()) {
            for (std::uint32_t i = 0; i < Frames; ++i) {
                const float value = tone::sample(played + i, 48000);
                samples[2 * i] = value;
                samples[2 * i + 1] = value;
            }
            if (!discard) {
                AudioPacket packet;
                packet.data = reinterpret_cast<const std::uint8_t*>(samples.data());
                packet.byteCount = samples.size() * sizeof(float);
                packet.frames = Frames;
                packet.position = static_cast<std::uint64_t>(nextPacket);
                converter.convert(packet, startTime, pausedTotal, queue);
            }
            played += Frames;
            nextPacket += Length;
        }
    }

private:
    std::int64_t nextPacket;
    std::int64_t played = 0;
    AudioStreamConverter converter{PacketFormat{SampleEncoding::Float32, 2, 48000, 8, 32}};
};

class ToneInsteadOfLoopback final : public RecordingPlatform {
public:
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override { return windows.makeMediaRuntime(); }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override { return windows.makeFileWriter(); }
    std::unique_ptr<SoundSource> startSound() override { return std::make_unique<ToneSource>(); }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        return windows.startDesktopCapture(region, width, height);
    }
    std::int64_t now() override { return windows.now(); }
    void sleepBetweenPasses() override { windows.sleepBetweenPasses(); }
    std::unique_ptr<SleepPrecision> preciseSleep() override { return windows.preciseSleep(); }

private:
    WindowsRecordingPlatform windows;
};

// Copies through the frame source it wraps and adds up how long the copies take.
struct CopyTimes {
    std::int64_t copies = 0;
    std::int64_t total = 0; // 100-ns units
};

class TimedFrames final : public FrameSource {
public:
    TimedFrames(std::unique_ptr<FrameSource> timed, CopyTimes& sum)
        : source(std::move(timed)), times(sum)
    {}
    void grab() override
    {
        const std::int64_t start = nowIn100ns();
        source->grab();
        times.total += nowIn100ns() - start;
        ++times.copies;
    }
    const std::uint8_t* pixels() const noexcept override { return source->pixels(); }

private:
    std::unique_ptr<FrameSource> source;
    CopyTimes& times;
};

// The program's platform with one way of copying the screen, timed, and the tone stand-in for
// the sound, so both ways are recorded alike on any machine.
class OneFrameSource final : public RecordingPlatform {
public:
    explicit OneFrameSource(bool gdiOnly) : gdiFromNowOn(gdiOnly) {}
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override { return windows.makeMediaRuntime(); }
    std::unique_ptr<MediaFileWriter> makeFileWriter() override { return windows.makeFileWriter(); }
    std::unique_ptr<SoundSource> startSound() override { return std::make_unique<ToneSource>(); }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect& region, std::int32_t width,
                                                     std::int32_t height) override
    {
        return std::make_unique<TimedFrames>(
            startDesktopFrameSource(region, width, height, gdiFromNowOn), times);
    }
    std::int64_t now() override { return windows.now(); }
    void sleepBetweenPasses() override { windows.sleepBetweenPasses(); }
    std::unique_ptr<SleepPrecision> preciseSleep() override { return windows.preciseSleep(); }

    bool gdiFromNowOn;
    CopyTimes times;

private:
    WindowsRecordingPlatform windows;
};

bool hasOutputDevice()
{
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> device;
    return SUCCEEDED(::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                        IID_PPV_ARGS(&enumerator))) &&
           SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device));
}

std::filesystem::path temporaryFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::filesystem::path path = std::filesystem::path(folder) / name;
    std::filesystem::remove(path);
    return path;
}

// Why this platform cannot write an MP4 file, or nothing when it can.
std::optional<std::wstring> whyNoMp4()
{
    const std::filesystem::path probe = temporaryFile(L"orlimo_readback_probe.mp4");
    std::optional<std::wstring> reason;
    try {
        ComMediaScope media;
        media.startCom();
        media.startMediaFoundation();
        Mp4SinkWriter writer(media.mediaFoundation());
        try {
            writer.open(probe.wstring(), AreaWidth, AreaHeight, VideoEncoders::HardwareAllowed);
        } catch (const Failure& failure) {
            reason = failureText(failure);
        }
        writer.abandon();
    } catch (const Failure& failure) {
        reason = failureText(failure);
    }
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return reason;
}

// The two Media Foundation calls of the read-back, taken from the system folder as the program
// takes its own: an import of mfplat.dll or mfreadwrite.dll would be searched for beside this
// program first. Loaded once, on the first read.
struct ReadBackFunctions {
    SystemLibrary platform{L"mfplat.dll"};
    SystemLibrary readWrite{L"mfreadwrite.dll"};
    decltype(&::MFCreateMediaType) createMediaType =
        platform.find<decltype(&::MFCreateMediaType)>("MFCreateMediaType");
    decltype(&::MFCreateSourceReaderFromURL) createSourceReader =
        readWrite.find<decltype(&::MFCreateSourceReaderFromURL)>("MFCreateSourceReaderFromURL");
};

const ReadBackFunctions& readBack()
{
    static const ReadBackFunctions functions;
    return functions;
}

HRESULT createSourceReader(const std::filesystem::path& path, IMFSourceReader** reader)
{
    const auto create = readBack().createSourceReader;
    return create != nullptr ? create(path.c_str(), nullptr, reader)
                             : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

struct ReadSample {
    LONGLONG time = 0;
    LONGLONG duration = 0;
    std::vector<std::uint8_t> bytes;
    LONG pitch = 0; // of a decoded video frame
};

// Every sample of one stream, as stored or decoded to `decodeTo`.
std::vector<ReadSample> readStream(const std::filesystem::path& path, DWORD stream,
                                   const GUID* major = nullptr, const GUID* decodeTo = nullptr)
{
    std::vector<ReadSample> samples;
    ComPtr<IMFSourceReader> reader;
    EXPECT_EQ(createSourceReader(path, &reader), S_OK);
    if (!reader) {
        return samples;
    }
    reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
    reader->SetStreamSelection(stream, TRUE);
    if (decodeTo != nullptr) {
        ComPtr<IMFMediaType> type;
        EXPECT_EQ(readBack().createMediaType(&type), S_OK);
        type->SetGUID(MF_MT_MAJOR_TYPE, *major);
        type->SetGUID(MF_MT_SUBTYPE, *decodeTo);
        if (*decodeTo == MFAudioFormat_PCM) {
            type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
        }
        EXPECT_EQ(reader->SetCurrentMediaType(stream, nullptr, type.Get()), S_OK);
    }
    for (;;) {
        DWORD index = 0;
        DWORD flags = 0;
        LONGLONG time = 0;
        ComPtr<IMFSample> sample;
        const HRESULT hr = reader->ReadSample(stream, 0, &index, &flags, &time, &sample);
        EXPECT_EQ(hr, S_OK);
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0) {
            break;
        }
        if (!sample) {
            continue;
        }
        ReadSample read;
        read.time = time;
        sample->GetSampleDuration(&read.duration);
        ComPtr<IMFMediaBuffer> buffer;
        ComPtr<IMF2DBuffer> frame;
        if (SUCCEEDED(sample->GetBufferByIndex(0, &buffer)) && SUCCEEDED(buffer.As(&frame))) {
            BYTE* scan0 = nullptr;
            if (SUCCEEDED(frame->Lock2D(&scan0, &read.pitch))) {
                const LONG rows = AreaHeight * 3 / 2;
                read.bytes.assign(scan0, scan0 + static_cast<std::size_t>(read.pitch) * rows);
                frame->Unlock2D();
            }
        }
        if (read.bytes.empty() && SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
            BYTE* data = nullptr;
            DWORD length = 0;
            if (SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
                read.bytes.assign(data, data + length);
                buffer->Unlock();
            }
            read.pitch = AreaWidth;
        }
        samples.push_back(std::move(read));
    }
    return samples;
}

struct StreamTypes {
    std::vector<GUID> video;
    std::vector<GUID> audio;
    DWORD videoStream = 0;
    DWORD audioStream = 0;
    UINT32 width = 0;
    UINT32 height = 0;
    LONGLONG duration = 0;
};

StreamTypes streamTypesOf(const std::filesystem::path& path)
{
    StreamTypes types;
    ComPtr<IMFSourceReader> reader;
    EXPECT_EQ(createSourceReader(path, &reader), S_OK);
    if (!reader) {
        return types;
    }
    for (DWORD stream = 0;; ++stream) {
        ComPtr<IMFMediaType> type;
        if (FAILED(reader->GetNativeMediaType(stream, 0, &type))) {
            break;
        }
        GUID major{};
        GUID subtype{};
        type->GetGUID(MF_MT_MAJOR_TYPE, &major);
        type->GetGUID(MF_MT_SUBTYPE, &subtype);
        if (major == MFMediaType_Video) {
            types.video.push_back(subtype);
            types.videoStream = stream;
            ::MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &types.width, &types.height);
        } else if (major == MFMediaType_Audio) {
            types.audio.push_back(subtype);
            types.audioStream = stream;
        }
    }
    PROPVARIANT duration;
    ::PropVariantInit(&duration);
    if (SUCCEEDED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE),
                                                   MF_PD_DURATION, &duration))) {
        types.duration = static_cast<LONGLONG>(duration.uhVal.QuadPart);
    }
    ::PropVariantClear(&duration);
    return types;
}

// Distance of a time from the nearest slot of the 30 fps grid.
LONGLONG offGrid(LONGLONG time)
{
    const LONGLONG below = time / FramePeriodUnits * FramePeriodUnits;
    return std::min(time - below, below + FramePeriodUnits - time);
}

int lumaAt(const ReadSample& frame, int x, int y)
{
    return frame.bytes.at(static_cast<std::size_t>(y) * frame.pitch + x);
}

int chromaAt(const ReadSample& frame, int x, int y, int component)
{
    const std::size_t plane = static_cast<std::size_t>(frame.pitch) * AreaHeight;
    return frame.bytes.at(plane + static_cast<std::size_t>(y / 2) * frame.pitch +
                          static_cast<std::size_t>(x / 2 * 2 + component));
}

} // namespace

TEST(Mp4ReadBack, TwoSecondsOfAMovingPatternAndATonePlayBackAsRecorded)
{
    ComMediaScope media;
    media.startCom();
    media.startMediaFoundation();
    if (const std::optional<std::wstring> reason = whyNoMp4()) {
        const std::string why(reason->begin(), reason->end());
        if (runsUnderWine()) {
            GTEST_SKIP() << "Wine cannot write an MP4 file (" << why
                         << "): run on Windows 10 or 11 with Media Foundation";
        }
        FAIL() << "no MP4 file could be begun: " << why;
    }

    const std::filesystem::path path = temporaryFile(L"orlimo_readback.mp4");
    MovingPattern pattern;
    for (int i = 0; i < 20; ++i) {
        MovingPattern::pumpMessages();
        ::Sleep(10);
    }

    // The real loopback of the default output device, playing the tone, where there is one;
    // otherwise a stand-in that hands the worker the tone as the engine would.
    const bool loopback = hasOutputDevice();
    TonePlayer player;
    std::unique_ptr<RecordingSession> session;
    if (loopback) {
        ASSERT_TRUE(player.start());
        session = std::make_unique<RecordingSession>();
    } else {
        session = std::make_unique<RecordingSession>(
            [](RecordingSession& s, PixelRect region, std::wstring output) {
                ToneInsteadOfLoopback platform;
                runRecordingWorkerWith(s, region, output, platform);
            });
    }
    const PixelRect area{AreaLeft, AreaTop, AreaLeft + AreaWidth, AreaTop + AreaHeight};
    ASSERT_TRUE(session->start(area, path.wstring()));
    for (int i = 0;
         i < 1000 && isActive(session->readState()) && session->readElapsed() < RecordedUnits;
         ++i) {
        MovingPattern::pumpMessages();
        player.topUp();
        ::Sleep(10);
    }
    session->requestStop();
    for (int i = 0; i < 3000 && isActive(session->readState()); ++i) {
        MovingPattern::pumpMessages();
        player.topUp();
        ::Sleep(10);
    }
    session->join();
    const std::wstring error = session->readErrorText();
    ASSERT_EQ(session->readState(), RecordingState::Saved)
        << std::string(error.begin(), error.end());
    const LONGLONG recorded = session->readElapsed();

    const StreamTypes types = streamTypesOf(path);
    ASSERT_EQ(types.video.size(), 1u);
    ASSERT_EQ(types.audio.size(), 1u);
    EXPECT_EQ(types.video[0], MFVideoFormat_H264);
    EXPECT_EQ(types.audio[0], MFAudioFormat_AAC);
    EXPECT_EQ(types.width, static_cast<UINT32>(AreaWidth));
    EXPECT_EQ(types.height, static_cast<UINT32>(AreaHeight));
    // The file lasts as long as the recording, give or take the frame that was due at the stop.
    EXPECT_LE(std::abs(types.duration - recorded), FramePeriodUnits)
        << "duration " << types.duration << ", recorded " << recorded;

    // About 30 frames a second, each on the grid (the container keeps times in its own scale,
    // so a slot is met to within half a millisecond).
    const std::vector<ReadSample> video = readStream(path, types.videoStream);
    ASSERT_FALSE(video.empty());
    EXPECT_GE(video.size(), 54u);
    EXPECT_LE(video.size(), 63u);
    for (const ReadSample& frame : video) {
        EXPECT_LE(offGrid(frame.time), 5'000) << "frame at " << frame.time;
    }
    // The sound track is at least as long as the picture; the AAC encoder works in frames of
    // 1024 samples, so its end may fall short by part of one.
    const std::vector<ReadSample> audio = readStream(path, types.audioStream);
    ASSERT_FALSE(audio.empty());
    const LONGLONG videoEnd = video.back().time + video.back().duration;
    const LONGLONG audioEnd = audio.back().time + audio.back().duration;
    EXPECT_GE(audioEnd, videoEnd - 1024 * 10'000'000LL / 48'000)
        << "audio ends at " << audioEnd << ", video at " << videoEnd;

    // The first decoded frame shows the pattern, and the bar has moved by the last one.
    const std::vector<ReadSample> frames =
        readStream(path, types.videoStream, &MFMediaType_Video, &MFVideoFormat_NV12);
    ASSERT_GE(frames.size(), 2u);
    const ReadSample& first = frames.front();
    ASSERT_GE(first.bytes.size(), static_cast<std::size_t>(first.pitch) * AreaHeight * 3 / 2);
    for (int q = 0; q < 4; ++q) {
        SCOPED_TRACE(q);
        const int x = (q % 2) * AreaWidth / 2 + AreaWidth / 4;
        const int y = (q / 2) * BandTop / 2 + BandTop / 4;
        EXPECT_NEAR(lumaAt(first, x, y), Quadrants[q].y, 12);
        EXPECT_NEAR(chromaAt(first, x, y, 0), Quadrants[q].u, 16);
        EXPECT_NEAR(chromaAt(first, x, y, 1), Quadrants[q].v, 16);
    }
    const ReadSample& last = frames.back();
    ASSERT_GE(last.bytes.size(), first.bytes.size());
    int barMoved = 0;
    for (int x = 0; x < AreaWidth; ++x) {
        barMoved += std::abs(lumaAt(first, x, 220) - lumaAt(last, x, 220)) > 100 ? 1 : 0;
    }
    EXPECT_GT(barMoved, 0) << "the band looks the same in the first and the last frame";

    // The tone comes back without clicks from broken seams.
    const std::vector<ReadSample> sound =
        readStream(path, types.audioStream, &MFMediaType_Audio, &MFAudioFormat_PCM);
    std::vector<std::int16_t> left;
    for (const ReadSample& block : sound) {
        for (std::size_t i = 0; i + 3 < block.bytes.size(); i += 4) {
            left.push_back(static_cast<std::int16_t>(block.bytes[i] | (block.bytes[i + 1] << 8)));
        }
    }
    int peak = 0;
    for (const std::int16_t value : left) {
        peak = std::max(peak, std::abs(static_cast<int>(value)));
    }
    ASSERT_GT(peak, 4000) << "the tone is not in the sound track ("
                          << (loopback ? "loopback" : "stand-in") << ")";
    EXPECT_EQ(tone::countClicks(left), 0);
    std::filesystem::remove(path);
}

// Both ways of copying the screen, each for 2 s where the platform offers it: the frames per
// second each reaches and its mean copy time, printed, so one run on a machine measures both.
TEST(Mp4ReadBack, EachFrameSourceRecordsAPlayableFile)
{
    ComMediaScope media;
    media.startCom();
    media.startMediaFoundation();
    if (const std::optional<std::wstring> reason = whyNoMp4()) {
        const std::string why(reason->begin(), reason->end());
        if (runsUnderWine()) {
            GTEST_SKIP() << "Wine cannot write an MP4 file (" << why
                         << "): run on Windows 10 or 11 with Media Foundation";
        }
        FAIL() << "no MP4 file could be begun: " << why;
    }
    MovingPattern pattern;
    const PixelRect area{AreaLeft, AreaTop, AreaLeft + AreaWidth, AreaTop + AreaHeight};
    for (const bool gdi : {true, false}) {
        const char* name = gdi ? "GDI copy" : "desktop duplication";
        SCOPED_TRACE(name);
        if (!gdi) {
            bool refused = false;
            const std::unique_ptr<FrameSource> probe =
                startDesktopFrameSource(area, AreaWidth, AreaHeight, refused);
            if (refused) {
                std::printf("%s: not offered here\n", name);
                continue;
            }
        }
        const std::filesystem::path path = temporaryFile(L"orlimo_readback_source.mp4");
        OneFrameSource platform(gdi);
        RecordingSession session(
            [&platform](RecordingSession& s, PixelRect region, std::wstring output) {
                runRecordingWorkerWith(s, region, output, platform);
            });
        ASSERT_TRUE(session.start(area, path.wstring()));
        for (int i = 0;
             i < 1000 && isActive(session.readState()) && session.readElapsed() < RecordedUnits;
             ++i) {
            MovingPattern::pumpMessages();
            ::Sleep(10);
        }
        session.requestStop();
        for (int i = 0; i < 3000 && isActive(session.readState()); ++i) {
            MovingPattern::pumpMessages();
            ::Sleep(10);
        }
        session.join();
        const std::wstring error = session.readErrorText();
        ASSERT_EQ(session.readState(), RecordingState::Saved)
            << std::string(error.begin(), error.end());
        EXPECT_EQ(platform.gdiFromNowOn, gdi);

        const StreamTypes types = streamTypesOf(path);
        ASSERT_EQ(types.video.size(), 1u);
        const std::size_t frames = readStream(path, types.videoStream).size();
        EXPECT_GT(frames, 0u);
        ASSERT_GT(platform.times.copies, 0);
        std::printf("%s: %.1f frames per second, mean copy %.2f ms over %lld copies\n", name,
                    static_cast<double>(frames) * 10'000'000.0 /
                        static_cast<double>(session.readElapsed()),
                    static_cast<double>(platform.times.total) / 10'000.0 /
                        static_cast<double>(platform.times.copies),
                    static_cast<long long>(platform.times.copies));
        std::filesystem::remove(path);
    }
}
