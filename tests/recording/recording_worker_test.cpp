#include "recording/recording_worker.h"

#include "recording_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <cstdint>
#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

constexpr std::int64_t Period = 333'333;
constexpr std::int64_t Pass = 50'000; // one Sleep(5) on the virtual clock

std::int32_t hr(std::uint32_t value)
{
    return static_cast<std::int32_t>(value);
}

struct WorkerFixture : ::testing::Test {
    FakeWorld world;
    FakePlatform platform{world};
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    PixelRect region{100, 200, 116, 216};

    void run() { runRecordingWorkerWith(session, region, L"C:\\Videos\\Video_1.mp4", platform); }

    void stopAfterPass(int pass)
    {
        world.onSleep = [this, pass](int done) {
            if (done == pass) {
                session.requestStop();
            }
        };
    }

    // Queues, on each converting drain, a chunk of 5 ms of `level` that ends at the read time.
    void deliverSoundEndingNow(std::int16_t level)
    {
        world.onDrain = [this, level](AudioChunkQueue& queue, std::int64_t startTime,
                                      std::int64_t pausedTotal) {
            AudioChunk chunk;
            chunk.startFrame = (world.clock - Pass - startTime - pausedTotal) * 48'000 / 10'000'000;
            chunk.samples.assign(240 * 2, level);
            queue.push_back(std::move(chunk));
        };
    }

    std::vector<std::int16_t> audioLeft() const
    {
        std::vector<std::int16_t> left;
        for (const WrittenSample& sample : world.audio) {
            const auto pcm = sample.pcm();
            for (std::size_t i = 0; i < pcm.size(); i += 2) {
                left.push_back(pcm[i]);
            }
        }
        return left;
    }

    void expectContiguousAudio() const
    {
        std::int64_t expected = 0;
        for (const WrittenSample& sample : world.audio) {
            ASSERT_EQ(sample.stream, FakeFileWriter::AudioStream);
            ASSERT_EQ(sample.time, expected);
            ASSERT_LE(sample.bytes.size(), 4800u * 4);
            expected = sample.time + sample.duration;
        }
    }

    std::int64_t audioFrames() const
    {
        std::int64_t frames = 0;
        for (const WrittenSample& sample : world.audio) {
            frames += static_cast<std::int64_t>(sample.bytes.size() / 4);
        }
        return frames;
    }

    void TearDown() override { EXPECT_EQ(world.liveObjects, 0) << "a fake object leaked"; }
};

} // namespace

TEST_F(WorkerFixture, StopRightAfterTheStartWritesOneFrameAndSoundToItsEnd)
{
    stopAfterPass(1);
    RecordingState stateWhenSoundStopped = RecordingState::Idle;
    world.onNote = [&](const std::string& name) {
        if (name == "sound stopped") {
            stateWhenSoundStopped = session.readState();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(session.readErrorText(), L"");
    EXPECT_THAT(world.log,
                ElementsAre("make runtime", "COM", "Media Foundation", "sound", "desktop", "open",
                            "file 16x16", "drain discard", "drain", "grab", "video sample", "drain",
                            "audio sample", "finalize", "writer released", "desktop released",
                            "sound stopped", "runtime shut down"));
    EXPECT_EQ(stateWhenSoundStopped, RecordingState::Saved) << "the file completes first";

    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].stream, FakeFileWriter::VideoStream);
    EXPECT_EQ(world.video[0].time, 0);
    EXPECT_EQ(world.video[0].duration, Period);
    EXPECT_EQ(world.video[0].bytes.size(), 384u);
    // The end of the frame is 333,333 units: 1599 whole frames at 48 kHz.
    EXPECT_EQ(audioFrames(), 1599);
    expectContiguousAudio();
    EXPECT_EQ(platform.capturedRegion, region);
}

TEST_F(WorkerFixture, FramesCarryTheConvertedPicture)
{
    world.pixelValue = 255;
    stopAfterPass(1);
    run();
    ASSERT_EQ(world.video.size(), 1u);
    const auto& nv12 = world.video[0].bytes;
    EXPECT_TRUE(std::all_of(nv12.begin(), nv12.begin() + 256, [](auto b) { return b == 235; }));
    EXPECT_TRUE(std::all_of(nv12.begin() + 256, nv12.end(), [](auto b) { return b == 128; }));
}

TEST_F(WorkerFixture, FramesSitOnTheGridOnePerPeriod)
{
    std::vector<std::int64_t> elapsedAtPass;
    world.onSleep = [&](int pass) {
        elapsedAtPass.push_back(session.readElapsed());
        if (pass == 100) {
            session.requestStop();
        }
    };
    run();

    ASSERT_EQ(elapsedAtPass.size(), 100u);
    EXPECT_EQ(elapsedAtPass[0], 0);
    EXPECT_EQ(elapsedAtPass[99], 99 * Pass);
    // 99 passes of 5 ms reach 4.95 s: the frames of slots 0 to 14.
    ASSERT_EQ(world.video.size(), 15u);
    for (std::size_t i = 0; i < world.video.size(); ++i) {
        EXPECT_EQ(world.video[i].time, static_cast<std::int64_t>(i) * Period);
        EXPECT_EQ(world.video[i].duration, Period);
    }
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    // Sound reaches the end of the last frame or the last elapsed time, whichever is later.
    EXPECT_EQ(audioFrames(), std::max<std::int64_t>(15 * Period, 99 * Pass) * 48'000 / 10'000'000);
    expectContiguousAudio();
    // Nothing played: the track is silence, as long as the video.
    const auto left = audioLeft();
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](std::int16_t v) { return v == 0; }));
}

TEST_F(WorkerFixture, LatePassSkipsTheMissedSlots)
{
    world.onSleep = [&](int pass) {
        if (pass == 8) {
            world.clock += 1'000'000; // this pass comes 100 ms late
        }
        if (pass == 20) {
            session.requestStop();
        }
    };
    run();

    std::vector<std::int64_t> times;
    for (const WrittenSample& sample : world.video) {
        times.push_back(sample.time);
        EXPECT_EQ(sample.time % Period, 0);
    }
    // Pass 9 reads 8 x 50,000 + 1,000,000 = 1,400,000: the slot of 1,333,332; 666,666 and
    // 999,999 get no frame and nothing is repeated.
    EXPECT_THAT(times, ElementsAre(0, Period, 4 * Period, 5 * Period));
    EXPECT_EQ(session.readElapsed(), 19 * Pass + 1'000'000);
}

TEST_F(WorkerFixture, TenSecondPauseIsCutFromTheRecording)
{
    deliverSoundEndingNow(1000);
    std::vector<std::int64_t> elapsedWhilePaused;
    world.onSleep = [&](int pass) {
        if (pass == 20) {
            session.setPaused(true);
        }
        if (pass > 21 && pass <= 220) {
            EXPECT_EQ(session.readState(), RecordingState::Paused);
            elapsedWhilePaused.push_back(session.readElapsed());
        }
        if (pass == 220) {
            session.setPaused(false);
        }
        if (pass == 240) {
            session.requestStop();
        }
    };
    run();

    // 240 passes of 5 ms on the wall clock: 1.2 s, of which 200 paused passes (10 s) are gone.
    ASSERT_FALSE(elapsedWhilePaused.empty());
    EXPECT_TRUE(std::all_of(elapsedWhilePaused.begin(), elapsedWhilePaused.end(),
                            [&](std::int64_t e) { return e == elapsedWhilePaused.front(); }));
    EXPECT_EQ(session.readElapsed(), (240 - 1 - 200) * Pass);
    EXPECT_EQ(session.readState(), RecordingState::Saved);

    // Frames continue on the grid without a gap for the pause.
    std::vector<std::int64_t> times;
    times.reserve(world.video.size());
    for (const WrittenSample& sample : world.video) {
        times.push_back(sample.time);
    }
    for (std::size_t i = 1; i < times.size(); ++i) {
        EXPECT_EQ(times[i] - times[i - 1], Period);
    }
    EXPECT_EQ(times.back(), (39 * Pass) / Period * Period);

    // The sound runs on without silence where the pause was: every frame up to the last elapsed
    // time comes from a captured chunk.
    expectContiguousAudio();
    const auto left = audioLeft();
    const std::int64_t covered = session.readElapsed() * 48'000 / 10'000'000;
    ASSERT_GE(static_cast<std::int64_t>(left.size()), covered);
    for (std::int64_t i = 0; i < covered; ++i) {
        ASSERT_EQ(left[static_cast<std::size_t>(i)], 1000) << "frame " << i;
    }
}

TEST_F(WorkerFixture, StopWhilePausedEndsAtOnceAndDiscardsThePausedSound)
{
    deliverSoundEndingNow(1000);
    world.onSleep = [&](int pass) {
        if (pass == 30) {
            session.setPaused(true);
        }
        if (pass == 50) {
            session.requestStop();
        }
    };
    int convertingDrains = 0;
    world.onNote = [&](const std::string& name) {
        if (name == "drain") {
            ++convertingDrains;
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(world.passes, 50);
    // Pass 31 is the first paused one; the end drain discards as well.
    EXPECT_EQ(convertingDrains, 30);
    EXPECT_EQ(world.log.at(world.log.size() - 5), "finalize");
    const std::int64_t elapsed = session.readElapsed();
    EXPECT_EQ(elapsed, 29 * Pass);
    const std::int64_t lastFrameEnd = world.video.back().time + Period;
    EXPECT_EQ(audioFrames(), std::max(lastFrameEnd, elapsed) * 48'000 / 10'000'000);
    expectContiguousAudio();
}

TEST_F(WorkerFixture, StopWhilePausedBeforeTheFirstFrameStillWritesItAndEnds)
{
    // Pause and stop land between the set-up and the first pass.
    world.onNow = [&](int read) {
        if (read == 2) {
            session.setPaused(true);
            session.requestStop();
        }
    };
    world.onSleep = [&](int pass) {
        if (pass > 1000) {
            session.setPaused(false); // keeps a regression from hanging the test run
        }
    };
    run();

    EXPECT_EQ(world.passes, 1);
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].time, 0);
}

TEST_F(WorkerFixture, ResumedRecordingStoresRecordingAgain)
{
    std::vector<RecordingState> states;
    world.onSleep = [&](int pass) {
        states.push_back(session.readState());
        if (pass == 2) {
            session.setPaused(true);
        }
        if (pass == 4) {
            session.setPaused(false);
        }
        if (pass == 6) {
            session.requestStop();
        }
    };
    run();
    EXPECT_THAT(states, ElementsAre(RecordingState::Recording, RecordingState::Recording,
                                    RecordingState::Paused, RecordingState::Paused,
                                    RecordingState::Recording, RecordingState::Recording));
}

TEST_F(WorkerFixture, FailureAfterWritingBeganFinalizesWhatWasWritten)
{
    world.failAt["video sample"] = {3, Failure{hr(0x80004005u), L"Zapis probki MP4"}};
    world.onSleep = [&](int pass) {
        if (pass == 500) {
            session.requestStop();
        }
    };
    RecordingState stateAtAbandon = RecordingState::Idle;
    std::wstring textAtAbandon = L"unset";
    world.onNote = [&](const std::string& name) {
        if (name == "abandon finalizes") {
            stateAtAbandon = session.readState();
            textAtAbandon = session.readErrorText();
        }
    };
    run();

    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Zapis probki MP4 (0x80004005)");
    EXPECT_EQ(world.video.size(), 2u);
    EXPECT_EQ(stateAtAbandon, RecordingState::Recording);
    EXPECT_EQ(textAtAbandon, L"");
    // The loopback and desktop captures are gone before the writer is touched.
    const std::vector<std::string> tail(world.log.end() - 5, world.log.end());
    EXPECT_THAT(tail, ElementsAre("desktop released", "sound stopped", "abandon finalizes",
                                  "writer released", "runtime shut down"));
}

TEST_F(WorkerFixture, MissingOutputDeviceFailsBeforeAnyFile)
{
    world.failAt["sound"] = {1, Failure{hr(0x80070490u), L"Brak wyjscia audio"}};
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Brak wyjscia audio (0x80070490)");
    EXPECT_THAT(world.log, ElementsAre("make runtime", "COM", "Media Foundation", "sound",
                                       "abandon", "writer released", "runtime shut down"));
}

TEST_F(WorkerFixture, OddRegionIsRoundedDownToEvenFrames)
{
    region = {0, 0, 3841, 2161};
    stopAfterPass(1);
    run();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(world.log.at(6), "file 3840x2160");
    ASSERT_EQ(world.video.size(), 1u);
    EXPECT_EQ(world.video[0].bytes.size(), 12'441'600u);
}

TEST_F(WorkerFixture, RegionOutsideTheLimitsFailsBeforeTheSound)
{
    region = {0, 0, 15, 100};
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(),
              L"Obszar musi miec od 16x16 do 3840x2160 pikseli (0x80070057)");
    EXPECT_THAT(world.log, ElementsAre("make runtime", "COM", "Media Foundation", "abandon",
                                       "writer released", "runtime shut down"));
}

struct OutOfMemoryCase {
    const char* step;
    bool fileWasWriting;
};

class OutOfMemory : public WorkerFixture, public ::testing::WithParamInterface<OutOfMemoryCase> {};

TEST_P(OutOfMemory, AnyOtherExceptionBecomesTheUnexpectedText)
{
    world.failAt[GetParam().step] = {1, Failure{0, nullptr}, true};
    stopAfterPass(40);
    run();
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"Nieoczekiwany blad nagrywania (np. brak pamieci).");
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon finalizes"),
              GetParam().fileWasWriting ? 1 : 0);
}

// Readable, stable case names for ctest: the index and the step, letters and digits only.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = std::to_string(info.index) + "_";
    for (const char* c = info.param.step; *c != '\0'; ++c) {
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfStep, OutOfMemory,
    ::testing::Values(OutOfMemoryCase{"make runtime", false}, OutOfMemoryCase{"sound", false},
                      OutOfMemoryCase{"open", false}, OutOfMemoryCase{"grab", true},
                      OutOfMemoryCase{"drain", true}, OutOfMemoryCase{"audio sample", true},
                      OutOfMemoryCase{"finalize", true}),
    caseName<OutOfMemoryCase>);

struct StageCase {
    const char* step;
    int call;
    const wchar_t* stage;
    std::uint32_t code;
    bool fileWasWriting;
};

class StageFailure : public WorkerFixture, public ::testing::WithParamInterface<StageCase> {};

TEST_P(StageFailure, EndsFailedWithTheStageTextAndClosesAWrittenFile)
{
    const StageCase& c = GetParam();
    world.failAt[c.step] = {c.call, Failure{hr(c.code), c.stage}};
    stopAfterPass(60);
    run();

    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08X", c.code);
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), std::wstring(c.stage) + L" (" + code + L")");
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon finalizes"),
              c.fileWasWriting ? 1 : 0);
    EXPECT_EQ(std::count(world.log.begin(), world.log.end(), "abandon"), c.fileWasWriting ? 0 : 1);
    EXPECT_EQ(world.log.back(), "runtime shut down");
    EXPECT_EQ(world.log.at(world.log.size() - 2), "writer released");
}

INSTANTIATE_TEST_SUITE_P(
    EveryStage, StageFailure,
    ::testing::Values(StageCase{"COM", 1, L"COM", 0x80010106u, false},
                      StageCase{"Media Foundation", 1, L"Media Foundation", 0xC00D36E3u, false},
                      StageCase{"sound", 1, L"Urzadzenia audio", 0x80040154u, false},
                      StageCase{"sound", 1, L"Dzwiek systemowy", 0x88890004u, false},
                      StageCase{"sound", 1, L"Format dzwieku systemowego", 0x8007000Eu, false},
                      StageCase{"sound", 1, L"Nieobslugiwany format audio", 0x88890008u, false},
                      StageCase{"sound", 1, L"Przechwytywanie dzwieku systemowego", 0x88890002u,
                                false},
                      StageCase{"sound", 1, L"Bufor dzwieku systemowego", 0x88890003u, false},
                      StageCase{"sound", 1, L"Start dzwieku systemowego", 0x88890001u, false},
                      StageCase{"desktop", 1, L"Przechwytywanie pulpitu", 0x8007000Eu, false},
                      StageCase{"open", 1, L"Ustawienia MP4", 0x8007000Eu, false},
                      StageCase{"open", 1, L"Utworzenie MP4", 0x80070057u, false},
                      StageCase{"open", 1, L"Format wideo", 0x8007000Eu, false},
                      StageCase{"open", 1, L"Enkoder H.264", 0xC00D5212u, false},
                      StageCase{"open", 1, L"Wejscie wideo NV12", 0xC00D36B4u, false},
                      StageCase{"open", 1, L"Format audio", 0x8007000Eu, false},
                      StageCase{"open", 1, L"Enkoder AAC", 0x80040154u, false},
                      StageCase{"open", 1, L"Wejscie audio PCM", 0xC00D36B4u, false},
                      StageCase{"open", 1, L"Start zapisu MP4", 0x80004005u, false},
                      StageCase{"drain discard", 1, L"Odczyt audio", 0x88890001u, true},
                      StageCase{"drain", 5, L"Odczyt pakietu audio", 0x88890001u, true},
                      StageCase{"drain", 7, L"Zwolnienie pakietu audio", 0x88890001u, true},
                      StageCase{"drain", 9, L"Kolejny pakiet audio", 0x88890001u, true},
                      StageCase{"grab", 2, L"Odczyt obrazu pulpitu", 0x80070006u, true},
                      StageCase{"video sample", 1, L"Bufor nagrania", 0x8007000Eu, true},
                      StageCase{"video sample", 2, L"Blokada bufora", 0x80004005u, true},
                      StageCase{"audio sample", 1, L"Probka nagrania", 0x8007000Eu, true},
                      StageCase{"audio sample", 2, L"Zapis probki MP4", 0xC00D4A44u, true},
                      StageCase{"finalize", 1, L"Finalizacja pliku MP4", 0xC00D4A44u, true}),
    caseName<StageCase>);
