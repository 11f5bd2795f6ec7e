// The recording panel and the screenshot preview at DPIs other than 96: sizes, places and fonts
// follow the DPI, and no text a control can show is cut. The expected values are the 96-DPI
// layout times DPI / 96 through MulDiv, and the font is the 8-point dialog font for the DPI.
#include "recording/core/failure_text.h"
#include "recording/panel/panel_layout.h"
#include "recording/panel/panel_view.h"
#include "recording/panel/recording_panel.h"
#include "recording/panel/recording_panel_window.h"
#include "screenshot/preview_window.h"
#include "screenshot/save_outcome.h"
#include "support/pixels.h"
#include "recording/core/recording_stage.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t Second = 10000000;
constexpr PixelRect Area{100, 200, 740, 680};

// The panel's controls at 96 DPI: id, x, y, width, height, and whether it is a push button.
struct ControlAt96 {
    int id;
    int x;
    int y;
    int width;
    int height;
    bool button;
};
constexpr ControlAt96 ControlsAt96[] = {
    {10, 12, 10, 550, 24, false}, {1, 12, 40, 105, 30, true},  {2, 125, 40, 105, 30, true},
    {3, 238, 40, 145, 30, true},  {4, 391, 40, 155, 30, true}, {11, 12, 82, 550, 22, false},
};

int scaled(int value, UINT dpi)
{
    return ::MulDiv(value, static_cast<int>(dpi), 96);
}

int dialogFontHeight(UINT dpi)
{
    return -::MulDiv(8, static_cast<int>(dpi), 72);
}

// A push button draws its text inside its frame and focus rectangle.
int buttonMargin(UINT dpi)
{
    return scaled(4, dpi);
}

// Every text the control with this id can show.
std::vector<std::wstring> textsOf(int id)
{
    const std::int64_t hundredMinutes = 100 * 60 * Second;
    switch (id) {
    case 10:
        return {ReadyText,
                statusTextFor(RecordingState::Starting, 0, {}),
                statusTextFor(RecordingState::Recording, hundredMinutes, {}),
                statusTextFor(RecordingState::Paused, hundredMinutes, {}),
                statusTextFor(RecordingState::Saving, 0, {}),
                statusTextFor(RecordingState::Saved, 0, {}),
                statusTextFor(RecordingState::Failed, 0, UnexpectedFailureText),
                statusTextFor(RecordingState::Failed, 0,
                              failureText(stageFailure(static_cast<HRESULT>(0x80070057),
                                                       RecordingStage::AreaSize))),
                statusTextFor(RecordingState::Failed, 0,
                              failureText(stageFailure(static_cast<HRESULT>(0x88890003),
                                                       RecordingStage::SystemSoundCapture)))};
    case 1:
        return {L"Start"};
    case 2:
        return {pauseButtonText(RecordingState::Recording),
                pauseButtonText(RecordingState::Paused)};
    case 3:
        return {L"Zakoncz i zapisz"};
    case 4:
        return {L"Otworz MP4"};
    case 11:
        return {formatInfoLine(3840, 2160)};
    default:
        return {};
    }
}

SIZE textExtent(HDC dc, HFONT font, const std::wstring& text)
{
    ScopedSelectObject selected(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}

RECT clientRectOf(HWND control, HWND parent)
{
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The controls sit where the 96-DPI layout scaled to `dpi` puts them, inside the client area,
// with the dialog font for `dpi`, and every text each one can show fits with its font.
void expectPanelControlsLaidOutFor(HWND panel, UINT dpi)
{
    RECT client{};
    ASSERT_TRUE(::GetClientRect(panel, &client));
    ScopedGetDc dc(panel);
    for (const ControlAt96& expected : ControlsAt96) {
        SCOPED_TRACE("control " + std::to_string(expected.id) + " at " + std::to_string(dpi) +
                     " DPI");
        HWND control = ::GetDlgItem(panel, expected.id);
        ASSERT_NE(control, nullptr);
        const RECT place = clientRectOf(control, panel);
        EXPECT_EQ(place.left, scaled(expected.x, dpi));
        EXPECT_EQ(place.top, scaled(expected.y, dpi));
        EXPECT_EQ(place.right - place.left, scaled(expected.width, dpi));
        EXPECT_EQ(place.bottom - place.top, scaled(expected.height, dpi));
        EXPECT_GE(place.left, client.left);
        EXPECT_GE(place.top, client.top);
        EXPECT_LE(place.right, client.right) << "client width " << client.right;
        EXPECT_LE(place.bottom, client.bottom) << "client height " << client.bottom;

        const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW logFont{};
        ASSERT_EQ(::GetObjectW(font, sizeof(logFont), &logFont), static_cast<int>(sizeof(logFont)));
        EXPECT_EQ(logFont.lfHeight, dialogFontHeight(dpi));

        const int margin = expected.button ? buttonMargin(dpi) : 0;
        for (const std::wstring& text : textsOf(expected.id)) {
            const SIZE size = textExtent(dc.get(), font, text);
            EXPECT_LE(size.cx + 2 * margin, place.right - place.left) << "cut: " << text;
            EXPECT_LE(size.cy + 2 * margin, place.bottom - place.top) << "cut: " << text;
        }
    }
}

class ScopedPanel {
public:
    ScopedPanel()
        : panel_(openRecordingPanelFor(Area, [](RecordingSession&, PixelRect, std::wstring) {}))
    {}
    ScopedPanel(const ScopedPanel&) = delete;
    ScopedPanel& operator=(const ScopedPanel&) = delete;
    ~ScopedPanel() { closeRecordingPanel(); }
    HWND get() const { return panel_; }

private:
    HWND panel_;
};

void expectPanelScaledFor(UINT dpi)
{
    ScopedPanel panel;
    ASSERT_NE(panel.get(), nullptr);
    const RECT area{Area.left, Area.top, Area.right, Area.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST), &monitor));
    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(panel.get(), &frame));
    EXPECT_EQ(frame.left, monitor.rcWork.left + scaled(20, dpi));
    EXPECT_EQ(frame.top, monitor.rcWork.bottom - scaled(174, dpi));
    EXPECT_EQ(frame.right - frame.left, scaled(580, dpi));
    EXPECT_EQ(frame.bottom - frame.top, scaled(150, dpi));
    expectPanelControlsLaidOutFor(panel.get(), dpi);
}

// The dialog font for `dpi` as the preview is to draw with: the stock GUI font's face.
UniqueFont dialogFontFor(UINT dpi)
{
    LOGFONTW logFont{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    logFont.lfHeight = dialogFontHeight(dpi);
    logFont.lfWidth = 0;
    return UniqueFont(::CreateFontIndirectW(&logFont));
}

void expectPreviewScaledFor(UINT dpi)
{
    ::SetCursorPos(600, 500);
    const UniqueBitmap picture = test_support::makePatternBitmap(400, 300, 3);
    const std::wstring message(previewStatusText(true));
    ASSERT_TRUE(PreviewWindow::show(picture.get(), L"C:\\nowhere\\missing.png", message));
    HWND preview = ::FindWindowW(L"KestrovaPreview", nullptr);
    ASSERT_NE(preview, nullptr);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{600, 500}, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT outer{};
    ::GetWindowRect(preview, &outer);
    EXPECT_EQ(outer.right - outer.left, scaled(376, dpi));
    EXPECT_EQ(outer.bottom - outer.top, scaled(288, dpi));
    EXPECT_EQ(outer.right, monitor.rcWork.right - scaled(16, dpi));
    EXPECT_EQ(outer.bottom, monitor.rcWork.bottom - scaled(16, dpi));
    PreviewWindow::close();

    // The status line, the close mark and the hint, measured with the dialog font for `dpi`,
    // fit the rectangles of the 96-DPI layout scaled to `dpi`.
    const auto font = dialogFontFor(dpi);
    ASSERT_TRUE(font);
    ScopedGetDc screen(nullptr);
    const int clientWidth = scaled(376, dpi) - 2;
    const std::wstring statusTexts[] = {std::wstring(previewStatusText(true)),
                                        std::wstring(previewStatusText(false))};
    for (const std::wstring& text : statusTexts) {
        const SIZE size = textExtent(screen.get(), font.get(), text);
        EXPECT_LE(size.cx, scaled(338, dpi) - scaled(16, dpi)) << "cut: " << text;
        EXPECT_LE(size.cy, scaled(35, dpi) - scaled(10, dpi)) << "cut: " << text;
    }
    const SIZE mark = textExtent(screen.get(), font.get(), L"X");
    EXPECT_LE(scaled(350, dpi) + mark.cx, clientWidth);
    const std::wstring hint = L"Kliknij obraz, aby otworzyc plik";
    const SIZE hintSize = textExtent(screen.get(), font.get(), hint);
    EXPECT_LE(hintSize.cx, scaled(360, dpi) - scaled(16, dpi)) << "cut: " << hint;
    EXPECT_LE(hintSize.cy, scaled(280, dpi) - scaled(253, dpi)) << "cut: " << hint;
}

// Wine reads the system DPI from the prefix's registry when a program starts, and answers it
// whatever DPI awareness a program asks for; real Windows gives a test no such switch.
bool runningUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

constexpr wchar_t ChildDpiVariable[] = L"ORLIMO_TEST_SYSTEM_DPI";

// The system DPI this process was started for by runAtSystemDpi; 0 when it was not.
UINT requestedSystemDpi()
{
    wchar_t value[16] = {};
    if (::GetEnvironmentVariableW(ChildDpiVariable, value, 16) == 0) {
        return 0;
    }
    return static_cast<UINT>(std::wcstoul(value, nullptr, 10));
}

// Sets the LogPixels value of the current user, which programs started afterwards take as the
// system DPI, and puts the previous value (or its absence) back.
class LogPixelsOverride {
public:
    explicit LogPixelsOverride(UINT dpi)
    {
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                              nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        DWORD size = sizeof(previous_);
        DWORD type = 0;
        hadPrevious_ =
            ::RegQueryValueExW(key_, ValueName, nullptr, &type, reinterpret_cast<BYTE*>(&previous_),
                               &size) == ERROR_SUCCESS &&
            type == REG_DWORD;
        const DWORD value = dpi;
        applied_ =
            ::RegSetValueExW(key_, ValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof(value)) == ERROR_SUCCESS;
    }
    LogPixelsOverride(const LogPixelsOverride&) = delete;
    LogPixelsOverride& operator=(const LogPixelsOverride&) = delete;
    ~LogPixelsOverride()
    {
        if (key_ == nullptr) {
            return;
        }
        if (hadPrevious_) {
            ::RegSetValueExW(key_, ValueName, 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&previous_), sizeof(previous_));
        } else {
            ::RegDeleteValueW(key_, ValueName);
        }
        ::RegCloseKey(key_);
    }
    bool applied() const { return applied_; }

private:
    static constexpr const wchar_t* ValueName = L"LogPixels";
    HKEY key_ = nullptr;
    DWORD previous_ = 0;
    bool hadPrevious_ = false;
    bool applied_ = false;
};

// Runs the current test again in a new process of this program that starts with `dpi` as the
// system DPI; returns its exit code, or -1 when it could not be started or had to be stopped.
int runCurrentTestAtSystemDpi(UINT dpi)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --gtest_filter=";
    for (const char* part : {test->test_suite_name(), ".", test->name()}) {
        for (const char* c = part; *c != '\0'; ++c) {
            commandLine += static_cast<wchar_t>(*c);
        }
    }

    LogPixelsOverride systemDpi(dpi);
    if (!systemDpi.applied()) {
        return -1;
    }
    ::SetEnvironmentVariableW(ChildDpiVariable, std::to_wstring(dpi).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &process);
    ::SetEnvironmentVariableW(ChildDpiVariable, nullptr);
    if (started == FALSE) {
        return -1;
    }
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    if (::WaitForSingleObject(processHandle.get(), 60000) != WAIT_OBJECT_0) {
        ::TerminateProcess(processHandle.get(), 1);
        ::WaitForSingleObject(processHandle.get(), 5000);
        return -1;
    }
    DWORD exitCode = 1;
    ::GetExitCodeProcess(processHandle.get(), &exitCode);
    return static_cast<int>(exitCode);
}

// In the process started for `dpi`, checks the panel and the preview there; otherwise starts
// that process (Wine only) and expects it to pass.
void checkPanelAndPreviewAtSystemDpi(UINT dpi)
{
    if (requestedSystemDpi() == dpi) {
        ASSERT_EQ(::GetDpiForSystem(), dpi) << "the prefix's LogPixels did not take";
        expectPanelScaledFor(dpi);
        expectPreviewScaledFor(dpi);
        return;
    }
    if (!runningUnderWine()) {
        GTEST_SKIP() << "the system DPI can be set by a test only in a Wine prefix";
    }
    EXPECT_EQ(runCurrentTestAtSystemDpi(dpi), 0);
}

TEST(HighDpiUnderWine, PanelAndPreviewScaleAt144)
{
    checkPanelAndPreviewAtSystemDpi(144);
}

TEST(HighDpiUnderWine, PanelAndPreviewScaleAt192)
{
    checkPanelAndPreviewAtSystemDpi(192);
}

// A panel moved to a monitor with another scale; Wine cannot host a second monitor, so the
// message the system sends then is sent here by hand.
TEST(RecordingPanelDpi, FollowsAMoveToAMonitorWithAnotherScale)
{
    ScopedPanel panel;
    ASSERT_NE(panel.get(), nullptr);
    RECT before{};
    ASSERT_TRUE(::GetWindowRect(panel.get(), &before));
    const UINT startDpi = ::GetDpiForWindow(panel.get());

    for (const UINT dpi : {192u, 120u, startDpi}) {
        SCOPED_TRACE("moved to " + std::to_string(dpi) + " DPI");
        RECT suggested{before.left + 40, before.top - 30, before.left + 40 + scaled(580, dpi),
                       before.top - 30 + scaled(150, dpi)};
        ::SendMessageW(panel.get(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        RECT frame{};
        ASSERT_TRUE(::GetWindowRect(panel.get(), &frame));
        EXPECT_EQ(frame.left, suggested.left);
        EXPECT_EQ(frame.top, suggested.top);
        EXPECT_EQ(frame.right, suggested.right);
        EXPECT_EQ(frame.bottom, suggested.bottom);
        expectPanelControlsLaidOutFor(panel.get(), dpi);
    }
}

} // namespace
