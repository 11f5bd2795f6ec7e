#include "common/window_binding.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

constexpr wchar_t kProbeClass[] = L"WindowBindingProbeClass";
constexpr UINT kAnswered = WM_APP;
constexpr UINT kThrowsStdException = WM_APP + 1;
constexpr UINT kThrowsInteger = WM_APP + 2;
constexpr LRESULT kAnswer = 42;

// The object a probe window owns: it counts its own destruction, and its handler throws from
// the handling of the one message it is told to fail.
struct Probe {
    UINT failingMessage = 0;
    int* destructions = nullptr;

    Probe(UINT failing, int& destroyed) : failingMessage(failing), destructions(&destroyed) {}
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;
    ~Probe() { ++*destructions; }
};

LRESULT handleProbeMessage(HWND window, Probe& probe, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == probe.failingMessage) {
        if (message == kThrowsInteger) {
            throw 7; // not a std::exception: the barrier must catch anything
        }
        throw std::runtime_error("handler failed");
    }
    if (message == kAnswered) {
        return kAnswer;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK probeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return dispatchToBoundObject<Probe, WindowOwnership::Owns>(window, message, wParam, lParam,
                                                               handleProbeMessage);
}

bool registerProbeClass()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = probeWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kProbeClass;
    return ::RegisterClassExW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// A message-only probe window whose handler fails at `failingMessage`. `leftWithCaller` tells
// whether the creation parameter still held the object when CreateWindowExW returned.
HWND createProbeWindow(UINT failingMessage, int& destructions, bool& leftWithCaller)
{
    WindowCreation<Probe> creation{std::make_unique<Probe>(failingMessage, destructions)};
    HWND window = ::CreateWindowExW(0, kProbeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), &creation);
    leftWithCaller = creation.object != nullptr;
    return window;
}

class WindowBindingBarrier : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(registerProbeClass()); }
};

} // namespace

// A handler that throws at WM_CREATE must refuse the window (-1): CreateWindowExW fails and the
// object it had adopted is freed once, at the WM_NCDESTROY that follows.
TEST_F(WindowBindingBarrier, ThrowAtCreateRefusesTheWindowAndFreesItsObjectOnce)
{
    int destructions = 0;
    bool leftWithCaller = true;
    HWND window = createProbeWindow(WM_CREATE, destructions, leftWithCaller);
    EXPECT_EQ(window, nullptr) << "a throwing WM_CREATE must not leave a window";
    if (window != nullptr) {
        ::DestroyWindow(window);
    }
    EXPECT_FALSE(leftWithCaller) << "the window adopts its object at WM_NCCREATE";
    EXPECT_EQ(destructions, 1);
}

// Any other message answers 0 when its handler throws, whatever it throws, and the window stays
// bound to its object and keeps answering.
TEST_F(WindowBindingBarrier, ThrowAtAnyOtherMessageAnswersZeroAndKeepsTheBinding)
{
    for (UINT failing : {kThrowsStdException, kThrowsInteger}) {
        int destructions = 0;
        bool leftWithCaller = true;
        HWND window = createProbeWindow(failing, destructions, leftWithCaller);
        ASSERT_NE(window, nullptr) << failing;
        EXPECT_FALSE(leftWithCaller);
        EXPECT_EQ(::SendMessageW(window, kAnswered, 0, 0), kAnswer) << failing;
        EXPECT_EQ(::SendMessageW(window, failing, 0, 0), 0) << failing;
        EXPECT_NE(boundObject<Probe>(window), nullptr) << failing;
        EXPECT_EQ(::SendMessageW(window, kAnswered, 0, 0), kAnswer) << failing;
        EXPECT_EQ(destructions, 0) << failing;
        EXPECT_TRUE(::DestroyWindow(window)) << failing;
        EXPECT_EQ(destructions, 1) << failing;
    }
}

// The binding is undone and an owned object freed even when the last message's handler throws.
TEST_F(WindowBindingBarrier, ThrowAtNcDestroyStillFreesTheObjectOnce)
{
    int destructions = 0;
    bool leftWithCaller = true;
    HWND window = createProbeWindow(WM_NCDESTROY, destructions, leftWithCaller);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(::DestroyWindow(window));
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(destructions, 1);
}
