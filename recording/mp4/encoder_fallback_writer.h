#pragma once
// Some hardware H.264 encoders refuse small or unusual frame sizes (minimums of 128 to 192 pixels
// a side are reported), either while the video stream is set up or at its first sample. The
// platform's software encoder takes every size the recording allows, so a file refused that way
// is made anew with it instead of ending the recording.
#include "recording/core/recording_ports.h"
#include "recording/core/recording_stage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// True for the steps of the writer's set-up that a hardware encoder can refuse: the H.264
// encoder, its NV12 input and the start of writing.
bool isVideoEncoderStage(std::optional<RecordingStage> stage) noexcept;

// The recording's MP4 file through the platform's writers: the first one is made at once; when
// hardware encoders were allowed and one of the encoder's set-up steps or the first video sample
// fails, that writer is released, a new one opens the same path with the software encoder only,
// and the refused sample is written again. Only that second attempt's failure is thrown; the
// failures of every other step are thrown as they come.
class EncoderFallbackWriter final : public MediaFileWriter {
public:
    explicit EncoderFallbackWriter(MediaRuntime& mediaRuntime);

    void open(const std::wstring& path, std::int32_t width, std::int32_t height,
              VideoEncoders allowed) override;
    void writeSample(std::uint32_t stream, const std::uint8_t* bytes, std::uint32_t length,
                     std::int64_t time, std::int64_t duration) override;
    void finalize() override;
    void abandon() noexcept override;
    // The stream numbers of the first writer that opened; samples for them reach the current one.
    std::uint32_t videoStream() const noexcept override { return video; }
    std::uint32_t audioStream() const noexcept override { return audio; }

private:
    void reopenWithSoftwareEncoder();
    bool mayFallBack() const noexcept { return encoders == VideoEncoders::HardwareAllowed; }

    MediaRuntime& runtime;
    std::unique_ptr<MediaFileWriter> writer;
    std::wstring filePath;
    std::int32_t frameWidth = 0;
    std::int32_t frameHeight = 0;
    VideoEncoders encoders = VideoEncoders::HardwareAllowed;
    bool anySampleWritten = false;
    std::uint32_t video = 0;
    std::uint32_t audio = 0;
};
