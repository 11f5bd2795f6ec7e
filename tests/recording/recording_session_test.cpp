#include "recording/engine/recording_session.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// Holds the scripted worker at a point until the test lets it go.
class Gate {
public:
    void open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        isOpen = true;
        changed.notify_all();
    }
    void wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return isOpen; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool isOpen = false;
};

bool waitForState(const RecordingSession& session, RecordingState wanted)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (session.readState() != wanted) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A worker that reports Recording, waits for the gate, then ends as told.
struct ScriptedWorker {
    Gate gate;
    std::atomic<int> runs{0};
    std::atomic<bool> failNext{false};
    PixelRect lastRegion;
    std::wstring lastPath;

    RecordingWorkerEntry entry()
    {
        return [this](RecordingSession& session, PixelRect region, std::wstring path) {
            ++runs;
            lastRegion = region;
            lastPath = path;
            session.publishElapsed(1234);
            session.publishState(RecordingState::Recording);
            gate.wait();
            if (failNext) {
                session.fail(L"Zapis probki MP4 (0x80004005)");
            } else {
                session.publishState(RecordingState::Saved);
            }
        };
    }
};

const PixelRect Area{10, 20, 330, 260};

} // namespace

TEST(RecordingSession, StartsIdleWithNothingToShow)
{
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    EXPECT_EQ(session.readState(), RecordingState::Idle);
    EXPECT_EQ(session.readElapsed(), 0);
    EXPECT_EQ(session.readErrorText(), L"");
    EXPECT_FALSE(session.isStopRequested());
    EXPECT_FALSE(session.isPauseRequested());
}

TEST(RecordingSession, StartRunsTheWorkerWithCopiesOfRegionAndPath)
{
    ScriptedWorker worker;
    RecordingSession session{worker.entry()};
    {
        std::wstring path = L"C:\\Videos\\Video_1.mp4";
        ASSERT_TRUE(session.start(Area, path));
        path.assign(L"changed");
    }
    ASSERT_TRUE(waitForState(session, RecordingState::Recording));
    EXPECT_EQ(worker.lastRegion, Area);
    EXPECT_EQ(worker.lastPath, L"C:\\Videos\\Video_1.mp4");
    worker.gate.open();
    ASSERT_TRUE(waitForState(session, RecordingState::Saved));
    session.join();
    EXPECT_EQ(worker.runs, 1);
}

TEST(RecordingSession, StartIsStartingUntilTheWorkerReports)
{
    Gate before;
    RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) {
        before.wait();
        s.publishState(RecordingState::Saved);
    }};
    ASSERT_TRUE(session.start(Area, L"a.mp4"));
    EXPECT_EQ(session.readState(), RecordingState::Starting);
    before.open();
    session.join();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
}

TEST(RecordingSession, StartIsRefusedInEveryActiveStateAndChangesNothing)
{
    for (const RecordingState active : {RecordingState::Starting, RecordingState::Recording,
                                        RecordingState::Paused, RecordingState::Saving}) {
        ScriptedWorker worker;
        RecordingSession session{worker.entry()};
        ASSERT_TRUE(session.start(Area, L"a.mp4"));
        ASSERT_TRUE(waitForState(session, RecordingState::Recording));
        session.setPaused(true);
        session.requestStop();
        session.publishState(active);

        EXPECT_FALSE(session.start(Area, L"b.mp4"));
        EXPECT_EQ(session.readState(), active);
        EXPECT_TRUE(session.isStopRequested());
        EXPECT_TRUE(session.isPauseRequested());
        EXPECT_EQ(session.readElapsed(), 1234);

        worker.gate.open();
        session.join();
        EXPECT_EQ(worker.runs, 1);
        EXPECT_EQ(worker.lastPath, L"a.mp4");
    }
}

class RestartAfterEnd : public ::testing::TestWithParam<RecordingState> {};

TEST_P(RestartAfterEnd, JoinsTheOldWorkerAndClearsTextFlagsAndTime)
{
    Gate firstEnd;
    Gate secondStart;
    std::atomic<int> runs{0};
    std::atomic<bool> stopSeenAtSecondStart{true};
    const RecordingState ending = GetParam();
    RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) {
        if (++runs == 1) {
            s.publishElapsed(777);
            s.publishState(RecordingState::Recording);
            firstEnd.wait();
            if (ending == RecordingState::Failed) {
                s.fail(L"Zapis probki MP4 (0x80004005)");
            } else {
                s.publishState(RecordingState::Saved);
            }
            return;
        }
        stopSeenAtSecondStart = s.isStopRequested();
        secondStart.wait();
        s.publishState(RecordingState::Saved);
    }};
    ASSERT_TRUE(session.start(Area, L"a.mp4"));
    ASSERT_TRUE(waitForState(session, RecordingState::Recording));
    session.setPaused(true);
    session.requestStop();
    session.stopForLowDiskSpace();
    firstEnd.open();
    ASSERT_TRUE(waitForState(session, ending));
    EXPECT_EQ(session.readStopReason(), StopReason::LowDiskSpace);
    EXPECT_EQ(session.readErrorText(),
              ending == RecordingState::Failed ? L"Zapis probki MP4 (0x80004005)" : L"");

    ASSERT_TRUE(session.start(Area, L"b.mp4"));
    EXPECT_EQ(session.readState(), RecordingState::Starting);
    EXPECT_EQ(session.readErrorText(), L"");
    EXPECT_EQ(session.readElapsed(), 0);
    EXPECT_FALSE(session.isStopRequested());
    EXPECT_FALSE(session.isPauseRequested());
    EXPECT_EQ(session.readStopReason(), StopReason::Requested);
    secondStart.open();
    session.join();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(stopSeenAtSecondStart);
    EXPECT_EQ(session.readState(), RecordingState::Saved);
}

INSTANTIATE_TEST_SUITE_P(SavedOrFailed, RestartAfterEnd,
                         ::testing::Values(RecordingState::Saved, RecordingState::Failed),
                         [](const ::testing::TestParamInfo<RecordingState>& paramInfo) {
                             return std::string(
                                 paramInfo.param == RecordingState::Saved ? "Saved" : "Failed");
                         });

TEST(RecordingSession, PauseIsTakenOnlyWhileRecordingOrPaused)
{
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    for (const RecordingState ignored :
         {RecordingState::Idle, RecordingState::Starting, RecordingState::Saving,
          RecordingState::Saved, RecordingState::Failed}) {
        session.publishState(ignored);
        session.setPaused(true);
        EXPECT_FALSE(session.isPauseRequested()) << static_cast<int>(ignored);
    }
    session.publishState(RecordingState::Recording);
    session.setPaused(true);
    EXPECT_TRUE(session.isPauseRequested());
    session.publishState(RecordingState::Saving);
    session.setPaused(false);
    EXPECT_TRUE(session.isPauseRequested()) << "a resume in Saving is ignored as well";
    session.publishState(RecordingState::Paused);
    session.setPaused(false);
    EXPECT_FALSE(session.isPauseRequested());
}

TEST(RecordingSession, StopWhileIdleOnlySetsTheFlagUntilTheNextStart)
{
    std::atomic<bool> stopSeen{true};
    RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) {
        stopSeen = s.isStopRequested();
        s.publishState(RecordingState::Saved);
    }};
    session.requestStop();
    session.requestStop();
    EXPECT_TRUE(session.isStopRequested());
    EXPECT_EQ(session.readState(), RecordingState::Idle);
    ASSERT_TRUE(session.start(Area, L"a.mp4"));
    session.join();
    EXPECT_FALSE(stopSeen);
}

TEST(RecordingSession, ErrorTextIsEmptyUnlessFailed)
{
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    for (int value = 0; value <= 5; ++value) {
        session.publishState(static_cast<RecordingState>(value));
        EXPECT_EQ(session.readErrorText(), L"") << value;
    }
    session.fail(L"COM (0x80010106)");
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"COM (0x80010106)");
}

TEST(RecordingSession, FailedIsNeverSeenWithoutItsText)
{
    const std::wstring text = L"Odczyt obrazu pulpitu (0x80070006)";
    RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) { s.fail(text); }};
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(session.start(Area, L"a.mp4"));
        // Polled like the panel's timer does: whenever Failed shows, the text is there.
        while (session.readState() != RecordingState::Failed) {
            std::this_thread::yield();
        }
        ASSERT_EQ(session.readErrorText(), text);
    }
}

TEST(RecordingSession, DestructionStopsTheWorkerAndWaitsForIt)
{
    std::atomic<bool> finished{false};
    {
        RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) {
            s.publishState(RecordingState::Recording);
            while (!s.isStopRequested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            s.publishState(RecordingState::Saving);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            s.publishState(RecordingState::Saved);
            finished = true;
        }};
        ASSERT_TRUE(session.start(Area, L"a.mp4"));
        ASSERT_TRUE(waitForState(session, RecordingState::Recording));
    }
    EXPECT_TRUE(finished);
}

// A worker stuck inside a platform call: it returns only once the program's end has been asked
// for (in the program that end never returns).
struct HungWorker {
    Gate release;
    std::atomic<int> ends{0};
    std::atomic<bool> endedWhileInside{false};
    std::atomic<bool> inside{false};
    std::chrono::steady_clock::time_point stopAsked;
    std::chrono::steady_clock::duration waited{};

    RecordingWorkerEntry entry()
    {
        return [this](RecordingSession& s, PixelRect, std::wstring) {
            inside = true;
            s.publishState(RecordingState::Recording);
            release.wait();
            inside = false;
        };
    }
    StopDeadline deadline()
    {
        return {std::chrono::milliseconds(50), [this] {
                    waited = std::chrono::steady_clock::now() - stopAsked;
                    endedWhileInside = inside.load();
                    ++ends;
                    release.open();
                }};
    }
};

TEST(RecordingSession, StopAndWaitEndsTheProgramWhenAStuckWorkerOutlastsTheLimit)
{
    HungWorker worker;
    RecordingSession session{worker.entry(), worker.deadline()};
    ASSERT_TRUE(session.start(Area, L"a.mp4"));
    ASSERT_TRUE(waitForState(session, RecordingState::Recording));
    worker.stopAsked = std::chrono::steady_clock::now();
    session.stopAndWait();
    EXPECT_EQ(worker.ends, 1);
    EXPECT_TRUE(worker.endedWhileInside);
    EXPECT_GE(worker.waited, std::chrono::milliseconds(50));
    EXPECT_TRUE(session.isStopRequested());
}

TEST(RecordingSession, DestructionEndsTheProgramWhenAStuckWorkerOutlastsTheLimit)
{
    HungWorker worker;
    {
        RecordingSession session{worker.entry(), worker.deadline()};
        ASSERT_TRUE(session.start(Area, L"a.mp4"));
        ASSERT_TRUE(waitForState(session, RecordingState::Recording));
        worker.stopAsked = std::chrono::steady_clock::now();
    }
    EXPECT_EQ(worker.ends, 1);
    EXPECT_TRUE(worker.endedWhileInside);
}

TEST(RecordingSession, WorkerThatEndsWithinTheLimitIsJoinedWithoutEndingTheProgram)
{
    std::atomic<int> ends{0};
    RecordingSession session{[](RecordingSession& s, PixelRect, std::wstring) {
                                 while (!s.isStopRequested()) {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                 }
                                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                 s.publishState(RecordingState::Saved);
                             },
                             StopDeadline{std::chrono::seconds(10), [&] { ++ends; }}};
    ASSERT_TRUE(session.start(Area, L"a.mp4"));
    session.stopAndWait();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    session.stopAndWait();
    EXPECT_EQ(ends, 0);
}

TEST(RecordingSession, JoinWithoutAWorkerReturnsAtOnce)
{
    RecordingSession session{[](RecordingSession&, PixelRect, std::wstring) {}};
    session.join();
    session.join();
    EXPECT_EQ(session.readState(), RecordingState::Idle);
}

// Lets a test run out of memory on its own thread at a chosen moment: while set, every
// allocation of this thread fails.
thread_local bool allocationsRefused = false;

#if defined(__GNUC__) && !defined(__clang__)
// GCC takes the free() of the replaced operator delete for a mismatch with operator new, whose
// replacement below allocates with malloc().
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size)
{
    if (allocationsRefused) {
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

// A worker entry that cannot be copied into a new thread once `refuse` is set, as when the
// system refuses the thread or memory runs out for its start-up copies (3: and memory stays
// exhausted afterwards, so not even the failure text can be made).
struct RefusingEntry {
    std::shared_ptr<std::atomic<int>> refuse;
    std::array<char, 256> bulk{}; // too large for the callable wrapper to keep in place

    RefusingEntry(std::shared_ptr<std::atomic<int>> flag) : refuse(std::move(flag)) {}
    RefusingEntry(const RefusingEntry& other) : refuse(other.refuse), bulk(other.bulk)
    {
        if (*refuse == 1) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        if (*refuse == 2) {
            throw std::bad_alloc();
        }
        if (*refuse == 3) {
            allocationsRefused = true;
            throw std::bad_alloc();
        }
    }
    RefusingEntry& operator=(const RefusingEntry&) = delete;

    void operator()(RecordingSession& session, PixelRect, std::wstring) const
    {
        session.publishState(RecordingState::Saved);
    }
};

} // namespace

TEST(RecordingSession, ThreadThatCannotStartEndsFailedAndAllowsAnotherStart)
{
    for (const int refusal : {1, 2}) {
        const auto refuse = std::make_shared<std::atomic<int>>(0);
        RecordingSession session{RefusingEntry(refuse)};
        *refuse = refusal;
        EXPECT_TRUE(session.start(Area, L"a.mp4"));
        EXPECT_EQ(session.readState(), RecordingState::Failed) << refusal;
        EXPECT_EQ(session.readErrorText(), L"Nieoczekiwany blad nagrywania (np. brak pamieci).");

        *refuse = 0;
        ASSERT_TRUE(session.start(Area, L"b.mp4"));
        session.join();
        EXPECT_EQ(session.readState(), RecordingState::Saved);
        EXPECT_EQ(session.readErrorText(), L"");
    }
}

TEST(RecordingSession, ThreadThatCannotStartEndsFailedEvenWithoutMemoryForTheText)
{
    const auto refuse = std::make_shared<std::atomic<int>>(0);
    RecordingSession session{RefusingEntry(refuse)};
    *refuse = 3;
    bool started = false;
    bool escaped = false;
    try {
        started = session.start(Area, L"a.mp4");
    } catch (...) {
        escaped = true;
    }
    allocationsRefused = false;
    EXPECT_FALSE(escaped);
    EXPECT_TRUE(started);
    EXPECT_EQ(session.readState(), RecordingState::Failed);
    EXPECT_EQ(session.readErrorText(), L"");

    // Ended, so another start runs.
    *refuse = 0;
    ASSERT_TRUE(session.start(Area, L"b.mp4"));
    session.join();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
}

TEST(RecordingSessionFailure, SavedAfterAFailureHasItsTextAndReasonBeforeItsState)
{
    std::wstring textSeenWithSaved = L"unset";
    StopReason reasonSeenWithSaved = StopReason::Requested;
    RecordingSession session{[&](RecordingSession& s, PixelRect, std::wstring) {
        s.publishState(RecordingState::Recording);
        s.saveAfterFailure(L"Zapis probki MP4 (0xC00D4A44)");
        textSeenWithSaved = s.readErrorText();
        reasonSeenWithSaved = s.readStopReason();
    }};
    ASSERT_TRUE(session.start({0, 0, 64, 64}, L"a.mp4"));
    session.join();
    EXPECT_EQ(session.readState(), RecordingState::Saved);
    EXPECT_EQ(textSeenWithSaved, L"Zapis probki MP4 (0xC00D4A44)");
    EXPECT_EQ(reasonSeenWithSaved, StopReason::Failure);
}

TEST(RecordingSessionFailure, EndOfTheSessionStopsWithItsOwnReason)
{
    RecordingSession session{[](RecordingSession& s, PixelRect, std::wstring) {
        s.publishState(RecordingState::Recording);
        while (!s.isStopRequested()) {
            std::this_thread::yield();
        }
        s.publishState(RecordingState::Saved);
    }};
    ASSERT_TRUE(session.start({0, 0, 64, 64}, L"a.mp4"));
    session.stopForSessionEnd();
    session.join();
    EXPECT_EQ(session.readStopReason(), StopReason::SessionEnd);
    EXPECT_EQ(session.readState(), RecordingState::Saved);
}
