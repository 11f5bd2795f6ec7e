#include "screenshot/bounded_retry.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedRetry, GivesUpAfterAllAttemptsWithAPauseAfterEach)
{
    int attempts = 0;
    int pauses = 0;
    EXPECT_FALSE(retryWithPause(
        10,
        [&] {
            ++attempts;
            return false;
        },
        [&] { ++pauses; }));
    EXPECT_EQ(attempts, 10);
    EXPECT_EQ(pauses, 10);
}

TEST(BoundedRetry, FirstSuccessEndsTheAttemptsWithoutAPause)
{
    int attempts = 0;
    int pauses = 0;
    EXPECT_TRUE(retryWithPause(10, [&] { return ++attempts == 1; }, [&] { ++pauses; }));
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(pauses, 0);
}

TEST(BoundedRetry, SuccessOnTheLastAttemptCounts)
{
    std::string trace;
    EXPECT_TRUE(retryWithPause(
        3,
        [&] {
            trace += 'a';
            return trace.size() == 5;
        },
        [&] { trace += 'p'; }));
    EXPECT_EQ(trace, "apapa");
}

TEST(BoundedRetry, NoAttemptsMeansFailure)
{
    int attempts = 0;
    EXPECT_FALSE(retryWithPause(
        0,
        [&] {
            ++attempts;
            return true;
        },
        [] {}));
    EXPECT_EQ(attempts, 0);
}
