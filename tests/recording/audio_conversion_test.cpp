#include "recording/audio_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

MixFormat mixFormat(std::uint16_t tag, SampleKind subFormat, std::uint16_t channels,
                    std::uint32_t rate, std::uint16_t bits)
{
    MixFormat format;
    format.formatTag = tag;
    format.extensibleSubFormat = subFormat;
    format.channels = channels;
    format.samplesPerSec = rate;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    return format;
}

PacketFormat accepted(const MixFormat& format)
{
    const auto decoded = acceptMixFormat(format);
    EXPECT_TRUE(decoded.has_value());
    return decoded.value_or(PacketFormat{});
}

template <typename T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values)
{
    std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

AudioPacket packetOf(const std::vector<std::uint8_t>& bytes, std::uint32_t frames,
                     std::uint64_t position = 0, std::uint32_t flags = 0)
{
    AudioPacket packet;
    packet.data = bytes.data();
    packet.byteCount = bytes.size();
    packet.frames = frames;
    packet.flags = flags;
    packet.position = position;
    return packet;
}

const PacketFormat FloatStereo48k = PacketFormat{SampleEncoding::Float32, 2, 48000, 8, 32};

} // namespace

TEST(MixFormat, SampleKindFollowsTheTag)
{
    EXPECT_EQ(sampleKindOf(mixFormat(0xFFFE, SampleKind::IeeeFloat, 2, 48000, 32)),
              SampleKind::IeeeFloat);
    EXPECT_EQ(sampleKindOf(mixFormat(0xFFFE, SampleKind::Pcm, 2, 48000, 16)), SampleKind::Pcm);
    EXPECT_EQ(sampleKindOf(mixFormat(0xFFFE, SampleKind::Other, 2, 48000, 16)), SampleKind::Other);
    EXPECT_EQ(sampleKindOf(mixFormat(3, SampleKind::Other, 2, 48000, 32)), SampleKind::IeeeFloat);
    EXPECT_EQ(sampleKindOf(mixFormat(1, SampleKind::IeeeFloat, 2, 48000, 16)), SampleKind::Pcm);
    EXPECT_EQ(sampleKindOf(mixFormat(0x55, SampleKind::Other, 2, 48000, 16)), SampleKind::Pcm);
}

TEST(MixFormat, AcceptsEveryReadableCombination)
{
    struct Case {
        MixFormat format;
        SampleEncoding encoding;
    };
    const Case cases[] = {
        {mixFormat(0xFFFE, SampleKind::IeeeFloat, 2, 48000, 32), SampleEncoding::Float32},
        {mixFormat(3, SampleKind::Other, 6, 44100, 32), SampleEncoding::Float32},
        {mixFormat(0xFFFE, SampleKind::Pcm, 2, 48000, 16), SampleEncoding::Pcm16},
        {mixFormat(1, SampleKind::Other, 1, 44100, 16), SampleEncoding::Pcm16},
        {mixFormat(0xFFFE, SampleKind::Pcm, 2, 96000, 24), SampleEncoding::Pcm24},
        {mixFormat(1, SampleKind::Other, 8, 192000, 24), SampleEncoding::Pcm24},
        {mixFormat(0xFFFE, SampleKind::Pcm, 2, 48000, 32), SampleEncoding::Pcm32},
        {mixFormat(1, SampleKind::Other, 1, 8000, 32), SampleEncoding::Pcm32},
    };
    for (const Case& c : cases) {
        const auto format = acceptMixFormat(c.format);
        ASSERT_TRUE(format.has_value()) << c.format.formatTag << " " << c.format.bitsPerSample;
        EXPECT_EQ(format->encoding, c.encoding);
        EXPECT_EQ(format->channels, c.format.channels);
        EXPECT_EQ(format->samplesPerSec, c.format.samplesPerSec);
        EXPECT_EQ(format->blockAlign, c.format.blockAlign);
        EXPECT_EQ(format->isFloat(), c.encoding == SampleEncoding::Float32);
    }
}

TEST(MixFormat, RefusesEveryOtherCombination)
{
    const MixFormat refused[] = {
        mixFormat(1, SampleKind::Other, 2, 48000, 8),
        mixFormat(0xFFFE, SampleKind::Pcm, 2, 48000, 8),
        mixFormat(0xFFFE, SampleKind::IeeeFloat, 2, 48000, 64),
        mixFormat(3, SampleKind::Other, 2, 48000, 64),
        mixFormat(3, SampleKind::Other, 2, 48000, 16),
        mixFormat(1, SampleKind::Other, 2, 48000, 20),
        mixFormat(1, SampleKind::Other, 2, 48000, 0),
        mixFormat(0xFFFE, SampleKind::Other, 2, 48000, 16),
        mixFormat(0xFFFE, SampleKind::Other, 2, 48000, 32),
    };
    for (const MixFormat& format : refused) {
        EXPECT_FALSE(acceptMixFormat(format).has_value())
            << format.formatTag << " " << format.bitsPerSample;
    }
}

TEST(MixFormat, RefusesFormatsThatWouldReadOutsideTheirFrames)
{
    MixFormat noChannels = mixFormat(3, SampleKind::Other, 2, 48000, 32);
    noChannels.channels = 0;
    EXPECT_FALSE(acceptMixFormat(noChannels).has_value());

    MixFormat noRate = mixFormat(3, SampleKind::Other, 2, 48000, 32);
    noRate.samplesPerSec = 0;
    EXPECT_FALSE(acceptMixFormat(noRate).has_value());

    MixFormat smallBlock = mixFormat(3, SampleKind::Other, 2, 48000, 32);
    smallBlock.blockAlign = 4;
    EXPECT_FALSE(acceptMixFormat(smallBlock).has_value());

    MixFormat paddedBlock = mixFormat(1, SampleKind::Other, 2, 48000, 16);
    paddedBlock.blockAlign = 8;
    EXPECT_TRUE(acceptMixFormat(paddedBlock).has_value());
}

TEST(AudioPacketConversion, MonoAt44100BecomesStereoAt48000FromNearestEarlierFrames)
{
    const PacketFormat format = accepted(mixFormat(1, SampleKind::Other, 1, 44100, 16));
    std::vector<std::int16_t> source(441);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<std::int16_t>(i * 64);
    }
    const auto bytes = bytesOf(source);
    const AudioChunk chunk = convertAudioPacket(format, packetOf(bytes, 441), 0, 0);

    ASSERT_EQ(chunk.samples.size(), 960u);
    for (std::size_t i = 0; i < 480; ++i) {
        const std::size_t s = i * 44100 / 48000;
        const auto expected =
            static_cast<std::int16_t>(static_cast<float>(source[s]) * (1.0f / 32768.0f) * 32767.0f);
        ASSERT_EQ(chunk.samples[2 * i], expected) << i;
        ASSERT_EQ(chunk.samples[2 * i + 1], expected) << i;
    }
}

TEST(AudioPacketConversion, FloatStereoMapsFullScaleSymmetricallyAndClamps)
{
    const std::vector<float> source = {1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -7.0f, 0.0f, 0.25f};
    const auto bytes = bytesOf(source);
    const AudioChunk chunk = convertAudioPacket(FloatStereo48k, packetOf(bytes, 4), 0, 0);
    const std::vector<std::int16_t> expected = {32767, -32767, 16383, -16383,
                                                32767, -32767, 0,     8191};
    EXPECT_EQ(chunk.samples, expected);
}

TEST(AudioPacketConversion, SixChannelsFoldExtraChannelsAtHalfWeight)
{
    const PacketFormat format = accepted(mixFormat(3, SampleKind::Other, 6, 48000, 32));
    const auto onlyFirst = bytesOf(std::vector<float>{1.0f, 0, 0, 0, 0, 0});
    AudioChunk chunk = convertAudioPacket(format, packetOf(onlyFirst, 1), 0, 0);
    EXPECT_EQ(chunk.samples, (std::vector<std::int16_t>{10922, 0}));

    // Channel 2 at full scale adds half to both sides: 0.5 / 3.
    const auto centre = bytesOf(std::vector<float>{0, 0, 1.0f, 0, 0, 0});
    chunk = convertAudioPacket(format, packetOf(centre, 1), 0, 0);
    EXPECT_EQ(chunk.samples, (std::vector<std::int16_t>{5461, 5461}));

    // Everything at full scale: (1 + 4 x 0.5) / 3 = 1.
    const auto full = bytesOf(std::vector<float>{1, 1, 1, 1, 1, 1});
    chunk = convertAudioPacket(format, packetOf(full, 1), 0, 0);
    EXPECT_EQ(chunk.samples, (std::vector<std::int16_t>{32767, 32767}));
}

TEST(AudioPacketConversion, NanAndInfinityContributeNothing)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto bytes = bytesOf(std::vector<float>{nan, inf, -inf, 0.5f});
    const AudioChunk chunk = convertAudioPacket(FloatStereo48k, packetOf(bytes, 2), 0, 0);
    EXPECT_EQ(chunk.samples, (std::vector<std::int16_t>{0, 0, 0, 16383}));

    // In a six-channel mix a NaN in an extra channel must not poison both sides.
    const PacketFormat six = accepted(mixFormat(3, SampleKind::Other, 6, 48000, 32));
    const auto mixed = bytesOf(std::vector<float>{1.0f, 0, nan, inf, 0, 0});
    EXPECT_EQ(convertAudioPacket(six, packetOf(mixed, 1), 0, 0).samples,
              (std::vector<std::int16_t>{10922, 0}));
}

TEST(AudioPacketConversion, IntegerSamplesDecodeToTheirScale)
{
    const PacketFormat pcm16 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 16));
    const auto bytes16 = bytesOf(std::vector<std::int16_t>{16384, -32768});
    EXPECT_EQ(convertAudioPacket(pcm16, packetOf(bytes16, 1), 0, 0).samples,
              (std::vector<std::int16_t>{16383, -32767}));

    const PacketFormat pcm24 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 24));
    const std::vector<std::uint8_t> bytes24 = {0x00, 0x00, 0x40, 0x00, 0x00, 0x80};
    EXPECT_EQ(convertAudioPacket(pcm24, packetOf(bytes24, 1), 0, 0).samples,
              (std::vector<std::int16_t>{16383, -32767}));

    const PacketFormat pcm32 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 32));
    const auto bytes32 =
        bytesOf(std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), 1 << 30});
    EXPECT_EQ(convertAudioPacket(pcm32, packetOf(bytes32, 1), 0, 0).samples,
              (std::vector<std::int16_t>{-32767, 16383}));
}

TEST(AudioPacketConversion, PaddedBlocksAreReadAtTheirStride)
{
    MixFormat mix = mixFormat(1, SampleKind::Other, 2, 48000, 16);
    mix.blockAlign = 8;
    const PacketFormat format = accepted(mix);
    const auto bytes = bytesOf(std::vector<std::int16_t>{16384, -16384, 99, 99, 8192, 0, 99, 99});
    EXPECT_EQ(convertAudioPacket(format, packetOf(bytes, 2), 0, 0).samples,
              (std::vector<std::int16_t>{16383, -16383, 8191, 0}));
}

TEST(AudioPacketConversion, SilentPacketKeepsItsPlaceWithZeros)
{
    const auto bytes = bytesOf(std::vector<float>(960, 0.75f));
    const AudioChunk chunk = convertAudioPacket(
        FloatStereo48k, packetOf(bytes, 480, 5'000'000 + 1'000'000, AudioPacketSilent), 1'000'000,
        0);
    EXPECT_EQ(chunk.startFrame, 24000);
    EXPECT_EQ(chunk.samples, std::vector<std::int16_t>(960, 0));
}

TEST(AudioPacketConversion, PlacementSubtractsStartAndPausedTime)
{
    const auto bytes = bytesOf(std::vector<float>(20, 0.0f));
    // 3 s after a start at 10 s, with 1 s paused: 2 s into the recording.
    const AudioChunk chunk = convertAudioPacket(FloatStereo48k, packetOf(bytes, 10, 130'000'000),
                                                100'000'000, 10'000'000);
    EXPECT_EQ(chunk.startFrame, 96000);
    EXPECT_EQ(chunk.endFrame(), 96010);
}

TEST(AudioPacketConversion, TimestampErrorPlacesThePacketToEndWhenItWasRead)
{
    const auto bytes = bytesOf(std::vector<float>(960, 0.0f));
    AudioPacket packet = packetOf(bytes, 480, 999'999'999, AudioPacketTimestampError);
    packet.readTime = 50'000'000;
    // Read 4 s after the start; 480 frames at 48 kHz last 100,000 units.
    const AudioChunk chunk = convertAudioPacket(FloatStereo48k, packet, 10'000'000, 0);
    EXPECT_EQ(chunk.startFrame, (40'000'000LL - 100'000) * 48000 / 10'000'000);
    EXPECT_EQ(chunk.endFrame(), 192000);

    // At 44.1 kHz the duration uses the source rate, truncated: 441 frames = 100,000 units.
    const PacketFormat cd = accepted(mixFormat(1, SampleKind::Other, 2, 44100, 16));
    const auto cdBytes = bytesOf(std::vector<std::int16_t>(882, 0));
    AudioPacket cdPacket = packetOf(cdBytes, 441, 0, AudioPacketTimestampError);
    cdPacket.readTime = 20'000'000;
    EXPECT_EQ(convertAudioPacket(cd, cdPacket, 0, 0).startFrame, 95520);
}

TEST(AudioPacketConversion, PacketsBeforeTheStartGetNegativeFramesTruncatedTowardZero)
{
    const auto bytes = bytesOf(std::vector<float>(20, 0.0f));
    EXPECT_EQ(convertAudioPacket(FloatStereo48k, packetOf(bytes, 10, 9'000'000), 10'000'000, 0)
                  .startFrame,
              -4800);
    EXPECT_EQ(convertAudioPacket(FloatStereo48k, packetOf(bytes, 10, 9'999'999), 10'000'000, 0)
                  .startFrame,
              0);
    EXPECT_EQ(convertAudioPacket(FloatStereo48k, packetOf(bytes, 10, 9'999'000), 10'000'000, 0)
                  .startFrame,
              -4);
}

TEST(AudioPacketConversion, EmptyPacketStillYieldsAChunk)
{
    const AudioChunk chunk =
        convertAudioPacket(FloatStereo48k, packetOf({}, 0, 20'000'000), 10'000'000, 0);
    EXPECT_EQ(chunk.startFrame, 48000);
    EXPECT_TRUE(chunk.samples.empty());
}

TEST(AudioPacketConversion, FramesBeyondTheReadableBytesStaySilent)
{
    // The packet claims four frames but holds the bytes of two.
    const auto bytes = bytesOf(std::vector<float>{0.5f, 0.5f, 0.25f, 0.25f});
    const AudioChunk chunk = convertAudioPacket(FloatStereo48k, packetOf(bytes, 4), 0, 0);
    EXPECT_EQ(chunk.samples, (std::vector<std::int16_t>{16383, 16383, 8191, 8191, 0, 0, 0, 0}));

    AudioPacket missing = packetOf({}, 4);
    missing.data = nullptr;
    EXPECT_EQ(convertAudioPacket(FloatStereo48k, missing, 0, 0).samples,
              std::vector<std::int16_t>(8, 0));
}

TEST(AudioPacketConversion, UpsamplingRepeatsEarlierFramesNeverReadingPastTheLast)
{
    const PacketFormat slow = accepted(mixFormat(3, SampleKind::Other, 2, 16000, 32));
    const auto bytes = bytesOf(std::vector<float>{0.5f, 0.5f, -0.5f, -0.5f});
    const AudioChunk chunk = convertAudioPacket(slow, packetOf(bytes, 2), 0, 0);
    EXPECT_EQ(chunk.samples,
              (std::vector<std::int16_t>{16383, 16383, 16383, 16383, 16383, 16383, -16383, -16383,
                                         -16383, -16383, -16383, -16383}));
}
