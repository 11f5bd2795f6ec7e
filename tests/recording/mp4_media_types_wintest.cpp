#include "recording/mp4/com_media_scope.h"
#include "recording/mp4/mp4_sink_writer.h"

#include <gtest/gtest.h>
#include <mfapi.h>

#include <cstdint>
#include <optional>

using Microsoft::WRL::ComPtr;

namespace {

class Mp4MediaTypes : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        runtime.emplace();
        runtime->startCom();
        runtime->startMediaFoundation();
    }
    static void TearDownTestSuite() { runtime.reset(); }

public:
    static const MediaFoundationFunctions& mediaFoundation() { return runtime->mediaFoundation(); }

private:
    static std::optional<ComMediaScope> runtime;
};

std::optional<ComMediaScope> Mp4MediaTypes::runtime;

const MediaFoundationFunctions& mf()
{
    return Mp4MediaTypes::mediaFoundation();
}

UINT32 count(IMFAttributes& attributes)
{
    UINT32 items = 0;
    EXPECT_EQ(attributes.GetCount(&items), S_OK);
    return items;
}

GUID guidOf(IMFAttributes& attributes, const GUID& key)
{
    GUID value{};
    EXPECT_EQ(attributes.GetGUID(key, &value), S_OK);
    return value;
}

UINT32 uint32Of(IMFAttributes& attributes, const GUID& key)
{
    UINT32 value = 0xDEADBEEF;
    EXPECT_EQ(attributes.GetUINT32(key, &value), S_OK);
    return value;
}

UINT64 uint64Of(IMFAttributes& attributes, const GUID& key)
{
    UINT64 value = 0;
    EXPECT_EQ(attributes.GetUINT64(key, &value), S_OK);
    return value;
}

constexpr UINT64 highLow(std::uint64_t high, std::uint64_t low)
{
    return (high << 32) | low;
}

void expectVideoCommon(IMFMediaType& type, const GUID& subtype, UINT64 frameSize)
{
    EXPECT_EQ(guidOf(type, MF_MT_MAJOR_TYPE), MFMediaType_Video);
    EXPECT_EQ(guidOf(type, MF_MT_SUBTYPE), subtype);
    EXPECT_EQ(uint32Of(type, MF_MT_INTERLACE_MODE), 2u);
    EXPECT_EQ(uint64Of(type, MF_MT_FRAME_SIZE), frameSize);
    EXPECT_EQ(uint64Of(type, MF_MT_FRAME_RATE), highLow(30, 1));
    EXPECT_EQ(uint64Of(type, MF_MT_PIXEL_ASPECT_RATIO), highLow(1, 1));
}

void expectAudioCommon(IMFMediaType& type, const GUID& subtype)
{
    EXPECT_EQ(guidOf(type, MF_MT_MAJOR_TYPE), MFMediaType_Audio);
    EXPECT_EQ(guidOf(type, MF_MT_SUBTYPE), subtype);
    EXPECT_EQ(uint32Of(type, MF_MT_AUDIO_NUM_CHANNELS), 2u);
    EXPECT_EQ(uint32Of(type, MF_MT_AUDIO_SAMPLES_PER_SECOND), 48000u);
    EXPECT_EQ(uint32Of(type, MF_MT_AUDIO_BITS_PER_SAMPLE), 16u);
}

} // namespace

TEST_F(Mp4MediaTypes, H264OutputCarriesTheVideoAttributesAndTheBitRate)
{
    const ComPtr<IMFMediaType> type = makeH264OutputType(mf(), 1920, 1080);
    ASSERT_TRUE(type);
    expectVideoCommon(*type.Get(), MFVideoFormat_H264, highLow(1920, 1080));
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AVG_BITRATE), 8'294'400u);
    EXPECT_EQ(count(*type.Get()), 7u);
}

TEST_F(Mp4MediaTypes, H264BitRateIsLimitedAtBothEnds)
{
    EXPECT_EQ(uint32Of(*makeH264OutputType(mf(), 16, 16).Get(), MF_MT_AVG_BITRATE), 1'000'000u);
    EXPECT_EQ(uint32Of(*makeH264OutputType(mf(), 3840, 2160).Get(), MF_MT_AVG_BITRATE),
              16'000'000u);
    EXPECT_EQ(uint32Of(*makeH264OutputType(mf(), 640, 480).Get(), MF_MT_AVG_BITRATE), 1'228'800u);
}

TEST_F(Mp4MediaTypes, Nv12InputCarriesTheVideoAttributesOnly)
{
    const ComPtr<IMFMediaType> type = makeNv12InputType(mf(), 640, 480);
    ASSERT_TRUE(type);
    expectVideoCommon(*type.Get(), MFVideoFormat_NV12, highLow(640, 480));
    EXPECT_EQ(count(*type.Get()), 6u);
}

TEST_F(Mp4MediaTypes, FrameSizeHoldsWidthHighAndHeightLow)
{
    const ComPtr<IMFMediaType> type = makeVideoMediaType(mf(), MFVideoFormat_NV12, 16, 3840);
    UINT32 width = 0;
    UINT32 height = 0;
    ASSERT_EQ(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height), S_OK);
    EXPECT_EQ(width, 16u);
    EXPECT_EQ(height, 3840u);
}

TEST_F(Mp4MediaTypes, AacOutputCarriesTheAudioAttributesAndTheAacSettings)
{
    const ComPtr<IMFMediaType> type = makeAacOutputType(mf());
    ASSERT_TRUE(type);
    expectAudioCommon(*type.Get(), MFAudioFormat_AAC);
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND), 20000u);
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AAC_PAYLOAD_TYPE), 0u);
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AAC_AUDIO_PROFILE_LEVEL_INDICATION), 0x29u);
    EXPECT_EQ(count(*type.Get()), 8u);
}

TEST_F(Mp4MediaTypes, PcmInputCarriesTheAudioAttributesAndTheBlockLayout)
{
    const ComPtr<IMFMediaType> type = makePcmInputType(mf());
    ASSERT_TRUE(type);
    expectAudioCommon(*type.Get(), MFAudioFormat_PCM);
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AUDIO_BLOCK_ALIGNMENT), 4u);
    EXPECT_EQ(uint32Of(*type.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND), 192000u);
    EXPECT_EQ(count(*type.Get()), 7u);
}

namespace {

GUID containerOf(IMFAttributes& attributes)
{
    GUID container{};
    EXPECT_EQ(attributes.GetGUID(MF_TRANSCODE_CONTAINERTYPE, &container), S_OK);
    return container;
}

} // namespace

TEST_F(Mp4MediaTypes, SinkWriterAttributesAllowHardwareTransformsInFragments)
{
    const ComPtr<IMFAttributes> attributes =
        makeSinkWriterAttributes(mf(), VideoEncoders::HardwareAllowed);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(uint32Of(*attributes.Get(), MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS), 1u);
    EXPECT_TRUE(IsEqualGUID(containerOf(*attributes.Get()), MFTranscodeContainerType_FMPEG4));
    EXPECT_EQ(count(*attributes.Get()), 2u);
}

TEST_F(Mp4MediaTypes, SinkWriterAttributesForTheSoftwareEncoderAskOnlyForFragments)
{
    const ComPtr<IMFAttributes> attributes =
        makeSinkWriterAttributes(mf(), VideoEncoders::SoftwareOnly);
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(IsEqualGUID(containerOf(*attributes.Get()), MFTranscodeContainerType_FMPEG4));
    EXPECT_EQ(count(*attributes.Get()), 1u);
}
