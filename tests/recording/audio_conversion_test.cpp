#include "recording/sound/audio_conversion.h"
#include "recording/sound/audio_resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
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

constexpr double Pi = 3.14159265358979323846;

const PacketFormat FloatStereo48k = PacketFormat{SampleEncoding::Float32, 2, 48000, 8, 32};

// Everything a converter makes of `chunks`, one chunk after the other, as one chunk; the chunks
// must follow each other without a gap or an overlap.
AudioChunk joined(const AudioChunkQueue& chunks)
{
    AudioChunk all;
    if (chunks.empty()) {
        ADD_FAILURE() << "no chunk";
        return all;
    }
    all.startFrame = chunks.front().startFrame;
    for (const AudioChunk& chunk : chunks) {
        EXPECT_EQ(chunk.startFrame, all.endFrame());
        all.samples.insert(all.samples.end(), chunk.samples.begin(), chunk.samples.end());
    }
    return all;
}

// One packet converted as a stream of its own, with what the filter held back at its end.
AudioChunk convertOnePacket(const PacketFormat& format, const AudioPacket& packet,
                            std::int64_t startTime, std::int64_t pausedTotal)
{
    AudioStreamConverter converter(format);
    AudioChunkQueue queue;
    converter.convert(packet, startTime, pausedTotal, queue);
    converter.endStream(queue);
    return joined(queue);
}

// Frames of interleaved stereo samples.
template <typename T>
double frameCount(const std::vector<T>& interleaved)
{
    const std::size_t frames = interleaved.size() / 2;
    return static_cast<double>(frames);
}

// The 16-bit samples the conversion makes of a packet's frames before any resampling.
std::vector<std::int16_t> pcmOf(const PacketFormat& format, const AudioPacket& packet)
{
    std::vector<float> stereo;
    decodePacket(format, packet, stereo);
    std::vector<std::int16_t> pcm(stereo.size());
    std::transform(stereo.begin(), stereo.end(), pcm.begin(), toPcm16);
    return pcm;
}

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

TEST(AudioPacketConversion, MonoAt44100BecomesStereoAt48000AtTheTimesOfItsFrames)
{
    // A 1 kHz tone: output frame i must be the tone at i / 48000 s, not delayed by the filter.
    const PacketFormat format = accepted(mixFormat(1, SampleKind::Other, 1, 44100, 16));
    std::vector<std::int16_t> source(441);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<std::int16_t>(
            std::lround(16384.0 * std::sin(2.0 * Pi * 1000.0 * static_cast<double>(i) / 44100.0)));
    }
    const auto bytes = bytesOf(source);
    const AudioChunk chunk = convertOnePacket(format, packetOf(bytes, 441), 0, 0);

    ASSERT_EQ(chunk.samples.size(), 960u);
    // The packet's first and last frames have silence next to them, as far as the filter knows.
    for (std::size_t i = 48; i < 480 - 48; ++i) {
        const double expected =
            0.5 * 32767.0 * std::sin(2.0 * Pi * 1000.0 * static_cast<double>(i) / 48000.0);
        ASSERT_NEAR(chunk.samples[2 * i], expected, 3.0) << i;
        ASSERT_EQ(chunk.samples[2 * i + 1], chunk.samples[2 * i]) << i;
    }
}

TEST(AudioPacketConversion, FloatStereoMapsFullScaleSymmetricallyAndClamps)
{
    const std::vector<float> source = {1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -7.0f, 0.0f, 0.25f};
    const auto bytes = bytesOf(source);
    const std::vector<std::int16_t> expected = {32767, -32767, 16384, -16384,
                                                32767, -32767, 0,     8192};
    EXPECT_EQ(pcmOf(FloatStereo48k, packetOf(bytes, 4)), expected);
}

TEST(AudioPacketConversion, QuietSamplesRoundToTheNearestStepWithoutADeadZone)
{
    const float step = 1.0f / 32767.0f;
    EXPECT_EQ(toPcm16(0.4f * step), 0);
    EXPECT_EQ(toPcm16(0.6f * step), 1);
    EXPECT_EQ(toPcm16(-0.6f * step), -1);
    EXPECT_EQ(toPcm16(2.6f * step), 3);
    EXPECT_EQ(toPcm16(-2.6f * step), -3);
    EXPECT_EQ(toPcm16(0.5f), 16384);
    EXPECT_EQ(toPcm16(-0.5f), -16384);
    EXPECT_EQ(toPcm16(1.0f), 32767);
    EXPECT_EQ(toPcm16(-1.0f), -32767);
}

TEST(AudioPacketConversion, SixChannelsFoldExtraChannelsAtHalfWeight)
{
    const PacketFormat format = accepted(mixFormat(3, SampleKind::Other, 6, 48000, 32));
    const auto onlyFirst = bytesOf(std::vector<float>{1.0f, 0, 0, 0, 0, 0});
    EXPECT_EQ(pcmOf(format, packetOf(onlyFirst, 1)), (std::vector<std::int16_t>{10922, 0}));

    // Channel 2 at full scale adds half to both sides: 0.5 / 3.
    const auto centre = bytesOf(std::vector<float>{0, 0, 1.0f, 0, 0, 0});
    EXPECT_EQ(pcmOf(format, packetOf(centre, 1)), (std::vector<std::int16_t>{5461, 5461}));

    // Everything at full scale: (1 + 4 x 0.5) / 3 = 1.
    const auto full = bytesOf(std::vector<float>{1, 1, 1, 1, 1, 1});
    EXPECT_EQ(pcmOf(format, packetOf(full, 1)), (std::vector<std::int16_t>{32767, 32767}));
}

TEST(AudioPacketConversion, NanAndInfinityContributeNothing)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto bytes = bytesOf(std::vector<float>{nan, inf, -inf, 0.5f});
    EXPECT_EQ(pcmOf(FloatStereo48k, packetOf(bytes, 2)),
              (std::vector<std::int16_t>{0, 0, 0, 16384}));

    // In a six-channel mix a NaN in an extra channel must not poison both sides.
    const PacketFormat six = accepted(mixFormat(3, SampleKind::Other, 6, 48000, 32));
    const auto mixed = bytesOf(std::vector<float>{1.0f, 0, nan, inf, 0, 0});
    EXPECT_EQ(pcmOf(six, packetOf(mixed, 1)), (std::vector<std::int16_t>{10922, 0}));
}

TEST(AudioPacketConversion, IntegerSamplesDecodeToTheirScale)
{
    const PacketFormat pcm16 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 16));
    const auto bytes16 = bytesOf(std::vector<std::int16_t>{16384, -32768});
    EXPECT_EQ(pcmOf(pcm16, packetOf(bytes16, 1)), (std::vector<std::int16_t>{16384, -32767}));

    const PacketFormat pcm24 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 24));
    const std::vector<std::uint8_t> bytes24 = {0x00, 0x00, 0x40, 0x00, 0x00, 0x80};
    EXPECT_EQ(pcmOf(pcm24, packetOf(bytes24, 1)), (std::vector<std::int16_t>{16384, -32767}));

    const PacketFormat pcm32 = accepted(mixFormat(1, SampleKind::Other, 2, 48000, 32));
    const auto bytes32 =
        bytesOf(std::vector<std::int32_t>{std::numeric_limits<std::int32_t>::min(), 1 << 30});
    EXPECT_EQ(pcmOf(pcm32, packetOf(bytes32, 1)), (std::vector<std::int16_t>{-32767, 16384}));
}

TEST(AudioPacketConversion, PaddedBlocksAreReadAtTheirStride)
{
    MixFormat mix = mixFormat(1, SampleKind::Other, 2, 48000, 16);
    mix.blockAlign = 8;
    const PacketFormat format = accepted(mix);
    const auto bytes = bytesOf(std::vector<std::int16_t>{16384, -16384, 99, 99, 8192, 0, 99, 99});
    EXPECT_EQ(pcmOf(format, packetOf(bytes, 2)),
              (std::vector<std::int16_t>{16384, -16384, 8192, 0}));
}

TEST(AudioPacketConversion, SilentPacketKeepsItsPlaceWithZeros)
{
    const auto bytes = bytesOf(std::vector<float>(960, 0.75f));
    const AudioChunk chunk = convertOnePacket(
        FloatStereo48k, packetOf(bytes, 480, 5'000'000 + 1'000'000, AudioPacketSilent), 1'000'000,
        0);
    EXPECT_EQ(chunk.startFrame, 24000);
    EXPECT_EQ(chunk.samples, std::vector<std::int16_t>(960, 0));
}

TEST(AudioPacketConversion, PlacementSubtractsStartAndPausedTime)
{
    const auto bytes = bytesOf(std::vector<float>(20, 0.0f));
    // 3 s after a start at 10 s, with 1 s paused: 2 s into the recording.
    const AudioChunk chunk =
        convertOnePacket(FloatStereo48k, packetOf(bytes, 10, 130'000'000), 100'000'000, 10'000'000);
    EXPECT_EQ(chunk.startFrame, 96000);
    EXPECT_EQ(chunk.endFrame(), 96010);
}

TEST(AudioPacketConversion, TimestampErrorPlacesThePacketToEndWhenItWasRead)
{
    const auto bytes = bytesOf(std::vector<float>(960, 0.0f));
    AudioPacket packet = packetOf(bytes, 480, 999'999'999, AudioPacketTimestampError);
    packet.readTime = 50'000'000;
    // Read 4 s after the start; 480 frames at 48 kHz last 100,000 units.
    const AudioChunk chunk = convertOnePacket(FloatStereo48k, packet, 10'000'000, 0);
    EXPECT_EQ(chunk.startFrame, (40'000'000LL - 100'000) * 48000 / 10'000'000);
    EXPECT_EQ(chunk.endFrame(), 192000);

    // At 44.1 kHz the duration uses the source rate, truncated: 441 frames = 100,000 units.
    const PacketFormat cd = accepted(mixFormat(1, SampleKind::Other, 2, 44100, 16));
    const auto cdBytes = bytesOf(std::vector<std::int16_t>(882, 0));
    AudioPacket cdPacket = packetOf(cdBytes, 441, 0, AudioPacketTimestampError);
    cdPacket.readTime = 20'000'000;
    EXPECT_EQ(convertOnePacket(cd, cdPacket, 0, 0).startFrame, 95520);
}

TEST(AudioPacketConversion, PacketsBeforeTheStartGetNegativeFramesTruncatedTowardZero)
{
    const auto bytes = bytesOf(std::vector<float>(20, 0.0f));
    EXPECT_EQ(
        convertOnePacket(FloatStereo48k, packetOf(bytes, 10, 9'000'000), 10'000'000, 0).startFrame,
        -4800);
    EXPECT_EQ(
        convertOnePacket(FloatStereo48k, packetOf(bytes, 10, 9'999'999), 10'000'000, 0).startFrame,
        0);
    EXPECT_EQ(
        convertOnePacket(FloatStereo48k, packetOf(bytes, 10, 9'999'000), 10'000'000, 0).startFrame,
        -4);
}

TEST(AudioPacketConversion, EmptyPacketStillYieldsAChunk)
{
    const AudioChunk chunk =
        convertOnePacket(FloatStereo48k, packetOf({}, 0, 20'000'000), 10'000'000, 0);
    EXPECT_EQ(chunk.startFrame, 48000);
    EXPECT_TRUE(chunk.samples.empty());
}

TEST(AudioPacketConversion, FramesBeyondTheReadableBytesStaySilent)
{
    // The packet claims four frames but holds the bytes of two.
    const auto bytes = bytesOf(std::vector<float>{0.5f, 0.5f, 0.25f, 0.25f});
    EXPECT_EQ(pcmOf(FloatStereo48k, packetOf(bytes, 4)),
              (std::vector<std::int16_t>{16384, 16384, 8192, 8192, 0, 0, 0, 0}));

    AudioPacket missing = packetOf({}, 4);
    missing.data = nullptr;
    EXPECT_EQ(pcmOf(FloatStereo48k, missing), std::vector<std::int16_t>(8, 0));
    EXPECT_EQ(convertOnePacket(FloatStereo48k, missing, 0, 0).samples,
              std::vector<std::int16_t>(8, 0));
}

TEST(AudioPacketConversion, UpsamplingAShortPacketSpansItsTimeAndReadsNothingPastItsLastFrame)
{
    // Two frames at 16 kHz span six at 48 kHz; frame 0 stands for the first source frame's time,
    // frame 3 for the second's. The bytes end with the packet, so a read past it would show
    // under AddressSanitizer.
    const PacketFormat slow = accepted(mixFormat(3, SampleKind::Other, 2, 16000, 32));
    const auto bytes = bytesOf(std::vector<float>{0.5f, 0.5f, -0.5f, -0.5f});
    const AudioChunk chunk = convertOnePacket(slow, packetOf(bytes, 2), 0, 0);
    ASSERT_EQ(chunk.samples.size(), 12u);
    for (std::size_t i = 0; i < 12; i += 2) {
        EXPECT_EQ(chunk.samples[i], chunk.samples[i + 1]) << i;
    }
    EXPECT_GT(chunk.samples[0], 8000);
    EXPECT_LT(chunk.samples[6], -8000);
}

namespace {

// Interleaved stereo float noise, the two channels different.
std::vector<float> noise(std::size_t frames, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> level(-0.9f, 0.9f);
    std::vector<float> samples(frames * 2);
    for (float& sample : samples) {
        sample = level(random);
    }
    return samples;
}

// Packet k of a continuous float stereo stream at `rate` in 10 ms packets (their lengths
// alternate where the rate is no multiple of 100), positioned exactly, the stream starting at
// `first` (100-ns units).
AudioPacket streamPacket(const std::vector<float>& samples, std::uint32_t rate, std::int64_t k,
                         std::int64_t first = 0)
{
    const std::int64_t from = k * rate / 100;
    const std::int64_t to = (k + 1) * rate / 100;
    AudioPacket packet;
    packet.data = reinterpret_cast<const std::uint8_t*>(samples.data() + 2 * from);
    packet.frames = static_cast<std::uint32_t>(to - from);
    packet.byteCount = std::size_t{packet.frames} * 8;
    packet.position = static_cast<std::uint64_t>(first + from * 10'000'000 / rate);
    return packet;
}

AudioPacket wholeStream(const std::vector<float>& samples, std::int64_t first = 0)
{
    AudioPacket packet;
    packet.data = reinterpret_cast<const std::uint8_t*>(samples.data());
    packet.frames = static_cast<std::uint32_t>(samples.size() / 2);
    packet.byteCount = samples.size() * sizeof(float);
    packet.position = static_cast<std::uint64_t>(first);
    return packet;
}

PacketFormat floatStereo(std::uint32_t rate)
{
    return PacketFormat{SampleEncoding::Float32, 2, rate, 8, 32};
}

} // namespace

TEST(ResampledStream, PacketsInARowComeOutAsOneConversionOfTheWhole)
{
    // 44.1 kHz in 441-frame packets, 22.05 kHz in packets of 220 and 221, 48 kHz, 96 kHz
    // decimated, and an odd rate; each at its nominal step and at a steered one.
    for (const std::uint32_t rate : {44100u, 22050u, 48000u, 96000u, 44101u}) {
        for (const double steering : {0.0, 137e-6}) {
            SCOPED_TRACE(testing::Message() << rate << " " << steering);
            constexpr std::int64_t Packets = 12;
            const std::vector<float> samples =
                noise(static_cast<std::size_t>(Packets * rate / 100), 5);
            AudioResampler inPieces(rate);
            AudioResampler inOneGo(rate);
            inPieces.setStep(inPieces.nominalStep() * (1.0 + steering));
            inOneGo.setStep(inOneGo.nominalStep() * (1.0 + steering));
            std::vector<float> pieces;
            for (std::int64_t k = 0; k < Packets; ++k) {
                const std::int64_t from = k * rate / 100;
                const std::int64_t to = (k + 1) * rate / 100;
                inPieces.push(samples.data() + 2 * from, static_cast<std::size_t>(to - from),
                              pieces);
            }
            inPieces.finish(pieces);
            std::vector<float> whole;
            inOneGo.push(samples.data(), samples.size() / 2, whole);
            inOneGo.finish(whole);
            ASSERT_EQ(pieces.size(), whole.size());
            EXPECT_TRUE(pieces == whole);
            // Every output frame whose time lies within the input, and no other.
            const double frames = frameCount(samples) / (inOneGo.nominalStep() * (1.0 + steering));
            EXPECT_NEAR(frameCount(whole), frames, 1.0);
        }
    }
}

TEST(ResampledStream, EveryRateHasAtLeast256PhasesAndSharesOneTable)
{
    for (const std::uint32_t rate : {8000u, 44100u, 48000u, 96000u, 192000u}) {
        SCOPED_TRACE(rate);
        const AudioResampler resampler(rate);
        EXPECT_GE(resampler.phaseCount(), 256u);
        EXPECT_EQ(ResamplerFilter::forRate(rate).get(), ResamplerFilter::forRate(rate).get());
    }
}

TEST(ResampledStream, ContinuousPacketsFormOneStreamInOrder)
{
    for (const std::uint32_t rate : {44100u, 48000u}) {
        SCOPED_TRACE(rate);
        constexpr std::int64_t Packets = 12;
        const std::vector<float> samples = noise(static_cast<std::size_t>(Packets * rate / 100), 5);
        AudioStreamConverter converter(floatStereo(rate));
        AudioChunkQueue queue;
        for (std::int64_t k = 0; k < Packets; ++k) {
            const PacketPlacement placed =
                converter.convert(streamPacket(samples, rate, k, 20'000'000), 0, 0, queue);
            EXPECT_EQ(placed.placement, k == 0 ? SeamPlacement::ByPosition : SeamPlacement::Joined);
            EXPECT_NEAR(placed.offset, 0.0, 1.0);
        }
        converter.endStream(queue);
        const AudioChunk all = joined(queue);
        EXPECT_EQ(all.startFrame, 96000);
        EXPECT_NEAR(frameCount(all.samples), 5760.0, 1.0);
        EXPECT_EQ(converter.streamsStarted(), 1u);
    }
}

TEST(ResampledStream, ToneStaysAtItsPlaceOnTheTimeline)
{
    // Every output frame stands for the time it is placed at (past the first 5 ms, which ring
    // where the tone starts out of silence): the filter's delay is made up by
    // placing each chunk earlier by the frames it held back.
    for (const std::uint32_t rate : {44100u, 16000u, 96000u}) {
        SCOPED_TRACE(rate);
        constexpr std::int64_t Packets = 10;
        std::vector<float> samples(static_cast<std::size_t>(Packets * rate / 100) * 2);
        for (std::size_t n = 0; n < samples.size() / 2; ++n) {
            samples[2 * n] = static_cast<float>(
                0.5 * std::sin(2.0 * Pi * 1000.0 * static_cast<double>(n) / rate));
            samples[2 * n + 1] = samples[2 * n];
        }
        AudioStreamConverter converter(floatStereo(rate));
        AudioChunkQueue queue;
        for (std::int64_t k = 0; k < Packets; ++k) {
            converter.convert(streamPacket(samples, rate, k, 10'000'000), 0, 0, queue);
        }
        for (const AudioChunk& chunk : queue) {
            for (std::int64_t f = std::max<std::int64_t>(chunk.startFrame, 48000 + 240);
                 f < chunk.endFrame(); ++f) {
                const double expected =
                    0.5 * 32767.0 *
                    std::sin(2.0 * Pi * 1000.0 * static_cast<double>(f - 48000) / 48000.0);
                ASSERT_NEAR(chunk.samples[static_cast<std::size_t>(2 * (f - chunk.startFrame))],
                            expected, 3.0)
                    << f;
            }
        }
    }
}

TEST(ResampledStream, RealGapEndsTheSoundBeforeItAndStartsAFreshFilter)
{
    constexpr std::uint32_t Rate = 44100;
    const std::vector<float> before = noise(441 * 5, 7);
    const std::vector<float> after = noise(441 * 5, 8);
    AudioStreamConverter converter(floatStereo(Rate));
    AudioChunkQueue queue;
    for (std::int64_t k = 0; k < 5; ++k) {
        converter.convert(streamPacket(before, Rate, k), 0, 0, queue);
    }
    // 100 ms lost: the next packet comes 150 ms after the first. Its jump is held until the
    // packet after it confirms it.
    for (std::int64_t k = 0; k < 5; ++k) {
        const PacketPlacement placed =
            converter.convert(streamPacket(after, Rate, k, 1'500'000), 0, 0, queue);
        EXPECT_EQ(placed.placement, k == 0 ? SeamPlacement::Held : SeamPlacement::Joined);
    }
    converter.endStream(queue);
    EXPECT_EQ(converter.streamsStarted(), 2u);

    // The sound before the gap ends as if the stream had ended there, with the frames its filter
    // held back; the sound after it begins at its own stamp with a fresh filter.
    const auto second = std::find_if(queue.begin(), queue.end(), [](const AudioChunk& chunk) {
        return chunk.startFrame >= 7200;
    });
    const AudioChunk firstSound = joined(AudioChunkQueue(queue.begin(), second));
    const AudioChunk secondSound = joined(AudioChunkQueue(second, queue.end()));
    // The steered step may span a frame more or less than the nominal one.
    EXPECT_EQ(firstSound.startFrame, 0);
    EXPECT_NEAR(static_cast<double>(firstSound.endFrame()), 2400.0, 1.0);
    EXPECT_EQ(secondSound.startFrame, 7200);
    EXPECT_NEAR(static_cast<double>(secondSound.endFrame()), 9600.0, 1.0);
    // Its first frames (those that need nothing of the next packet) are exactly those of the
    // packet converted alone.
    const AudioChunk fresh =
        convertOnePacket(floatStereo(Rate), streamPacket(after, Rate, 0, 1'500'000), 0, 0);
    ASSERT_GE(secondSound.samples.size(), 200u);
    EXPECT_TRUE(std::equal(secondSound.samples.begin(), secondSound.samples.begin() + 200,
                           fresh.samples.begin()));
}

TEST(ResampledStream, LoneStampOffTheClockIsJitterAndKeepsTheSoundContinuous)
{
    // Under Wine two packets cut from one engine period share one stamp: the second is 10 ms
    // early. The packet after it is back on the clock, so nothing is re-placed and nothing is
    // lost.
    for (const std::uint32_t rate : {44100u, 48000u}) {
        SCOPED_TRACE(rate);
        constexpr std::int64_t Packets = 20;
        const std::vector<float> samples = noise(static_cast<std::size_t>(Packets * rate / 100), 3);
        AudioStreamConverter converter(floatStereo(rate));
        AudioChunkQueue queue;
        for (std::int64_t k = 0; k < Packets; ++k) {
            AudioPacket packet = streamPacket(samples, rate, k, 10'000'000);
            if (k == 7) {
                packet.position -= 100'000;
            }
            const PacketPlacement placed = converter.convert(packet, 0, 0, queue);
            const SeamPlacement expected = k == 0   ? SeamPlacement::ByPosition
                                           : k == 7 ? SeamPlacement::Held
                                                    : SeamPlacement::Joined;
            EXPECT_EQ(placed.placement, expected) << k;
        }
        converter.endStream(queue);
        EXPECT_EQ(converter.streamsStarted(), 1u);
        const AudioChunk all = joined(queue);
        EXPECT_EQ(all.startFrame, 48000);
        EXPECT_NEAR(frameCount(all.samples), 9600.0, 1.0);
    }
}

TEST(ResampledStream, StampsOfFragmentsOffBothWaysInTurnKeepOneStream)
{
    // Wine cuts 10 ms packets from 15 ms fragments and stamps each with its fragment's start:
    // the stamps are 0, 15, 15, 30, 45, 45 ms... for packets at 0, 10, 20, 30, 40, 50 ms, so one
    // packet is 5 ms late and the next 5 ms early. Neither confirms the other's jump.
    constexpr std::uint32_t Rate = 48000;
    constexpr std::int64_t Packets = 300;
    const std::vector<float> samples = noise(static_cast<std::size_t>(Packets * 480), 6);
    AudioStreamConverter converter(floatStereo(Rate));
    AudioChunkQueue queue;
    const std::int64_t errors[] = {0, 52'000, -52'000};
    for (std::int64_t k = 0; k < Packets; ++k) {
        AudioPacket packet = streamPacket(samples, Rate, k, 10'000'000);
        packet.position += static_cast<std::uint64_t>(errors[k % 3]);
        converter.convert(packet, 0, 0, queue);
    }
    converter.endStream(queue);
    EXPECT_EQ(converter.streamsStarted(), 1u);
    const AudioChunk all = joined(queue);
    EXPECT_EQ(all.startFrame, 48000);
    EXPECT_NEAR(frameCount(all.samples), 144000.0, 2.0);
}

TEST(ResampledStream, HeldPacketAtTheEndOfTheStreamIsKept)
{
    constexpr std::uint32_t Rate = 48000;
    const std::vector<float> samples = noise(480 * 3, 4);
    AudioStreamConverter converter(floatStereo(Rate));
    AudioChunkQueue queue;
    converter.convert(streamPacket(samples, Rate, 0), 0, 0, queue);
    converter.convert(streamPacket(samples, Rate, 1), 0, 0, queue);
    AudioPacket late = streamPacket(samples, Rate, 2);
    late.position += 200'000;
    EXPECT_EQ(converter.convert(late, 0, 0, queue).placement, SeamPlacement::Held);
    // Nothing came to confirm the jump: the packet is joined, and the filter's tail follows.
    converter.endStream(queue);
    const AudioChunk all = joined(queue);
    EXPECT_EQ(all.startFrame, 0);
    EXPECT_NEAR(static_cast<double>(all.endFrame()), 1440.0, 1.0);
    EXPECT_EQ(converter.streamsStarted(), 1u);
}

TEST(ResampledStream, EndStreamHandsOutWhatTheFilterHoldsAndTheNextPacketStartsAFreshStream)
{
    // A pause: the stream ends, and the packet after the resume lands 2 frames past the end.
    constexpr std::uint32_t Rate = 32000;
    const std::vector<float> before = noise(320 * 3, 9);
    const std::vector<float> after = noise(320, 10);
    AudioStreamConverter converter(floatStereo(Rate));
    AudioChunkQueue queue;
    for (std::int64_t k = 0; k < 3; ++k) {
        converter.convert(streamPacket(before, Rate, k), 0, 0, queue);
    }
    converter.endStream(queue);
    const AudioChunk paused = joined(queue);
    EXPECT_EQ(paused.endFrame(), 1440);
    EXPECT_EQ(paused.samples,
              convertOnePacket(floatStereo(Rate), wholeStream(before), 0, 0).samples);

    queue.clear();
    converter.endStream(queue);
    EXPECT_TRUE(queue.empty()); // nothing more is held

    const PacketPlacement placed = converter.convert(wholeStream(after, 300'500), 0, 0, queue);
    converter.endStream(queue);
    EXPECT_EQ(placed.placement, SeamPlacement::ByPosition);
    EXPECT_EQ(converter.streamsStarted(), 2u);
    const AudioChunk resumed = joined(queue);
    EXPECT_EQ(resumed.startFrame, 1442);
    EXPECT_EQ(resumed.samples,
              convertOnePacket(floatStereo(Rate), wholeStream(after), 0, 0).samples);
}

TEST(ResampledStream, SoundAbove24kHzIsFilteredOutBeforeDecimation)
{
    // A 30 kHz tone at 96 kHz would fold to 18 kHz at full level if the samples were only
    // picked; the filter leaves less than a few 16-bit steps of it.
    constexpr std::uint32_t Rate = 96000;
    std::vector<float> samples(9600 * 2);
    for (std::size_t n = 0; n < samples.size() / 2; ++n) {
        samples[2 * n] =
            static_cast<float>(0.5 * std::sin(2.0 * Pi * 30000.0 * static_cast<double>(n) / Rate));
        samples[2 * n + 1] = samples[2 * n];
    }
    const AudioChunk chunk = convertOnePacket(floatStereo(Rate), wholeStream(samples), 0, 0);
    ASSERT_EQ(chunk.samples.size(), 9600u);
    int peak = 0;
    for (std::size_t i = 2 * 100; i < chunk.samples.size() - 2 * 100; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(chunk.samples[i])));
    }
    EXPECT_LE(peak, 2);
}
