#include "recording/mp4/mp4_sink_writer.h"

#include "common/failure.h"
#include "recording/core/video_format.h"
#include "recording/core/media_clock.h"
#include "recording/core/recording_stage.h"

#include <mfapi.h>
#include <mferror.h>

#include <cstring>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT64 packHighLow(std::uint32_t high, std::uint32_t low) noexcept
{
    return (static_cast<UINT64>(high) << 32) | low;
}

} // namespace

ComPtr<IMFMediaType> makeVideoMediaType(const MediaFoundationFunctions& mf, const GUID& subtype,
                                        std::uint32_t width, std::uint32_t height)
{
    ComPtr<IMFMediaType> type;
    throwIfFailed(mf.createMediaType(&type), RecordingStage::VideoFormat);
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    type->SetUINT64(MF_MT_FRAME_SIZE, packHighLow(width, height));
    type->SetUINT64(MF_MT_FRAME_RATE, packHighLow(FramesPerSecond, 1));
    type->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, packHighLow(1, 1));
    return type;
}

ComPtr<IMFMediaType> makeAudioMediaType(const MediaFoundationFunctions& mf, const GUID& subtype)
{
    ComPtr<IMFMediaType> type;
    throwIfFailed(mf.createMediaType(&type), RecordingStage::AudioFormat);
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, OutputChannels);
    type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, OutputSampleRate);
    type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, OutputBitsPerSample);
    return type;
}

ComPtr<IMFMediaType> makeH264OutputType(const MediaFoundationFunctions& mf, std::int32_t width,
                                        std::int32_t height)
{
    ComPtr<IMFMediaType> type =
        makeVideoMediaType(mf, MFVideoFormat_H264, static_cast<std::uint32_t>(width),
                           static_cast<std::uint32_t>(height));
    type->SetUINT32(MF_MT_AVG_BITRATE, static_cast<UINT32>(videoBitRate(width, height)));
    return type;
}

ComPtr<IMFMediaType> makeNv12InputType(const MediaFoundationFunctions& mf, std::int32_t width,
                                       std::int32_t height)
{
    return makeVideoMediaType(mf, MFVideoFormat_NV12, static_cast<std::uint32_t>(width),
                              static_cast<std::uint32_t>(height));
}

ComPtr<IMFMediaType> makeAacOutputType(const MediaFoundationFunctions& mf)
{
    ComPtr<IMFMediaType> type = makeAudioMediaType(mf, MFAudioFormat_AAC);
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 20000);
    type->SetUINT32(MF_MT_AAC_PAYLOAD_TYPE, 0);
    type->SetUINT32(MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION, 0x29);
    return type;
}

ComPtr<IMFMediaType> makePcmInputType(const MediaFoundationFunctions& mf)
{
    ComPtr<IMFMediaType> type = makeAudioMediaType(mf, MFAudioFormat_PCM);
    type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, OutputBytesPerFrame);
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, OutputSampleRate * OutputBytesPerFrame);
    return type;
}

ComPtr<IMFAttributes> makeSinkWriterAttributes(const MediaFoundationFunctions& mf,
                                               VideoEncoders encoders)
{
    ComPtr<IMFAttributes> attributes;
    throwIfFailed(mf.createAttributes(&attributes, 2), RecordingStage::Mp4Settings);
    // Fragments of about a second, each complete on the disk once written: a recording that ends
    // abruptly keeps every whole fragment, and the finisher makes the file an ordinary MP4.
    throwIfFailed(attributes->SetGUID(MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4),
                  RecordingStage::Mp4Settings);
    if (encoders == VideoEncoders::HardwareAllowed) {
        attributes->SetUINT32(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 1);
    }
    return attributes;
}

void writeMediaSample(const MediaFoundationFunctions& mf, IMFSinkWriter& writer, DWORD stream,
                      const std::uint8_t* bytes, DWORD length, LONGLONG time, LONGLONG duration)
{
    ComPtr<IMFMediaBuffer> buffer;
    throwIfFailed(mf.createMemoryBuffer(length, &buffer), RecordingStage::RecordingBuffer);
    BYTE* data = nullptr;
    throwIfFailed(buffer->Lock(&data, nullptr, nullptr), RecordingStage::BufferLock);
    if (length != 0) {
        std::memcpy(data, bytes, length);
    }
    buffer->Unlock();
    buffer->SetCurrentLength(length);

    ComPtr<IMFSample> sample;
    throwIfFailed(mf.createSample(&sample), RecordingStage::RecordingSample);
    sample->AddBuffer(buffer.Get());
    sample->SetSampleTime(time);
    sample->SetSampleDuration(duration);
    throwIfFailed(writer.WriteSample(stream, sample.Get()), RecordingStage::Mp4SampleWrite);
}

void Mp4SinkWriter::open(const std::wstring& path, std::int32_t width, std::int32_t height,
                         VideoEncoders encoders)
{
    attributes = makeSinkWriterAttributes(mf, encoders);
    ComPtr<IMFSinkWriter> created;
    throwIfFailed(mf.createSinkWriterFromUrl(path.c_str(), nullptr, attributes.Get(), &created),
                  RecordingStage::Mp4Create);
    openStreams(std::move(created), width, height);
}

void Mp4SinkWriter::openStreams(ComPtr<IMFSinkWriter> sinkWriter, std::int32_t width,
                                std::int32_t height)
{
    writer = std::move(sinkWriter);

    h264Type = makeH264OutputType(mf, width, height);
    throwIfFailed(writer->AddStream(h264Type.Get(), &videoStreamIndex),
                  RecordingStage::H264Encoder);

    nv12Type = makeNv12InputType(mf, width, height);
    throwIfFailed(writer->SetInputMediaType(videoStreamIndex, nv12Type.Get(), nullptr),
                  RecordingStage::Nv12VideoInput);

    aacType = makeAacOutputType(mf);
    throwIfFailed(writer->AddStream(aacType.Get(), &audioStreamIndex), RecordingStage::AacEncoder);

    pcmType = makePcmInputType(mf);
    throwIfFailed(writer->SetInputMediaType(audioStreamIndex, pcmType.Get(), nullptr),
                  RecordingStage::PcmAudioInput);

    throwIfFailed(writer->BeginWriting(), RecordingStage::Mp4WriteStart);
    writingStarted = true;
}

void Mp4SinkWriter::writeSample(std::uint32_t stream, const std::uint8_t* bytes,
                                std::uint32_t length, std::int64_t time, std::int64_t duration)
{
    // A sample for a writer that is not writing would otherwise dereference nothing.
    if (!writer || !writingStarted) {
        throw stageFailure(MF_E_INVALIDREQUEST, RecordingStage::Mp4SampleWrite);
    }
    writeMediaSample(mf, *writer.Get(), stream, bytes, length, time, duration);
}

void Mp4SinkWriter::finalize()
{
    if (!writer) {
        throw stageFailure(MF_E_INVALIDREQUEST, RecordingStage::Mp4Finalize);
    }
    throwIfFailed(writer->Finalize(), RecordingStage::Mp4Finalize);
    writer.Reset();
    writingStarted = false;
}

void Mp4SinkWriter::abandon() noexcept
{
    if (writer && writingStarted) {
        writer->Finalize();
    }
    writer.Reset();
    writingStarted = false;
}
