#pragma once
#include "recording/mp4/media_foundation_library.h"
#include "recording/core/recording_ports.h"

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

// Everything here calls Media Foundation through `mf`, the functions of a started
// ComMediaScope that outlives the objects made.

// Media types of the four ends of the MP4 writer. Only the creating call is checked; the
// media type is released before a Failure leaves.
Microsoft::WRL::ComPtr<IMFMediaType> makeVideoMediaType(const MediaFoundationFunctions& mf,
                                                        const GUID& subtype, std::uint32_t width,
                                                        std::uint32_t height); // "Format wideo"
Microsoft::WRL::ComPtr<IMFMediaType> makeAudioMediaType(const MediaFoundationFunctions& mf,
                                                        const GUID& subtype); // "Format audio"
Microsoft::WRL::ComPtr<IMFMediaType> makeH264OutputType(const MediaFoundationFunctions& mf,
                                                        std::int32_t width, std::int32_t height);
Microsoft::WRL::ComPtr<IMFMediaType> makeNv12InputType(const MediaFoundationFunctions& mf,
                                                       std::int32_t width, std::int32_t height);
Microsoft::WRL::ComPtr<IMFMediaType> makeAacOutputType(const MediaFoundationFunctions& mf);
Microsoft::WRL::ComPtr<IMFMediaType> makePcmInputType(const MediaFoundationFunctions& mf);
// The container is fragmented MP4 with either encoder; hardware transforms are enabled only where
// hardware encoders are allowed.
Microsoft::WRL::ComPtr<IMFAttributes> makeSinkWriterAttributes(
    const MediaFoundationFunctions& mf, VideoEncoders encoders); // "Ustawienia MP4"

// One sample through a fresh memory buffer: "Bufor nagrania", "Blokada bufora",
// "Probka nagrania", "Zapis probki MP4".
void writeMediaSample(const MediaFoundationFunctions& mf, IMFSinkWriter& writer, DWORD stream,
                      const std::uint8_t* bytes, DWORD length, LONGLONG time, LONGLONG duration);

// One recording's MP4 file: an H.264 stream fed with NV12 frames and an AAC stream fed with
// 48 kHz stereo 16-bit PCM, through the Media Foundation sink writer.
class Mp4SinkWriter final : public MediaFileWriter {
public:
    explicit Mp4SinkWriter(const MediaFoundationFunctions& mediaFoundation) noexcept
        : mf(mediaFoundation)
    {}
    Mp4SinkWriter(const Mp4SinkWriter&) = delete;
    Mp4SinkWriter& operator=(const Mp4SinkWriter&) = delete;
    ~Mp4SinkWriter() override = default;

    void open(const std::wstring& path, std::int32_t width, std::int32_t height,
              VideoEncoders encoders) override;
    // The stream set-up of open on a sink writer that already exists; open's steps from the
    // H.264 stream on, so they can also run on a writer made elsewhere.
    void openStreams(Microsoft::WRL::ComPtr<IMFSinkWriter> sinkWriter, std::int32_t width,
                     std::int32_t height);
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override;
    void finalize() override; // "Finalizacja pliku MP4"
    void abandon() noexcept override;

    std::uint32_t videoStream() const noexcept override { return videoStreamIndex; }
    std::uint32_t audioStream() const noexcept override { return audioStreamIndex; }
    bool isWritingStarted() const noexcept { return writingStarted; }

private:
    const MediaFoundationFunctions& mf;
    Microsoft::WRL::ComPtr<IMFSinkWriter> writer;
    DWORD videoStreamIndex = 0;
    DWORD audioStreamIndex = 0;
    bool writingStarted = false;
    // Held only so they outlive the writer's set-up; nothing reads them after open.
    Microsoft::WRL::ComPtr<IMFAttributes> attributes;
    Microsoft::WRL::ComPtr<IMFMediaType> h264Type;
    Microsoft::WRL::ComPtr<IMFMediaType> nv12Type;
    Microsoft::WRL::ComPtr<IMFMediaType> aacType;
    Microsoft::WRL::ComPtr<IMFMediaType> pcmType;
};
