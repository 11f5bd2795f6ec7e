// The proof that a recording becomes a playable MP4: the real worker records a moving pattern
// from the screen for 2 s through the real desktop capture and the real sink writer, with the
// system sound (a played tone), and the file is read back with the Media Foundation source
// reader. It records three sizes of area, each once with hardware encoders allowed and once with
// the software encoder only, one of them with a translucent layered window over the pattern, and
// prints for each what the recording achieved. A program of its own so that it can be run on any
// Windows machine; it skips under Wine, which has no MP4 sink or encoders, and fails on Windows
// where no MP4 file can be begun. Every step has a time limit, so a hang ends it as a failure.
// A finished recording must be an ordinary MP4; a recording whose process is killed after 8 s
// must be completed as the next start completes it and play all but its last seconds.
#include "common/failure.h"
#include "common/system_library.h"
#include "common/unique_handle.h"
#include "recording/mp4/com_media_scope.h"
#include "recording/engine/windows_recording_platform.h"
#include "recording/video/resilient_frame_source.h"
#include "recording/core/failure_text.h"
#include "recording/mp4/fragment_index.h"
#include "recording/mp4/initial_moov.h"
#include "recording/mp4/interrupted_recordings.h"
#include "recording/mp4/mp4_sink_writer.h"
#include "recording/panel/video_file_name.h"
#include "recording/engine/recording_session.h"
#include "recording/engine/recording_worker.h"
#include "support/file_bytes.h"
#include "support/fragmented_mp4.h"
#include "support/message_pump.h"
#include "support/runs_under_wine.h"

#include "observed_recording_platform.h"
#include "proof_watchdog.h"
#include "tone_player.h"
#include "tone/test_tone.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

using namespace std::chrono_literals;

constexpr std::int64_t FramePeriodUnits = 333'333;
constexpr std::int64_t RecordedUnits = 20'000'000;

// One recording of the proof.
struct ProofCase {
    std::int32_t width;
    std::int32_t height;
    VideoEncoders encoders;
    bool translucentWindow; // a layered window at half opacity over part of the pattern
};

// The smallest area, one whose sides are no multiple of an encoder's 16-pixel blocks, and a full
// HD one (where the screen is that large). A translucent window in one of them proves that the
// recording's screen copy, made without CAPTUREBLT, contains layered windows.
constexpr ProofCase ProofCases[] = {
    {16, 16, VideoEncoders::HardwareAllowed, false},
    {16, 16, VideoEncoders::SoftwareOnly, false},
    {642, 482, VideoEncoders::HardwareAllowed, false},
    {642, 482, VideoEncoders::SoftwareOnly, true},
    {1920, 1080, VideoEncoders::HardwareAllowed, false},
    {1920, 1080, VideoEncoders::SoftwareOnly, false},
};

std::string describe(const ProofCase& proofCase)
{
    return std::to_string(proofCase.width) + "x" + std::to_string(proofCase.height) +
           (proofCase.encoders == VideoEncoders::HardwareAllowed ? " hardware allowed"
                                                                 : " software only");
}

// How GoogleTest names a case's parameter, in each test's name too.
void PrintTo(const ProofCase& proofCase, std::ostream* out)
{
    *out << describe(proofCase) << (proofCase.translucentWindow ? ", translucent window" : "");
}

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

// Where the parts of the pattern lie in an area of the given size: four still quadrants above a
// black band, across which a white bar moves; and the place of the translucent window, inside
// the first quadrant and clear of its centre, where the quadrant's colour is checked.
struct PatternLayout {
    int width;
    int height;

    int bandTop() const noexcept { return height * 5 / 6; }
    int bandRow() const noexcept { return bandTop() + (height - bandTop()) / 2; }
    int barWidth() const noexcept { return std::max(2, width / 20); }
    RECT quadrant(int q) const noexcept
    {
        return {(q % 2) * width / 2, (q / 2) * bandTop() / 2, (q % 2 + 1) * width / 2,
                (q / 2 + 1) * bandTop() / 2};
    }
    POINT quadrantCentre(int q) const noexcept
    {
        return {(q % 2) * width / 2 + width / 4, (q / 2) * bandTop() / 2 + bandTop() / 4};
    }
    RECT translucentPatch() const noexcept
    {
        const int left = width / 16;
        const int top = bandTop() / 16;
        return {left, top, left + width / 8, top + bandTop() / 8};
    }
};

PatternLayout layoutOf(HWND window)
{
    RECT client{};
    ::GetClientRect(window, &client);
    return {static_cast<int>(client.right), static_cast<int>(client.bottom)};
}

LRESULT CALLBACK MovingPatternWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        ::InvalidateRect(window, nullptr, FALSE);
        return 0;
    }
    if (message == WM_PAINT) {
        const PatternLayout layout = layoutOf(window);
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        for (int q = 0; q < 4; ++q) {
            const RECT quadrant = layout.quadrant(q);
            HBRUSH brush = ::CreateSolidBrush(Quadrants[q].colour);
            ::FillRect(dc, &quadrant, brush);
            ::DeleteObject(brush);
        }
        const RECT band{0, layout.bandTop(), layout.width, layout.height};
        ::FillRect(dc, &band, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        const int x = static_cast<int>(::GetTickCount64() / 8 % (layout.width - layout.barWidth()));
        const RECT bar{x, layout.bandTop(), x + layout.barWidth(), layout.height};
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
    explicit MovingPattern(const PixelRect& area)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = MovingPatternWndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrlimoMovingPattern";
        ::RegisterClassW(&windowClass);
        window.reset(::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"OrlimoMovingPattern",
                                       L"", WS_POPUP, area.left, area.top, area.width(),
                                       area.height(), nullptr, nullptr, windowClass.hInstance,
                                       nullptr));
        ::ShowWindow(window.get(), SW_SHOWNOACTIVATE);
        ::UpdateWindow(window.get());
        ::SetTimer(window.get(), 1, 15, nullptr);
    }

private:
    UniqueWindow window;
};

// The translucent window: green, composed at half opacity over the red quadrant.
constexpr COLORREF TranslucentColour = RGB(0, 255, 0);
constexpr BYTE TranslucentAlpha = 128;

LRESULT CALLBACK TranslucentWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(window, &paint);
        HBRUSH brush = ::CreateSolidBrush(TranslucentColour);
        ::FillRect(dc, &paint.rcPaint, brush);
        ::DeleteObject(brush);
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// A layered window with a constant alpha over part of the pattern, above it in the topmost band.
class TranslucentWindow {
public:
    TranslucentWindow(const PixelRect& area, const RECT& patch)
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = TranslucentWndProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrlimoTranslucentPatch";
        ::RegisterClassW(&windowClass);
        window.reset(::CreateWindowExW(
            WS_EX_LAYERED | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT,
            L"OrlimoTranslucentPatch", L"", WS_POPUP, area.left + patch.left, area.top + patch.top,
            patch.right - patch.left, patch.bottom - patch.top, nullptr, nullptr,
            windowClass.hInstance, nullptr));
        ::SetLayeredWindowAttributes(window.get(), 0, TranslucentAlpha, LWA_ALPHA);
        ::SetWindowPos(window.get(), HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::UpdateWindow(window.get());
    }

private:
    UniqueWindow window;
};

struct Yuv {
    double y;
    double u;
    double v;
};

// BT.601 studio range, as the recording's NV12 conversion has it.
Yuv studioYuv(double red, double green, double blue)
{
    return {16.0 + (65.481 * red + 128.553 * green + 24.966 * blue) / 255.0,
            128.0 + (-37.797 * red - 74.203 * green + 112.0 * blue) / 255.0,
            128.0 + (112.0 * red - 93.786 * green - 18.214 * blue) / 255.0};
}

// What the composition shows where the translucent window lies over `under`.
Yuv blendedOver(COLORREF under)
{
    const auto blend = [](int top, int bottom) {
        return (top * TranslucentAlpha + bottom * (255 - TranslucentAlpha)) / 255.0;
    };
    return studioYuv(blend(GetRValue(TranslucentColour), GetRValue(under)),
                     blend(GetGValue(TranslucentColour), GetGValue(under)),
                     blend(GetBValue(TranslucentColour), GetBValue(under)));
}

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

// Why this platform cannot write an MP4 file, or nothing when it can. Asked of the software
// encoder, which takes every size: a hardware encoder's refusal is the recording's to handle.
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
            writer.open(probe.wstring(), 320, 240, VideoEncoders::SoftwareOnly);
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

// Skips the test under Wine, which has no MP4 writer; on Windows a file that cannot be begun is a
// failure.
void requireMp4Writer()
{
    if (const std::optional<std::wstring> reason = whyNoMp4()) {
        const std::string why = narrow(*reason);
        if (test_support::runsUnderWine()) {
            GTEST_SKIP() << "Wine cannot write an MP4 file (" << why
                         << "): run on Windows 10 or 11 with Media Foundation";
        }
        FAIL() << "no MP4 file could be begun: " << why;
    }
}

// Starts COM and Media Foundation on `media` and requires the MP4 writer; answers whether the
// test goes on, that is, was neither skipped nor failed.
bool mp4WriterReady(ComMediaScope& media)
{
    media.startCom();
    media.startMediaFoundation();
    requireMp4Writer();
    return !::testing::Test::IsSkipped() && !::testing::Test::HasFatalFailure();
}

// The area of the primary screen that a case records, or nothing where the screen is smaller.
std::optional<PixelRect> areaOnScreen(const ProofCase& proofCase)
{
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    if (proofCase.width > screenWidth || proofCase.height > screenHeight) {
        return std::nullopt;
    }
    const int left = std::min(100, screenWidth - proofCase.width);
    const int top = std::min(100, screenHeight - proofCase.height);
    return PixelRect{left, top, left + proofCase.width, top + proofCase.height};
}

struct RecordingResult {
    bool started = false;
    RecordingState state = RecordingState::Idle;
    std::wstring errorText;
    std::int64_t recorded = 0;
    RecordingObservations observations;
};

// Records `area` for 2 s with the real worker while the pattern moves and the tone plays. The
// worker runs on the session's thread; this one only waits, each wait under the watchdog, and
// joins the worker only once it has returned, so no wait here can outlast its limit.
RecordingResult recordArea(const PixelRect& area, const std::filesystem::path& path,
                           const ObservedRecordingSetup& setup, TonePlayer& player,
                           ProofWatchdog& watchdog, const std::string& what)
{
    ObservedRecordingPlatform platform(setup);
    std::atomic<bool> workerReturned{false};
    RecordingSession session(
        [&platform, &workerReturned](RecordingSession& s, PixelRect region, std::wstring output) {
            runRecordingWorkerWith(s, region, output, platform);
            workerReturned.store(true);
        });
    const auto whereIsTheWorker = [&platform, &workerReturned] {
        return workerReturned.load() ? std::string("the worker returned; its thread goes on")
                                     : platform.workerStage().describe();
    };
    const auto keepShowingWhile = [&player](const auto& busy) {
        while (busy()) {
            test_support::pumpMessages();
            player.topUp();
            ::Sleep(10);
        }
    };

    RecordingResult result;
    watchdog.begin(what + ": starting and recording 2 s", 30s, whereIsTheWorker);
    result.started = session.start(area, path.wstring());
    if (!result.started) {
        return result;
    }
    keepShowingWhile([&session] {
        return isActive(session.readState()) && session.readElapsed() < RecordedUnits;
    });
    watchdog.begin(what + ": stopping and finalizing the file", 30s, whereIsTheWorker);
    session.requestStop();
    keepShowingWhile([&workerReturned] { return !workerReturned.load(); });
    session.join();

    result.state = session.readState();
    result.errorText = session.readErrorText();
    result.recorded = session.readElapsed();
    result.observations = platform.observations();
    return result;
}

// One line of what the recording achieved (the README's "Proof on Windows" explains it).
void printRecordingLine(const std::string& what, const RecordingResult& result)
{
    const RecordingObservations& seen = result.observations;
    const double seconds = static_cast<double>(result.recorded) / 1e7;
    const double framesPerSecond =
        seconds > 0 ? static_cast<double>(seen.framesWritten) / seconds : 0.0;
    const double meanPass = seen.passes > 0 ? static_cast<double>(seen.passTotal) / 1e4 /
                                                  static_cast<double>(seen.passes)
                                            : 0.0;
    std::string encoder = seen.encoders.empty() ? "none (no writer opened)" : seen.encoders.back();
    if (seen.writersMade > 1 && !seen.refusals.empty()) {
        encoder += ", after a fallback from the first writer";
        if (seen.encoders.size() > 1) {
            encoder += " (" + seen.encoders.front() + ")";
        }
        encoder += ", which failed at " + seen.refusals.front();
    } else {
        encoder += ", no fallback";
    }
    std::printf("[ recorded ] %s: %lld frames, %.1f fps, %lld passes, mean %.2f ms, "
                "longest %.2f ms, encoder %s\n",
                what.c_str(), static_cast<long long>(seen.framesWritten), framesPerSecond,
                static_cast<long long>(seen.passes), meanPass,
                static_cast<double>(seen.longestPass) / 1e4, encoder.c_str());
    std::fflush(stdout);
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
    LONG rows = 0;  // of its luma plane: the decoder may pad the height (1080 to 1088)
};

// Every sample of one stream, as stored or decoded to `decodeTo`. Of decoded video only the
// first and the last frame are kept; a full HD recording would otherwise hold 200 MB.
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
    const bool decodedVideo = decodeTo != nullptr && *major == MFMediaType_Video;
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
    UINT32 decodedWidth = 0;
    UINT32 decodedHeight = 0;
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
        if (decodedVideo &&
            (decodedHeight == 0 || (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0)) {
            ComPtr<IMFMediaType> current;
            EXPECT_EQ(reader->GetCurrentMediaType(stream, &current), S_OK);
            if (current) {
                ::MFGetAttributeSize(current.Get(), MF_MT_FRAME_SIZE, &decodedWidth,
                                     &decodedHeight);
            }
        }
        if (!sample) {
            continue;
        }
        ReadSample read;
        read.time = time;
        read.rows = static_cast<LONG>(decodedHeight);
        sample->GetSampleDuration(&read.duration);
        ComPtr<IMFMediaBuffer> buffer;
        ComPtr<IMF2DBuffer> frame;
        if (SUCCEEDED(sample->GetBufferByIndex(0, &buffer)) && SUCCEEDED(buffer.As(&frame))) {
            BYTE* scan0 = nullptr;
            if (SUCCEEDED(frame->Lock2D(&scan0, &read.pitch))) {
                const LONG rows = read.rows * 3 / 2;
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
            read.pitch = static_cast<LONG>(decodedWidth);
        }
        if (decodedVideo && samples.size() == 2) {
            samples.back() = std::move(read);
        } else {
            samples.push_back(std::move(read));
        }
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
    const std::size_t plane = static_cast<std::size_t>(frame.pitch) * frame.rows;
    return frame.bytes.at(plane + static_cast<std::size_t>(y / 2) * frame.pitch +
                          static_cast<std::size_t>(x / 2 * 2 + component));
}

class Mp4ReadBack : public testing::TestWithParam<ProofCase> {};

} // namespace

TEST_P(Mp4ReadBack, TwoSecondsOfAMovingPatternAndATonePlayBackAsRecorded)
{
    const ProofCase& proofCase = GetParam();
    const std::string what = describe(proofCase);
    ProofWatchdog watchdog;
    // As the program does: without it, on a scaled display this process's windows and the
    // screen's size would be in scaled pixels while the screen copy is in the screen's own.
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    watchdog.begin(what + ": checking that an MP4 file can be begun", 30s);
    ComMediaScope media;
    if (!mp4WriterReady(media)) {
        return;
    }
    const std::optional<PixelRect> area = areaOnScreen(proofCase);
    if (!area) {
        GTEST_SKIP() << "the primary screen (" << ::GetSystemMetrics(SM_CXSCREEN) << "x"
                     << ::GetSystemMetrics(SM_CYSCREEN) << ") is smaller than the area";
    }

    const std::filesystem::path path = temporaryFile(L"orlimo_readback.mp4");
    const PatternLayout layout{proofCase.width, proofCase.height};
    MovingPattern pattern(*area);
    std::optional<TranslucentWindow> translucent;
    if (proofCase.translucentWindow) {
        translucent.emplace(*area, layout.translucentPatch());
    }
    test_support::pumpMessagesFor(test_support::Milliseconds{200});

    // The real loopback of the default output device, playing the tone, where there is one;
    // otherwise a stand-in that hands the worker the tone as the engine would.
    watchdog.begin(what + ": starting the tone on the default output device", 30s);
    const bool loopback = hasOutputDevice();
    TonePlayer player;
    if (loopback) {
        ASSERT_TRUE(player.start());
    }
    const RecordingResult result = recordArea(
        *area, path, ObservedRecordingSetup{loopback, proofCase.encoders}, player, watchdog, what);
    ASSERT_TRUE(result.started);
    printRecordingLine(what, result);
    ASSERT_EQ(result.state, RecordingState::Saved) << narrow(result.errorText);
    const LONGLONG recorded = result.recorded;

    // Written in fragments, completed as an ordinary MP4 at the end: what editors expect.
    {
        const test_support::Bytes bytes = test_support::readFileBytes(path.wstring());
        const std::vector<test_support::TopLevelBox> boxes = test_support::topLevelBoxList(bytes);
        std::string boxTypes;
        for (const test_support::TopLevelBox& box : boxes) {
            boxTypes += box.type + " ";
            EXPECT_NE(box.type, "moof");
            EXPECT_NE(box.type, "?");
        }
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.back().type, "moov") << boxTypes;
        EXPECT_FALSE(test_support::mentions(bytes, boxes.back().offset,
                                            boxes.back().offset + boxes.back().size, "mvex"))
            << "the final moov still announces fragments";
    }

    watchdog.begin(what + ": reading the file back", 120s);
    const StreamTypes types = streamTypesOf(path);
    ASSERT_EQ(types.video.size(), 1u);
    ASSERT_EQ(types.audio.size(), 1u);
    EXPECT_EQ(types.video[0], MFVideoFormat_H264);
    EXPECT_EQ(types.audio[0], MFAudioFormat_AAC);
    EXPECT_EQ(types.width, static_cast<UINT32>(proofCase.width));
    EXPECT_EQ(types.height, static_cast<UINT32>(proofCase.height));
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
    ASSERT_GE(first.rows, proofCase.height);
    ASSERT_GE(first.bytes.size(), static_cast<std::size_t>(first.pitch) * first.rows * 3 / 2);
    for (int q = 0; q < 4; ++q) {
        SCOPED_TRACE(q);
        const POINT centre = layout.quadrantCentre(q);
        EXPECT_NEAR(lumaAt(first, centre.x, centre.y), Quadrants[q].y, 12);
        EXPECT_NEAR(chromaAt(first, centre.x, centre.y, 0), Quadrants[q].u, 16);
        EXPECT_NEAR(chromaAt(first, centre.x, centre.y, 1), Quadrants[q].v, 16);
    }
    const ReadSample& last = frames.back();
    ASSERT_GE(last.bytes.size(), first.bytes.size());
    int barMoved = 0;
    for (int x = 0; x < proofCase.width; ++x) {
        barMoved +=
            std::abs(lumaAt(first, x, layout.bandRow()) - lumaAt(last, x, layout.bandRow())) > 100
                ? 1
                : 0;
    }
    EXPECT_GT(barMoved, 0) << "the band looks the same in the first and the last frame";

    // The translucent window is in the picture, composed over the red quadrant: neither the
    // quadrant alone (the window left out) nor the window's own green (composed opaque).
    if (translucent) {
        const RECT patch = layout.translucentPatch();
        const int x = (patch.left + patch.right) / 2;
        const int y = (patch.top + patch.bottom) / 2;
        const Yuv expected = blendedOver(Quadrants[0].colour);
        EXPECT_NEAR(lumaAt(first, x, y), expected.y, 12) << "the translucent window";
        EXPECT_NEAR(chromaAt(first, x, y, 0), expected.u, 16) << "the translucent window";
        EXPECT_NEAR(chromaAt(first, x, y, 1), expected.v, 16) << "the translucent window";
    }

    // The tone comes back without clicks from broken seams.
    const std::vector<ReadSample> sound =
        readStream(path, types.audioStream, &MFMediaType_Audio, &MFAudioFormat_PCM);
    // What is left to end (the tone, the windows, Media Foundation) ends under a limit too.
    watchdog.begin(what + ": releasing the tone, the windows and Media Foundation", 30s);
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

INSTANTIATE_TEST_SUITE_P(AreasAndEncoders, Mp4ReadBack, testing::ValuesIn(ProofCases),
                         [](const testing::TestParamInfo<ProofCase>& tested) {
                             const ProofCase& proofCase = tested.param;
                             return "Area" + std::to_string(proofCase.width) + "x" +
                                    std::to_string(proofCase.height) +
                                    (proofCase.encoders == VideoEncoders::HardwareAllowed
                                         ? "HardwareAllowed"
                                         : "SoftwareOnly");
                         });

// Both ways of copying the screen, each for 2 s where the machine offers it, so that one run
// measures both: the frames per second each reaches and its mean copy time are printed.
TEST(Mp4FrameSources, EachSourceTheMachineOffersRecordsAPlayableFile)
{
    ProofWatchdog watchdog;
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    watchdog.begin("frame sources: checking that an MP4 file can be begun", 30s);
    ComMediaScope media;
    if (!mp4WriterReady(media)) {
        return;
    }
    const std::optional<PixelRect> area =
        areaOnScreen(ProofCase{642, 482, VideoEncoders::HardwareAllowed, false});
    ASSERT_TRUE(area.has_value());
    MovingPattern pattern(*area);
    test_support::pumpMessagesFor(test_support::Milliseconds{200});
    TonePlayer player; // not started: the stand-in tone is the sound of both recordings
    for (const bool gdi : {true, false}) {
        const std::string what = gdi ? "642x482 GDI copy" : "642x482 desktop duplication";
        if (!gdi) {
            WindowsRecordingPlatform platform;
            ResilientFrameSource probe(platform, *area, area->width(), area->height());
            probe.grab(nowIn100ns());
            if (probe.choice().copier() != FrameCopier::Duplication) {
                std::printf("[ recorded ] %s: not offered here (0x%08X)\n", what.c_str(),
                            static_cast<unsigned>(probe.choice().result()));
                continue;
            }
        }
        const std::filesystem::path path = temporaryFile(L"orlimo_frame_source.mp4");
        const RecordingResult result = recordArea(
            *area, path, ObservedRecordingSetup{false, VideoEncoders::HardwareAllowed, gdi}, player,
            watchdog, what);
        ASSERT_TRUE(result.started);
        printRecordingLine(what, result);
        ASSERT_EQ(result.state, RecordingState::Saved) << narrow(result.errorText);
        const RecordingObservations& seen = result.observations;
        ASSERT_GT(seen.copies, 0);
        std::printf("[ copies   ] %s: %lld copies, mean %.2f ms\n", what.c_str(),
                    static_cast<long long>(seen.copies),
                    static_cast<double>(seen.copyTotal) / 1e4 / static_cast<double>(seen.copies));
        EXPECT_GT(seen.framesWritten, 0);
        std::filesystem::remove(path);
    }
}

namespace {

// The child's part of the killed-recording proof: where it records, and the event it sets once
// 8 s are in the file's fragments. Both reach it through its environment.
constexpr wchar_t ChildPathVariable[] = L"ORLIMO_PROOF_KILLED_RECORDING";
constexpr wchar_t ChildEventVariable[] = L"ORLIMO_PROOF_KILLED_RECORDING_EVENT";
constexpr std::int64_t KilledAfterUnits = 80'000'000; // 8 s
constexpr std::int64_t MayLoseUnits = 20'000'000;     // the last 2 s

std::wstring environmentValue(const wchar_t* name)
{
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

// Each fragment's duration per track, in seconds, from its moof alone (the platform's fragments
// carry no decode time of their own).
std::vector<std::vector<double>> fragmentDurations(const test_support::Bytes& file)
{
    std::vector<std::vector<double>> durations;
    const std::vector<test_support::TopLevelBox> boxes = test_support::topLevelBoxList(file);
    std::optional<MovieDescription> movie;
    SampleDataRegion region;
    for (const test_support::TopLevelBox& box : boxes) {
        if (box.type == "?") {
            break;
        }
        region.wholeEnd = box.offset + box.size;
        if (box.type == "mdat") {
            region.mdatPayloads.push_back({box.offset + 8, box.offset + box.size});
        }
        if (box.type == "moov" && !movie) {
            movie = readInitialMoov(std::span(file).subspan(box.offset + 8, box.size - 8)).movie;
        }
    }
    if (!movie || movie->tracks.empty()) {
        return durations;
    }
    FragmentIndex index(*movie, file.size());
    for (const test_support::TopLevelBox& box : boxes) {
        if (box.type != "moof") {
            continue;
        }
        std::vector<std::size_t> before;
        for (const TrackSamples& track : index.tracks()) {
            before.push_back(track.samples.size());
        }
        if (index.add(std::span(file).subspan(box.offset + 8, box.size - 8), box.offset, region) !=
            FragmentOutcome::Indexed) {
            break; // the fragment the kill cut off
        }
        std::vector<double> seconds;
        for (std::size_t t = 0; t < index.tracks().size(); ++t) {
            std::uint64_t ticks = 0;
            const auto& samples = index.tracks()[t].samples;
            for (std::size_t s = t < before.size() ? before[t] : 0; s < samples.size(); ++s) {
                ticks += samples[s].duration;
            }
            seconds.push_back(static_cast<double>(ticks) / movie->tracks[t].mediaTimescale);
        }
        durations.push_back(std::move(seconds));
    }
    return durations;
}

struct ChildProcess {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
};

// This program again, running only the child's test, with its two variables set.
std::optional<ChildProcess> startRecordingChild(const std::wstring& path, const std::wstring& event)
{
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" --gtest_filter=Mp4KilledRecordingChild.*";
    ::SetEnvironmentVariableW(ChildPathVariable, path.c_str());
    ::SetEnvironmentVariableW(ChildEventVariable, event.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableW(ChildPathVariable, nullptr);
    ::SetEnvironmentVariableW(ChildEventVariable, nullptr);
    if (started == FALSE) {
        return std::nullopt;
    }
    return ChildProcess{UniqueKernelHandle(info.hProcess), UniqueKernelHandle(info.hThread)};
}

} // namespace

// Runs only as the child of the test below: records the moving pattern with the program's worker
// until the parent ends the process.
TEST(Mp4KilledRecordingChild, RecordsUntilTheProcessIsEnded)
{
    const std::wstring path = environmentValue(ChildPathVariable);
    const std::wstring eventName = environmentValue(ChildEventVariable);
    if (path.empty() || eventName.empty()) {
        GTEST_SKIP() << "runs only as the child of Mp4KilledRecording";
    }
    ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    UniqueKernelHandle recorded(::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    ASSERT_TRUE(recorded);
    const std::optional<PixelRect> area =
        areaOnScreen(ProofCase{642, 482, VideoEncoders::HardwareAllowed, false});
    ASSERT_TRUE(area.has_value());
    MovingPattern pattern(*area);
    // Neither is ever destroyed: the process ends with the recording running, as a killed
    // program does, and no return from this test may pull them from under the worker.
    auto* platform = new ObservedRecordingPlatform(ObservedRecordingSetup{false}); // NOLINT
    auto* session = new RecordingSession( // NOLINT(cppcoreguidelines-owning-memory)
        [platform](RecordingSession& s, PixelRect region, std::wstring output) {
            runRecordingWorkerWith(s, region, output, *platform);
        });
    ASSERT_TRUE(session->start(*area, path));
    const auto limit = std::chrono::steady_clock::now() + 120s;
    bool told = false;
    while (std::chrono::steady_clock::now() < limit) {
        test_support::pumpMessagesFor(test_support::Milliseconds{20});
        ASSERT_TRUE(isActive(session->readState())) << narrow(session->readErrorText());
        if (!told && session->readElapsed() >= KilledAfterUnits) {
            ::SetEvent(recorded.get());
            told = true;
        }
    }
    FAIL() << "the parent did not end this process within 120 s";
}

// A recording whose process is ended with TerminateProcess after 8 s keeps its whole fragments;
// completed as the next start completes it, it plays all of it but the last 2 s.
TEST(Mp4KilledRecording, KeepsItsWholeFragmentsAndIsCompletedAtTheNextStart)
{
    ProofWatchdog watchdog;
    watchdog.begin("killed recording: checking that an MP4 file can be begun", 30s);
    ComMediaScope media;
    if (!mp4WriterReady(media)) {
        return;
    }
    wchar_t temporary[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temporary);
    const std::filesystem::path folder =
        std::filesystem::path(temporary) /
        (L"orlimo_killed_recording_" + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::wstring name = L"Video_2026-12-09_06-00-00_000.mp4";
    const std::filesystem::path path = folder / name;
    const std::wstring eventName =
        L"Local\\OrlimoProofKilledRecording" + std::to_wstring(::GetCurrentProcessId());
    UniqueKernelHandle recorded(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(recorded);

    watchdog.begin("killed recording: the child records 8 s", 90s);
    std::optional<ChildProcess> child = startRecordingChild(path.wstring(), eventName);
    ASSERT_TRUE(child.has_value());
    HANDLE waits[2] = {recorded.get(), child->process.get()};
    const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, 80'000);
    ::TerminateProcess(child->process.get(), 1);
    ::WaitForSingleObject(child->process.get(), 30'000);
    ASSERT_EQ(woken, WAIT_OBJECT_0) << "the child ended or hung before recording 8 s";

    watchdog.begin("killed recording: reading the fragments", 60s);
    const test_support::Bytes killed = test_support::readFileBytes(path.wstring());
    ASSERT_FALSE(killed.empty());
    const std::vector<std::vector<double>> fragments = fragmentDurations(killed);
    double videoSeconds = 0;
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        std::printf("[ fragment ] %zu:", i + 1);
        for (const double seconds : fragments[i]) {
            std::printf(" %.3f s", seconds);
        }
        std::printf("\n");
        videoSeconds += fragments[i].empty() ? 0.0 : fragments[i].front();
    }
    std::printf("[ killed   ] %zu bytes, %zu whole fragments, %.3f s of the first track\n",
                killed.size(), fragments.size(), videoSeconds);
    std::fflush(stdout);
    ASSERT_FALSE(fragments.empty()) << "no whole fragment survived the kill";

    watchdog.begin("killed recording: completing it as the next start does", 60s);
    const std::atomic<bool> stop{false};
    const std::vector<std::wstring> completed = completeInterruptedRecordings(
        folder.wstring(), [](std::wstring_view file) { return isVideoFileName(file); }, stop);
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed.front(), name);

    watchdog.begin("killed recording: decoding the completed file", 120s);
    const StreamTypes types = streamTypesOf(path);
    ASSERT_EQ(types.video.size(), 1u);
    ASSERT_EQ(types.audio.size(), 1u);
    const std::vector<ReadSample> frames =
        readStream(path, types.videoStream, &MFMediaType_Video, &MFVideoFormat_NV12);
    ASSERT_FALSE(frames.empty());
    EXPECT_GE(frames.back().time + frames.back().duration, KilledAfterUnits - MayLoseUnits)
        << "the decoded video ends at " << frames.back().time;
    const std::vector<ReadSample> sound =
        readStream(path, types.audioStream, &MFMediaType_Audio, &MFAudioFormat_PCM);
    ASSERT_FALSE(sound.empty());
    EXPECT_GE(sound.back().time + sound.back().duration, KilledAfterUnits - MayLoseUnits)
        << "the decoded sound ends at " << sound.back().time;
    std::printf("[ completed] video to %.3f s, sound to %.3f s, duration %.3f s\n",
                static_cast<double>(frames.back().time + frames.back().duration) / 1e7,
                static_cast<double>(sound.back().time + sound.back().duration) / 1e7,
                static_cast<double>(types.duration) / 1e7);
    std::fflush(stdout);
    watchdog.begin("killed recording: removing its folder", 30s);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
