#include "recording/mp4/encoder_fallback_writer.h"

#include "common/failure.h"

bool isVideoEncoderStage(std::optional<RecordingStage> stage) noexcept
{
    return stage == RecordingStage::H264Encoder || stage == RecordingStage::Nv12VideoInput ||
           stage == RecordingStage::Mp4WriteStart;
}

EncoderFallbackWriter::EncoderFallbackWriter(MediaRuntime& mediaRuntime)
    : runtime(mediaRuntime), writer(runtime.makeFileWriter())
{}

void EncoderFallbackWriter::open(const std::wstring& path, std::int32_t width, std::int32_t height,
                                 VideoEncoders allowed)
{
    filePath = path;
    frameWidth = width;
    frameHeight = height;
    encoders = allowed;
    try {
        writer->open(filePath, frameWidth, frameHeight, encoders);
    } catch (const Failure& failure) {
        if (!mayFallBack() || !isVideoEncoderStage(stageOf(failure))) {
            throw;
        }
        reopenWithSoftwareEncoder();
    }
    video = writer->videoStream();
    audio = writer->audioStream();
}

void EncoderFallbackWriter::writeSample(std::uint32_t stream, const std::uint8_t* bytes,
                                        std::uint32_t length, std::int64_t time,
                                        std::int64_t duration)
{
    const std::uint32_t target = stream == video   ? writer->videoStream()
                                 : stream == audio ? writer->audioStream()
                                                   : stream;
    try {
        writer->writeSample(target, bytes, length, time, duration);
    } catch (const Failure&) {
        // Only a file that holds nothing yet can be made anew without losing anything.
        if (!mayFallBack() || anySampleWritten || stream != video) {
            throw;
        }
        reopenWithSoftwareEncoder();
        writer->writeSample(writer->videoStream(), bytes, length, time, duration);
    }
    anySampleWritten = true;
}

void EncoderFallbackWriter::finalize()
{
    writer->finalize();
}

void EncoderFallbackWriter::abandon() noexcept
{
    if (writer) {
        writer->abandon();
    }
}

void EncoderFallbackWriter::reopenWithSoftwareEncoder()
{
    encoders = VideoEncoders::SoftwareOnly;
    // The refused writer still holds the file; it goes before the file is created again.
    writer.reset();
    writer = runtime.makeFileWriter();
    writer->open(filePath, frameWidth, frameHeight, encoders);
}
