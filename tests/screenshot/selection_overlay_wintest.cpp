#include "screenshot/selection_overlay.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/gdi_census.h"
#include "support/message_pump.h"
#include "support/pixels.h"

using namespace test_support;

namespace {

// Steps played into the overlay's own loop, one per tick of a thread timer; the loop
// dispatches the timer message like any other.
struct Script {
    std::vector<std::function<void(HWND overlay)>> steps;
    size_t next = 0;
    HWND seenOverlay = nullptr;
};

Script* activeScript = nullptr;

void CALLBACK ScriptTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    if (activeScript == nullptr || activeScript->next >= activeScript->steps.size()) {
        return;
    }
    HWND overlay = ::FindWindowW(L"SelectionOverlayClass", nullptr);
    if (overlay == nullptr) {
        return;
    }
    activeScript->seenOverlay = overlay;
    activeScript->steps[activeScript->next++](overlay);
}

RECT runScripted(SelectionOverlay& overlay, const RECT& bounds, Script& script)
{
    activeScript = &script;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, ScriptTimerProc);
    const RECT result = overlay.run(bounds);
    ::KillTimer(nullptr, timer);
    activeScript = nullptr;
    return result;
}

LPARAM point(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)),
                      static_cast<WORD>(static_cast<short>(y)));
}

std::function<void(HWND)> post(UINT message, WPARAM wParam, LPARAM lParam)
{
    return [=](HWND overlay) { ::PostMessageW(overlay, message, wParam, lParam); };
}

bool rectEquals(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void expectRect(const RECT& actual, const RECT& expected)
{
    EXPECT_TRUE(rectEquals(actual, expected))
        << actual.left << "," << actual.top << "," << actual.right << "," << actual.bottom;
}

Script dragScript(POINT from, POINT to)
{
    Script s;
    s.steps = {post(WM_LBUTTONDOWN, MK_LBUTTON, point(from.x, from.y)),
               post(WM_MOUSEMOVE, MK_LBUTTON, point((from.x + to.x) / 2, (from.y + to.y) / 2)),
               post(WM_MOUSEMOVE, MK_LBUTTON, point(to.x, to.y)),
               post(WM_LBUTTONUP, 0, point(to.x, to.y))};
    return s;
}

bool overlayClassRegistered()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), L"SelectionOverlayClass", &wc) != FALSE;
}

} // namespace

TEST(SelectionOverlay, DragReturnsTheRectangleInScreenCoordinates)
{
    SelectionOverlay overlay;
    Script script = dragScript({10, 20}, {110, 70});
    const RECT result = runScripted(overlay, RECT{50, 60, 650, 460}, script);
    expectRect(result, RECT{60, 80, 160, 130});
    EXPECT_EQ(::FindWindowW(L"SelectionOverlayClass", nullptr), nullptr);
}

TEST(SelectionOverlay, DragUpLeftGivesTheSameRectangle)
{
    SelectionOverlay forward;
    Script down = dragScript({10, 20}, {110, 70});
    const RECT a = runScripted(forward, RECT{0, 0, 800, 600}, down);
    forward.close();
    SelectionOverlay backward;
    Script up = dragScript({110, 70}, {10, 20});
    const RECT b = runScripted(backward, RECT{0, 0, 800, 600}, up);
    expectRect(a, RECT{10, 20, 110, 70});
    expectRect(b, a);
}

TEST(SelectionOverlay, NegativeOriginAndPointsBeyondTheEdgeAreKept)
{
    SelectionOverlay overlay;
    Script script = dragScript({20, 30}, {-15, -25});
    const RECT result = runScripted(overlay, RECT{-100, -50, 300, 250}, script);
    expectRect(result, RECT{-115, -75, -80, -20});
}

TEST(SelectionOverlay, ClickWithoutDragHasNoArea)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {post(WM_LBUTTONDOWN, MK_LBUTTON, point(40, 50)),
                    post(WM_LBUTTONUP, 0, point(40, 50))};
    const RECT result = runScripted(overlay, RECT{0, 0, 400, 300}, script);
    expectRect(result, RECT{40, 50, 40, 50});
}

TEST(SelectionOverlay, EscapeCancelsBeforeADrag)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {post(WM_KEYDOWN, VK_ESCAPE, 0)};
    expectRect(runScripted(overlay, RECT{0, 0, 400, 300}, script), RECT{});
    EXPECT_EQ(::FindWindowW(L"SelectionOverlayClass", nullptr), nullptr);
}

TEST(SelectionOverlay, EscapeCancelsDuringADragAndReleasesTheCapture)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {post(WM_LBUTTONDOWN, MK_LBUTTON, point(10, 10)),
                    post(WM_MOUSEMOVE, MK_LBUTTON, point(90, 90)), [](HWND) {
                        ::PostThreadMessageW(::GetCurrentThreadId(), WM_KEYDOWN, VK_ESCAPE, 0);
                    }};
    expectRect(runScripted(overlay, RECT{0, 0, 400, 300}, script), RECT{});
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST(SelectionOverlay, ButtonUpWithoutADragAndOtherInputChangeNothing)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {post(WM_LBUTTONUP, 0, point(5, 5)),
                    post(WM_MOUSEMOVE, 0, point(70, 70)),
                    post(WM_RBUTTONDOWN, MK_RBUTTON, point(20, 20)),
                    post(WM_RBUTTONUP, 0, point(60, 60)),
                    post(WM_KEYDOWN, 'A', 0),
                    post(WM_LBUTTONDOWN, MK_LBUTTON, point(30, 40)),
                    post(WM_LBUTTONUP, 0, point(80, 100))};
    expectRect(runScripted(overlay, RECT{0, 0, 400, 300}, script), RECT{30, 40, 80, 100});
}

TEST(SelectionOverlay, QuitEndsTheLoopAndReachesTheOuterLoop)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {[](HWND) { ::PostQuitMessage(7); }};
    expectRect(runScripted(overlay, RECT{0, 0, 400, 300}, script), RECT{});
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(SelectionOverlay, WindowCoversTheBoundsAsADimmedTopmostLayer)
{
    SelectionOverlay overlay;
    Script script;
    RECT windowRect{};
    LONG_PTR exStyle = 0;
    LONG_PTR style = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    HCURSOR cursor = nullptr;
    script.steps = {[&](HWND w) {
                        ::GetWindowRect(w, &windowRect);
                        exStyle = ::GetWindowLongPtrW(w, GWL_EXSTYLE);
                        style = ::GetWindowLongPtrW(w, GWL_STYLE);
                        ::GetLayeredWindowAttributes(w, nullptr, &alpha, &flags);
                        cursor = reinterpret_cast<HCURSOR>(::GetClassLongPtrW(w, GCLP_HCURSOR));
                    },
                    post(WM_KEYDOWN, VK_ESCAPE, 0)};
    runScripted(overlay, RECT{-20, 10, 620, 410}, script);
    expectRect(windowRect, RECT{-20, 10, 620, 410});
    EXPECT_EQ(exStyle & (WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
              WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(alpha, 180);
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
    EXPECT_EQ(cursor, ::LoadCursorW(nullptr, IDC_CROSS));
}

TEST(SelectionOverlay, CloseUnregistersTheClassAndMayBeRepeated)
{
    SelectionOverlay overlay;
    Script script;
    script.steps = {post(WM_KEYDOWN, VK_ESCAPE, 0)};
    runScripted(overlay, RECT{0, 0, 100, 100}, script);
    EXPECT_TRUE(overlayClassRegistered());
    overlay.close();
    EXPECT_FALSE(overlayClassRegistered());
    overlay.close();
}

TEST(SelectionOverlay, GdiObjectsReturnAfterRepeatedCancelledAndFinishedRuns)
{
    auto once = [](bool drag) {
        SelectionOverlay overlay;
        Script script = drag ? dragScript({5, 5}, {60, 40}) : Script{};
        if (!drag) {
            script.steps = {post(WM_LBUTTONDOWN, MK_LBUTTON, point(1, 1)),
                            post(WM_MOUSEMOVE, MK_LBUTTON, point(50, 50)),
                            post(WM_KEYDOWN, VK_ESCAPE, 0)};
        }
        runScripted(overlay, RECT{0, 0, 300, 200}, script);
    };
    once(true);
    pumpMessagesFor(Milliseconds{50});
    const GdiSnapshot before = gdiSnapshot();
    for (int i = 0; i < 5; ++i) {
        once(true);
        once(false);
    }
    pumpMessagesFor(Milliseconds{50});
    EXPECT_EQ(gdiSnapshot(), before);
}
