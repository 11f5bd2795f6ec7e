#include "app/hotkey_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

TEST(HotkeyTable, StoredCallbackRunsOnDispatch)
{
    HotkeyTable table;
    int runs = 0;
    ASSERT_TRUE(table.store(1, [&runs] { ++runs; }));
    EXPECT_TRUE(table.contains(1));
    EXPECT_TRUE(table.dispatch(1));
    EXPECT_TRUE(table.dispatch(1));
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(table.dispatch(0));
    EXPECT_FALSE(table.dispatch(2));
}

TEST(HotkeyTable, StoringAgainReplacesAndDestroysTheOldCallable)
{
    HotkeyTable table;
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    int first = 0;
    int second = 0;
    ASSERT_TRUE(table.store(0, [token, &first] { ++first; }));
    token.reset();
    EXPECT_FALSE(watch.expired());
    ASSERT_TRUE(table.store(0, [&second] { ++second; }));
    EXPECT_TRUE(watch.expired());
    table.dispatch(0);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(HotkeyTable, RefusedReplacementKeepsTheOldCallback)
{
    HotkeyTable table;
    int runs = 0;
    ASSERT_TRUE(table.store(0, [&runs] { ++runs; }));
    EXPECT_FALSE(table.store(0, HotkeyCallback{}));
    EXPECT_TRUE(table.dispatch(0));
    EXPECT_EQ(runs, 1);
}

TEST(HotkeyTable, ClearDestroysEveryCallable)
{
    HotkeyTable table;
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    table.store(0, [token] {});
    table.store(1, [token] {});
    token.reset();
    table.clear();
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(table.contains(0));
    EXPECT_FALSE(table.contains(1));
}

TEST(HotkeyTableDispatch, CommandRaisedWhileACallbackRunsIsDropped)
{
    HotkeyTable table;
    int outer = 0;
    int inner = 0;
    bool nestedRan = true;
    table.store(1, [&inner] { ++inner; });
    table.store(0, [&] {
        ++outer;
        EXPECT_TRUE(table.dispatching());
        nestedRan = table.dispatch(1) || table.dispatch(0);
    });
    EXPECT_FALSE(table.dispatching());
    EXPECT_TRUE(table.dispatch(0));
    EXPECT_FALSE(nestedRan);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(inner, 0);
    EXPECT_FALSE(table.dispatching());
    EXPECT_TRUE(table.dispatch(1));
    EXPECT_EQ(inner, 1);
}

TEST(HotkeyTableDispatch, CallbackMayUnregisterItselfWhileRunning)
{
    HotkeyTable table;
    int runs = 0;
    table.store(0, [&] {
        ++runs;
        EXPECT_EQ(table.remove(0), 1u);
        ++runs; // still alive: it runs from a copy
    });
    EXPECT_TRUE(table.dispatch(0));
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(table.contains(0));
}

TEST(HotkeyTableDispatch, ThrowingCallbackClearsTheDispatchingFlag)
{
    HotkeyTable table;
    table.store(0, [] { throw std::runtime_error("command failed"); });
    int runs = 0;
    table.store(1, [&runs] { ++runs; });
    EXPECT_THROW(table.dispatch(0), std::runtime_error);
    EXPECT_FALSE(table.dispatching());
    EXPECT_TRUE(table.dispatch(1));
    EXPECT_EQ(runs, 1);
}
