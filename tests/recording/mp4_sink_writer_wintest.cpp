#include "recording/mp4/com_media_scope.h"
#include "common/failure.h"
#include "recording/mp4/mp4_sink_writer.h"
#include "fake_sink_writer.h"
#include "support/runs_under_wine.h"
#include "recording/core/recording_stage.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <mferror.h>

#include <cstdint>
#include <ios>
#include <cwchar>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

class Mp4SinkWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        runtime.emplace();
        runtime->startCom();
        runtime->startMediaFoundation();
    }
    static void TearDownTestSuite() { runtime.reset(); }

    // Opens a writer's streams on the fake and returns the stage text of the failure, if any.
    std::optional<Failure> openOnFake(Mp4SinkWriter& writer, std::int32_t width = 64,
                                      std::int32_t height = 32)
    {
        try {
            writer.openStreams(ComPtr<IMFSinkWriter>(&fake), width, height);
        } catch (const Failure& failure) {
            return failure;
        }
        return std::nullopt;
    }

    static std::optional<ComMediaScope> runtime;
    FakeSinkWriter fake;
};

std::optional<ComMediaScope> Mp4SinkWriterTest::runtime;

UINT32 uint32Of(IMFMediaType& type, const GUID& key)
{
    UINT32 value = 0;
    EXPECT_EQ(type.GetUINT32(key, &value), S_OK);
    return value;
}

GUID subtypeOf(IMFMediaType& type)
{
    GUID value{};
    EXPECT_EQ(type.GetGUID(MF_MT_SUBTYPE, &value), S_OK);
    return value;
}

void expectFailure(const std::optional<Failure>& failure, HRESULT hr, RecordingStage stage)
{
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->hr, static_cast<std::int32_t>(hr));
    EXPECT_EQ(stageOf(*failure), stage);
}

} // namespace

TEST_F(Mp4SinkWriterTest, SetsUpBothStreamsInOrderAndBeginsWriting)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    EXPECT_FALSE(openOnFake(writer, 1280, 720).has_value());
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"AddStream", "SetInputMediaType", "AddStream",
                                                    "SetInputMediaType", "BeginWriting"}));
    EXPECT_TRUE(writer.isWritingStarted());
    EXPECT_EQ(writer.videoStream(), 7u);
    EXPECT_EQ(writer.audioStream(), 8u);

    ASSERT_EQ(fake.addedTypes.size(), 2u);
    EXPECT_EQ(subtypeOf(*fake.addedTypes[0].Get()), MFVideoFormat_H264);
    EXPECT_EQ(uint32Of(*fake.addedTypes[0].Get(), MF_MT_AVG_BITRATE), 3'686'400u);
    EXPECT_EQ(subtypeOf(*fake.addedTypes[1].Get()), MFAudioFormat_AAC);
    ASSERT_EQ(fake.inputTypes.size(), 2u);
    EXPECT_EQ(fake.inputTypes[0].first, 7u);
    EXPECT_EQ(subtypeOf(*fake.inputTypes[0].second.Get()), MFVideoFormat_NV12);
    EXPECT_EQ(fake.inputTypes[1].first, 8u);
    EXPECT_EQ(subtypeOf(*fake.inputTypes[1].second.Get()), MFAudioFormat_PCM);
}

TEST_F(Mp4SinkWriterTest, EachSetUpCallFailsWithItsOwnStageAndCode)
{
    struct Case {
        const char* call;
        RecordingStage stage;
        std::size_t callsMade;
    };
    const Case cases[] = {
        {"AddStream#1", RecordingStage::H264Encoder, 1},
        {"SetInputMediaType#1", RecordingStage::Nv12VideoInput, 2},
        {"AddStream#2", RecordingStage::AacEncoder, 3},
        {"SetInputMediaType#2", RecordingStage::PcmAudioInput, 4},
        {"BeginWriting", RecordingStage::Mp4WriteStart, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        FakeSinkWriter failing;
        failing.failingCall = c.call;
        failing.failure = static_cast<HRESULT>(0xC00D5212);
        Mp4SinkWriter writer(runtime->mediaFoundation());
        std::optional<Failure> failure;
        try {
            writer.openStreams(ComPtr<IMFSinkWriter>(&failing), 64, 32);
        } catch (const Failure& caught) {
            failure = caught;
        }
        expectFailure(failure, static_cast<HRESULT>(0xC00D5212), c.stage);
        EXPECT_EQ(failing.calls.size(), c.callsMade);
        EXPECT_FALSE(writer.isWritingStarted());

        // A writer that never began writing is released without finalizing.
        writer.abandon();
        EXPECT_EQ(failing.calls.size(), c.callsMade);
        EXPECT_EQ(failing.referenceCount(), 1u);
    }
}

TEST_F(Mp4SinkWriterTest, VideoSampleCarriesTheFrameBytesTimeAndDurationWithoutFlags)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    ASSERT_FALSE(openOnFake(writer, 16, 16).has_value());
    std::vector<std::uint8_t> frame(384);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7);
    }
    writer.writeSample(writer.videoStream(), frame.data(), 384, 999'999, 333'333);

    ASSERT_EQ(fake.samples.size(), 1u);
    const WrittenSample& sample = fake.samples[0];
    EXPECT_EQ(sample.stream, 7u);
    EXPECT_EQ(sample.time, 999'999);
    EXPECT_EQ(sample.duration, 333'333);
    EXPECT_EQ(sample.bufferCount, 1u);
    EXPECT_EQ(sample.attributeCount, 0u); // no key-frame or discontinuity flag
    EXPECT_EQ(sample.bytes, frame);
}

TEST_F(Mp4SinkWriterTest, AudioSampleOfFullBlockKeepsItsTimes)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    ASSERT_FALSE(openOnFake(writer).has_value());
    const std::vector<std::uint8_t> block(19'200, 0x5A);
    writer.writeSample(writer.audioStream(), block.data(), 19'200, 10'000'000, 1'000'000);
    ASSERT_EQ(fake.samples.size(), 1u);
    EXPECT_EQ(fake.samples[0].stream, 8u);
    EXPECT_EQ(fake.samples[0].time, 10'000'000);
    EXPECT_EQ(fake.samples[0].duration, 1'000'000);
    EXPECT_EQ(fake.samples[0].bytes, block);
}

TEST_F(Mp4SinkWriterTest, FailedWriteIsReportedAndAbandonStillFinalizes)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    ASSERT_FALSE(openOnFake(writer).has_value());
    fake.failingCall = "WriteSample";
    fake.failure = E_UNEXPECTED;
    const std::uint8_t bytes[4] = {1, 2, 3, 4};
    std::optional<Failure> failure;
    try {
        writer.writeSample(writer.audioStream(), bytes, 4, 0, 833);
    } catch (const Failure& caught) {
        failure = caught;
    }
    expectFailure(failure, E_UNEXPECTED, RecordingStage::Mp4SampleWrite);

    fake.failingCall = "Finalize";
    writer.abandon();
    EXPECT_EQ(fake.calls.back(), "Finalize");
    EXPECT_FALSE(writer.isWritingStarted());
    EXPECT_EQ(fake.referenceCount(), 1u);
}

TEST_F(Mp4SinkWriterTest, FinalizeReleasesTheWriterAndEndsWriting)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    ASSERT_FALSE(openOnFake(writer).has_value());
    writer.finalize();
    EXPECT_EQ(fake.calls.back(), "Finalize");
    EXPECT_FALSE(writer.isWritingStarted());
    EXPECT_EQ(fake.referenceCount(), 1u);

    // Nothing is left to finalize a second time.
    writer.abandon();
    EXPECT_EQ(fake.calls.size(), 6u);
}

TEST_F(Mp4SinkWriterTest, FailedFinalizeCarriesItsStageAndCode)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    ASSERT_FALSE(openOnFake(writer).has_value());
    fake.failingCall = "Finalize";
    fake.failure = static_cast<HRESULT>(0x80070070); // disk full
    std::optional<Failure> failure;
    try {
        writer.finalize();
    } catch (const Failure& caught) {
        failure = caught;
    }
    expectFailure(failure, static_cast<HRESULT>(0x80070070), RecordingStage::Mp4Finalize);
}

TEST_F(Mp4SinkWriterTest, WriteBeforeOpenFailsInsteadOfCrashing)
{
    Mp4SinkWriter writer(runtime->mediaFoundation());
    const std::uint8_t bytes[4] = {};
    std::optional<Failure> failure;
    try {
        writer.writeSample(0, bytes, 4, 0, 1);
    } catch (const Failure& caught) {
        failure = caught;
    }
    expectFailure(failure, MF_E_INVALIDREQUEST, RecordingStage::Mp4SampleWrite);
}

TEST_F(Mp4SinkWriterTest, WriteMediaSampleCopiesAnEmptySampleWithoutReading)
{
    writeMediaSample(runtime->mediaFoundation(), fake, 3, nullptr, 0, 5, 6);
    ASSERT_EQ(fake.samples.size(), 1u);
    EXPECT_EQ(fake.samples[0].stream, 3u);
    EXPECT_TRUE(fake.samples[0].bytes.empty());
}

// On Windows, which has an MP4 sink and encoders, the real open begins a file that a frame and a
// block of sound complete; under Wine, which has none, the open stops at the file's creation and
// leaves no file behind.
TEST_F(Mp4SinkWriterTest, OpenEitherWritesTheFileOrStopsAtItsCreation)
{
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
    const std::filesystem::path path = std::filesystem::path(folder) / L"orlimo_open_test.mp4";
    std::filesystem::remove(path);

    Mp4SinkWriter writer(runtime->mediaFoundation());
    std::optional<Failure> failure;
    try {
        writer.open(path.wstring(), 320, 240, VideoEncoders::HardwareAllowed);
    } catch (const Failure& caught) {
        failure = caught;
    }
    if (failure.has_value()) {
        EXPECT_TRUE(test_support::runsUnderWine())
            << "Windows has an MP4 sink, yet the open failed with 0x" << std::hex
            << static_cast<std::uint32_t>(failure->hr);
        EXPECT_EQ(stageOf(*failure), RecordingStage::Mp4Create);
        EXPECT_FALSE(writer.isWritingStarted());
        writer.abandon();
        EXPECT_FALSE(std::filesystem::exists(path));
        return;
    }
    EXPECT_TRUE(writer.isWritingStarted());
    const std::vector<std::uint8_t> frame(320 * 240 * 3 / 2, 128);
    const std::vector<std::uint8_t> sound(19'200, 0);
    writer.writeSample(writer.videoStream(), frame.data(), static_cast<std::uint32_t>(frame.size()),
                       0, 333'333);
    writer.writeSample(writer.audioStream(), sound.data(), 19'200, 0, 1'000'000);
    writer.finalize();
    EXPECT_GT(std::filesystem::file_size(path), 0u);
    std::filesystem::remove(path);
}
