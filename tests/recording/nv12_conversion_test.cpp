#include "recording/video/nv12_conversion.h"
#include "recording/video/nv12_conversion_paths.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Frame {
    std::int32_t width;
    std::int32_t height;
    std::vector<std::uint8_t> bgra;
};

Frame solidFrame(std::int32_t width, std::int32_t height, std::uint8_t r, std::uint8_t g,
                 std::uint8_t b, std::uint8_t fourth = 0)
{
    Frame frame{width, height, {}};
    for (std::int32_t i = 0; i < width * height; ++i) {
        frame.bgra.insert(frame.bgra.end(), {b, g, r, fourth});
    }
    return frame;
}

std::vector<std::uint8_t> convert(const Frame& frame)
{
    std::vector<std::uint8_t> nv12(static_cast<std::size_t>(frame.width * frame.height * 3 / 2));
    convertBgraToNv12(frame.bgra.data(), nv12, frame.width, frame.height);
    return nv12;
}

void expectPlanes(const std::vector<std::uint8_t>& nv12, std::int32_t width, std::int32_t height,
                  int luma, int u, int v)
{
    const std::size_t lumaBytes = static_cast<std::size_t>(width * height);
    for (std::size_t i = 0; i < lumaBytes; ++i) {
        ASSERT_EQ(nv12[i], luma) << "luma byte " << i;
    }
    for (std::size_t i = lumaBytes; i < nv12.size(); i += 2) {
        ASSERT_EQ(nv12[i], u) << "chroma byte " << i;
        ASSERT_EQ(nv12[i + 1], v) << "chroma byte " << i + 1;
    }
}

Frame randomFrame(std::int32_t width, std::int32_t height, std::mt19937& random)
{
    Frame frame{width, height,
                std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& value : frame.bgra) {
        value = static_cast<std::uint8_t>(byte(random));
    }
    return frame;
}

} // namespace

TEST(Nv12Conversion, BlackAndWhiteFrames)
{
    expectPlanes(convert(solidFrame(32, 16, 0, 0, 0)), 32, 16, 16, 128, 128);
    expectPlanes(convert(solidFrame(32, 16, 255, 255, 255)), 32, 16, 235, 128, 128);
}

TEST(Nv12Conversion, PureRedGreenAndBlue)
{
    expectPlanes(convert(solidFrame(16, 16, 255, 0, 0)), 16, 16, 82, 90, 240);
    expectPlanes(convert(solidFrame(16, 16, 0, 255, 0)), 16, 16, 144, 54, 34);
    expectPlanes(convert(solidFrame(16, 16, 0, 0, 255)), 16, 16, 41, 240, 110);
}

TEST(Nv12Conversion, BlockOfBlackAndWhiteAveragesToNeutralChroma)
{
    // Every 2x2 block: black, white on top, white, black below.
    Frame frame{16, 16, {}};
    for (std::int32_t y = 0; y < 16; ++y) {
        for (std::int32_t x = 0; x < 16; ++x) {
            const std::uint8_t value = (x + y) % 2 == 0 ? 0 : 255;
            frame.bgra.insert(frame.bgra.end(), {value, value, value, 0});
        }
    }
    const auto nv12 = convert(frame);
    for (std::int32_t y = 0; y < 16; ++y) {
        for (std::int32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(nv12[static_cast<std::size_t>(y * 16 + x)], (x + y) % 2 == 0 ? 16 : 235);
        }
    }
    for (std::size_t i = 256; i < nv12.size(); ++i) {
        EXPECT_EQ(nv12[i], 128);
    }
}

TEST(Nv12Conversion, FourthByteNeverChangesTheOutput)
{
    std::mt19937 random(7);
    Frame frame = randomFrame(48, 18, random);
    const auto reference = convert(frame);
    for (std::size_t i = 3; i < frame.bgra.size(); i += 4) {
        frame.bgra[i] = static_cast<std::uint8_t>(frame.bgra[i] ^ 0xA5);
    }
    EXPECT_EQ(convert(frame), reference);
}

TEST(Nv12Conversion, SmallestFrameFillsExactly384BytesAndNothingBeyond)
{
    const Frame frame = solidFrame(16, 16, 255, 0, 0);
    // Guard bytes after the frame: both paths must write the 384 bytes and stop there.
    std::vector<std::uint8_t> fast(384 + 64, 0xEE);
    convertBgraToNv12(frame.bgra.data(), fast, 16, 16);
    std::vector<std::uint8_t> scalar(384 + 64, 0xEE);
    convertBgraToNv12Scalar(frame.bgra.data(), scalar.data(), 16, 16);

    ASSERT_EQ(fast.size(), 448u);
    for (std::size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(fast[i], 82) << i;
    }
    for (std::size_t i = 256; i < 384; i += 2) {
        ASSERT_EQ(fast[i], 90) << i;
        ASSERT_EQ(fast[i + 1], 240) << i;
    }
    for (std::size_t i = 384; i < fast.size(); ++i) {
        ASSERT_EQ(fast[i], 0xEE) << i;
    }
    EXPECT_EQ(fast, scalar);
}

TEST(Nv12Conversion, PlaneLayoutPutsEachBlockAtItsPlace)
{
    // One red block at column pair 1 of chroma row 1; everything else black.
    Frame frame = solidFrame(16, 16, 0, 0, 0);
    for (const auto& [x, y] :
         {std::pair{2, 2}, std::pair{3, 2}, std::pair{2, 3}, std::pair{3, 3}}) {
        frame.bgra[static_cast<std::size_t>((y * 16 + x) * 4 + 2)] = 255;
    }
    const auto nv12 = convert(frame);
    EXPECT_EQ(nv12[2 * 16 + 2], 82);
    EXPECT_EQ(nv12[3 * 16 + 3], 82);
    EXPECT_EQ(nv12[2 * 16 + 1], 16);
    EXPECT_EQ(nv12[256 + 1 * 16 + 2], 90);
    EXPECT_EQ(nv12[256 + 1 * 16 + 3], 240);
    EXPECT_EQ(nv12[256 + 1 * 16 + 0], 128);
    EXPECT_EQ(nv12[256 + 0 * 16 + 2], 128);
}

TEST(Nv12Conversion, ScalarMatchesTheFormulaOnEveryColourOfOneChannelSweep)
{
    // Each 2x2 block holds one colour, so luma and chroma follow the formulas directly.
    Frame frame{512, 2, {}};
    for (std::int32_t row = 0; row < 2; ++row) {
        for (std::int32_t x = 0; x < 512; ++x) {
            const int level = x / 2;
            frame.bgra.insert(frame.bgra.end(), {static_cast<std::uint8_t>(255 - level),
                                                 static_cast<std::uint8_t>(level / 2),
                                                 static_cast<std::uint8_t>(level), 0});
        }
    }
    const auto nv12 = convert(frame);
    for (int level = 0; level < 256; ++level) {
        const int r = level;
        const int g = level / 2;
        const int b = 255 - level;
        const int y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
        const int u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
        const int v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
        ASSERT_EQ(nv12[static_cast<std::size_t>(2 * level)], y) << level;
        ASSERT_EQ(nv12[static_cast<std::size_t>(1024 + 2 * level)], u) << level;
        ASSERT_EQ(nv12[static_cast<std::size_t>(1024 + 2 * level + 1)], v) << level;
    }
}

class Nv12FastPath : public ::testing::TestWithParam<Nv12Path> {
protected:
    void SetUp() override
    {
        if (!isNv12PathAvailable(GetParam())) {
            GTEST_SKIP() << "this processor lacks the instructions";
        }
    }

    void expectSameAsScalar(const Frame& frame)
    {
        const std::size_t bytes = static_cast<std::size_t>(frame.width) * frame.height * 3 / 2;
        // Guard bytes after the frame catch a store that runs past its end.
        std::vector<std::uint8_t> fast(bytes + 64, 0xEE);
        std::vector<std::uint8_t> reference(bytes + 64, 0xEE);
        convertBgraToNv12With(GetParam(), frame.bgra.data(), fast.data(), frame.width,
                              frame.height);
        convertBgraToNv12Scalar(frame.bgra.data(), reference.data(), frame.width, frame.height);
        ASSERT_EQ(fast, reference) << frame.width << "x" << frame.height;
    }
};

TEST_P(Nv12FastPath, MatchesScalarOnRandomFramesOfManySizes)
{
    std::mt19937 random(2024);
    std::vector<std::pair<std::int32_t, std::int32_t>> sizes = {
        {16, 16},    {18, 16},     {30, 20},  {32, 16},    {34, 36}, {46, 16},
        {48, 2},     {62, 62},     {64, 18},  {66, 20},    {94, 16}, {640, 480},
        {1366, 768}, {1920, 1080}, {3838, 2}, {3840, 2160}};
    std::uniform_int_distribution<std::int32_t> half(8, 1920);
    for (int i = 0; i < 12; ++i) {
        sizes.emplace_back(2 * half(random), 2 * (half(random) % 540 + 8));
    }
    for (const auto& [width, height] : sizes) {
        expectSameAsScalar(randomFrame(width, height, random));
    }
}

TEST_P(Nv12FastPath, MatchesScalarOnExtremeBlocks)
{
    // Saturated and mixed extremes drive every lane sum to its limits.
    const std::array<std::array<std::uint8_t, 4>, 7> palette = {{{0, 0, 0, 0},
                                                                 {255, 255, 255, 255},
                                                                 {255, 0, 0, 0},
                                                                 {0, 255, 0, 0},
                                                                 {0, 0, 255, 0},
                                                                 {255, 0, 255, 0},
                                                                 {0, 255, 255, 0}}};
    std::mt19937 random(99);
    std::uniform_int_distribution<std::size_t> pick(0, palette.size() - 1);
    for (const std::int32_t width : {16, 32, 64, 98}) {
        Frame frame{width, 32, {}};
        for (std::int32_t i = 0; i < width * 32; ++i) {
            const auto& colour = palette[pick(random)];
            frame.bgra.insert(frame.bgra.end(), colour.begin(), colour.end());
        }
        expectSameAsScalar(frame);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Nv12FastPath, ::testing::Values(Nv12Path::Sse2, Nv12Path::Avx2),
                         [](const ::testing::TestParamInfo<Nv12Path>& pathInfo) {
                             return pathInfo.param == Nv12Path::Sse2 ? std::string("Sse2")
                                                                     : std::string("Avx2");
                         });
