#include "recording/video/frame_source_choice.h"

#include "recording/core/media_clock.h"
#include "recording/core/recording_stage.h"
#include "recording/video/resilient_frame_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace duplication_result;

constexpr std::int32_t hr(std::uint32_t value)
{
    return static_cast<std::int32_t>(value);
}
constexpr std::int32_t NotImplemented = hr(0x80004001u);
constexpr std::int32_t InvalidArgument = hr(0x80070057u);
constexpr std::uint32_t HalfFloatRgba = 10; // DXGI_FORMAT_R16G16B16A16_FLOAT, an HDR surface

PixelRect sized(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    return {left, top, left + width, top + height};
}

// A 2560x1440 monitor left of a 1920x1080 primary one, and a 1080x1920 portrait one right of it.
const std::vector<MonitorOutput> ThreeMonitors = {
    {sized(-2560, 0, 2560, 1440), false},
    {sized(0, 0, 1920, 1080), false},
    {sized(1920, 0, 1080, 1920), true},
};

const PixelRect Area = sized(100, 100, 32, 16);
const DuplicationMade MadeOnPrimary{0, sized(0, 0, 1920, 1080), 1920, 1080, false};

DuplicatedImage newImage(std::int32_t width = 1920, std::int32_t height = 1080,
                         std::uint32_t format = BgraFormat)
{
    return {0, 1234, 1, true, format, width, height};
}

TEST(FrameSourceChoice, ResultsAreClassifiedAsTheDocumentationDoes)
{
    EXPECT_EQ(classifyDuplicationResult(0), DuplicationAnswer::Done);
    EXPECT_EQ(classifyDuplicationResult(WaitTimeout), DuplicationAnswer::NoNewImage);
    EXPECT_EQ(classifyDuplicationResult(AccessLost), DuplicationAnswer::Lost);
    EXPECT_EQ(classifyDuplicationResult(Unsupported), DuplicationAnswer::Unsupported);
    for (const std::int32_t passing : {AccessDenied, SessionDisconnected, DeviceRemoved, DeviceHung,
                                       DeviceReset, NotCurrentlyAvailable}) {
        EXPECT_EQ(classifyDuplicationResult(passing), DuplicationAnswer::Passing)
            << std::hex << passing;
    }
    // E_INVALIDARG, E_NOTIMPL (Wine), E_FAIL, no output for the area, out of memory.
    for (const std::uint32_t final :
         {0x80070057u, 0x80004001u, 0x80004005u, 0x887A0002u, 0x8007000Eu}) {
        EXPECT_EQ(classifyDuplicationResult(hr(final)), DuplicationAnswer::Final)
            << std::hex << final;
    }
}

TEST(FrameSourceChoice, TheOutputHoldingTheWholeAreaIsDuplicated)
{
    EXPECT_EQ(outputToDuplicate(sized(-2560, 0, 2560, 1440), ThreeMonitors), 0u);
    EXPECT_EQ(outputToDuplicate(sized(100, 100, 320, 240), ThreeMonitors), 1u);
    EXPECT_EQ(outputToDuplicate(sized(0, 0, 1920, 1080), ThreeMonitors), 1u);
}

TEST(FrameSourceChoice, AnAreaAcrossMonitorsOrOffThemGoesToGdi)
{
    EXPECT_FALSE(outputToDuplicate(sized(-100, 100, 320, 240), ThreeMonitors).has_value());
    EXPECT_FALSE(outputToDuplicate(sized(100, 1000, 320, 240), ThreeMonitors).has_value());
    EXPECT_FALSE(outputToDuplicate(sized(100, 100, 320, 240), {}).has_value());
}

TEST(FrameSourceChoice, AnAreaOnARotatedMonitorGoesToGdi)
{
    EXPECT_FALSE(outputToDuplicate(sized(2000, 100, 320, 240), ThreeMonitors).has_value());
}

TEST(FrameSourceChoice, ADuplicationWhoseSurfaceIsNotTheMonitorsPlaceCountsAsLost)
{
    EXPECT_EQ(judgeMade(MadeOnPrimary, Area), DuplicationAnswer::Done);
    DuplicationMade rotated = MadeOnPrimary;
    rotated.rotated = true;
    EXPECT_EQ(judgeMade(rotated, Area), DuplicationAnswer::Lost);
    DuplicationMade moved = MadeOnPrimary;
    moved.monitor = sized(1920, 0, 1920, 1080);
    EXPECT_EQ(judgeMade(moved, Area), DuplicationAnswer::Lost);
    EXPECT_EQ(judgeMade({Unsupported, {}, 0, 0, false}, Area), DuplicationAnswer::Unsupported);
}

// A recording's frame slots through the real frame source, with a scripted duplication and GDI
// copy, 30 slots a second on the virtual clock. What each slot got is written as one letter:
// G copied by GDI, D copied by the duplication, K the last picture kept, - no picture.
struct Script {
    std::size_t adapters = 1;
    std::vector<std::int32_t> makes;       // the answer of each make() in turn; then S_OK
    std::set<std::size_t> mismatchedMakes; // make() calls whose surface is not the monitor's size
    std::map<int, DuplicatedImage> images; // the image acquired in a slot; otherwise a new one
    DuplicatedImage otherwise = newImage();
    DuplicationMade madeAs = MadeOnPrimary;
    std::set<int> gdiFails; // slots whose GDI copies fail

    int slot = 0;
    std::size_t makeCalls = 0;
    std::string made;    // "slot@adapter" of every make()
    std::string remakes; // slots where the GDI capture was made anew
    char copied = 'K';
    std::uint8_t lastCopy = 0;
};

std::uint8_t marker(int slot)
{
    return static_cast<std::uint8_t>(slot % 250 + 1);
}

class ScriptedGdi final : public FrameSource {
public:
    explicit ScriptedGdi(Script& scripted) : script(scripted) {}
    void grab() override
    {
        if (script.gdiFails.count(script.slot) != 0) {
            throw stageFailure(AccessDenied, RecordingStage::DesktopImageRead);
        }
        script.copied = 'G';
        script.lastCopy = marker(script.slot);
        std::memset(bgra, script.lastCopy, sizeof bgra);
    }
    const std::uint8_t* pixels() const noexcept override { return bgra; }

private:
    Script& script;
    std::uint8_t bgra[32 * 16 * 4] = {};
};

class ScriptedDuplication final : public ScreenDuplication {
public:
    explicit ScriptedDuplication(Script& scripted) : script(scripted) {}
    std::int32_t findAdapters(std::size_t& count) noexcept override
    {
        count = script.adapters;
        return 0;
    }
    DuplicationMade make(std::size_t adapter) noexcept override
    {
        script.made += (script.made.empty() ? "" : " ") + std::to_string(script.slot) + "@" +
                       std::to_string(adapter);
        DuplicationMade made = script.madeAs;
        const std::size_t call = script.makeCalls++;
        made.result = call < script.makes.size() ? script.makes[call] : 0;
        if (script.mismatchedMakes.count(call) != 0) {
            made.modeWidth = 2880;
        }
        return made;
    }
    DuplicatedImage acquire() noexcept override
    {
        const auto scripted = script.images.find(script.slot);
        return scripted != script.images.end() ? scripted->second : script.otherwise;
    }
    std::int32_t copyArea(std::uint8_t* bgra) noexcept override
    {
        script.copied = 'D';
        script.lastCopy = marker(script.slot);
        std::memset(bgra, script.lastCopy, 32 * 16 * 4);
        return 0;
    }
    void release() noexcept override {}

private:
    Script& script;
};

class ScriptedPlatform final : public RecordingPlatform {
public:
    explicit ScriptedPlatform(Script& scripted) : script(scripted) {}
    std::unique_ptr<MediaRuntime> makeMediaRuntime() override { return nullptr; }
    std::unique_ptr<SoundSource> startSound() override { return nullptr; }
    std::unique_ptr<FrameSource> startDesktopCapture(const PixelRect&, std::int32_t,
                                                     std::int32_t) override
    {
        if (gdiMade++ != 0) {
            script.remakes += (script.remakes.empty() ? "" : " ") + std::to_string(script.slot);
        }
        return std::make_unique<ScriptedGdi>(script);
    }
    std::unique_ptr<ScreenDuplication> startScreenDuplication(const PixelRect&, std::int32_t,
                                                              std::int32_t) override
    {
        return std::make_unique<ScriptedDuplication>(script);
    }
    std::int64_t now() override { return 0; }
    void sleepBetweenPasses() override {}
    std::unique_ptr<SleepPrecision> preciseSleep() override { return nullptr; }

private:
    Script& script;
    int gdiMade = 0;
};

// "GDDDK" becomes "G D3 K": each run of one letter, with its length when longer than one.
std::string runs(const std::string& slots)
{
    std::string written;
    for (std::size_t i = 0; i < slots.size();) {
        std::size_t end = i;
        while (end < slots.size() && slots[end] == slots[i]) {
            ++end;
        }
        written += (written.empty() ? "" : " ") + std::string(1, slots[i]) +
                   (end - i > 1 ? std::to_string(end - i) : "");
        i = end;
    }
    return written;
}

struct Sequence {
    const char* name;
    Script script;
    int slots;
    const char* slotsGot;
    const char* made;
    FrameCopier finalCopier;
    const char* remakes = "";
};

DuplicatedImage failed(std::int32_t result)
{
    return {result, 0, 0, false, 0, 0, 0};
}

DuplicatedImage pointerOnly()
{
    DuplicatedImage image = newImage();
    image.lastPresentTime = 0;
    return image;
}

std::vector<Sequence> sequences()
{
    std::vector<Sequence> all;
    // The first slot is copied by GDI; a desktop that shows nothing new keeps that picture, as
    // do frames that only moved the pointer or carry no presented image.
    Sequence still{"still desktop", {}, 120, "G K5 D K113", "0@0", FrameCopier::Duplication};
    still.script.otherwise = failed(WaitTimeout);
    still.script.images = {{5, pointerOnly()}, {6, newImage()}, {7, newImage()}};
    still.script.images[7].accumulatedFrames = 0;
    all.push_back(still);

    // UAC prompt: the secure desktop denies the image, then the making (retried after 1 s, then
    // 2 s); back on the user's desktop the duplication is lost once more and made at once.
    Sequence uac{"UAC prompt",
                 {},
                 180,
                 "G D29 G91 D29 G2 D28",
                 "0@0 60@0 120@0 151@0",
                 FrameCopier::Duplication};
    uac.script.makes = {0, AccessDenied, 0};
    uac.script.images = {{30, failed(AccessDenied)}, {150, failed(AccessLost)}};
    all.push_back(uac);

    // Driver reset: the device is removed; a second later it is made again.
    Sequence reset{"driver reset", {}, 120, "G D29 G31 D59", "0@0 60@0", FrameCopier::Duplication};
    reset.script.adapters = 2; // the first one duplicates: the second is not tried
    reset.script.images = {{30, failed(DeviceRemoved)}};
    all.push_back(reset);

    // Hybrid laptop: the first adapter lists the panel but cannot duplicate it, the second can.
    Sequence hybrid{"hybrid laptop", {}, 60, "G D59", "0@0 0@1", FrameCopier::Duplication};
    hybrid.script.adapters = 2;
    hybrid.script.makes = {Unsupported};
    all.push_back(hybrid);

    // HDR: a half-float surface in the middle is never copied; the duplication is made anew.
    Sequence hdr{"HDR surface", {}, 90, "G D29 G2 D58", "0@0 31@0", FrameCopier::Duplication};
    hdr.script.images = {{30, newImage(1920, 1080, HalfFloatRgba)}};
    all.push_back(hdr);

    // Unsupported by every adapter: GDI, tried again after 1, 2, 4, 8 and 8 s.
    Sequence unsupported{"unsupported everywhere",
                         {},
                         900,
                         "G900",
                         "0@0 0@1 30@0 30@1 90@0 90@1 210@0 210@1 450@0 450@1 690@0 690@1",
                         FrameCopier::Gdi};
    unsupported.script.adapters = 2;
    unsupported.script.makes = std::vector<std::int32_t>(12, Unsupported);
    all.push_back(unsupported);

    // Not implemented (Wine) or an invalid argument: GDI for the rest of the recording.
    Sequence wine{"not implemented", {}, 600, "G600", "0@0", FrameCopier::Gdi};
    wine.script.makes = {NotImplemented};
    all.push_back(wine);
    Sequence invalid{"invalid argument", {}, 120, "G D29 G90", "0@0", FrameCopier::Gdi};
    invalid.script.images = {{30, failed(InvalidArgument)}};
    all.push_back(invalid);

    // A surface of another size than the monitor's place (a mode change under way) is lost, as
    // is an image of another size or one without a surface; a duplication lost before it gave
    // any picture is tried again only after a wait.
    Sequence mode{
        "mode change",           {}, 150, "G31 D29 G33 D27 G2 D28", "0@0 30@0 61@0 92@0 121@0",
        FrameCopier::Duplication};
    mode.script.mismatchedMakes = {0};
    mode.script.images = {
        {60, newImage(2880, 1620)}, {62, newImage(2880, 1620)}, {120, newImage()}};
    mode.script.images[120].texture = false;
    all.push_back(mode);

    // The secure desktop refuses GDI too: no pictures, the GDI capture made anew each second
    // and the duplication tried after 1 s and 2 s, each on its own schedule.
    Sequence secure{
        "secure desktop",         {},     180, "G D29 -70 G22 D58", "0@0 31@0 61@0 121@0",
        FrameCopier::Duplication, "60 90"};
    secure.script.makes = {0, AccessDenied, AccessDenied};
    secure.script.images = {{30, failed(AccessLost)}};
    for (int slot = 30; slot < 100; ++slot) {
        secure.script.gdiFails.insert(slot);
    }
    all.push_back(secure);
    return all;
}

TEST(FrameSourceChoice, SequencesOfRefusalsAndRecoveries)
{
    for (Sequence sequence : sequences()) {
        SCOPED_TRACE(sequence.name);
        Script& script = sequence.script;
        ScriptedPlatform platform(script);
        ResilientFrameSource source(platform, Area, 32, 16);
        std::string got;
        for (script.slot = 0; script.slot < sequence.slots; ++script.slot) {
            script.copied = 'K';
            const bool pictured = source.grab(script.slot * UnitsPerSecond / 30);
            got += pictured ? script.copied : '-';
            if (pictured) {
                // The frame shows the last picture copied, by whichever copier.
                ASSERT_EQ(source.pixels()[0], script.lastCopy) << "slot " << script.slot;
                // A kept picture is told apart, so the worker need not convert it again.
                ASSERT_EQ(source.pictureIsNew(), script.copied != 'K') << "slot " << script.slot;
            }
        }
        EXPECT_EQ(runs(got), sequence.slotsGot);
        EXPECT_EQ(script.made, sequence.made);
        EXPECT_EQ(script.remakes, sequence.remakes);
        EXPECT_EQ(source.choice().copier(), sequence.finalCopier);
    }
}

} // namespace
