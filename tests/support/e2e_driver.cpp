#include "support/e2e_driver.h"

#include <shlobj.h>

#include <iterator>
#include <utility>

namespace test_support::e2e {

namespace {

constexpr wchar_t MainWindowClass[] = L"OrlimoClass";
constexpr wchar_t RecorderClass[] = L"OrlimoE2eKeyRecorder";
constexpr UINT HotkeyMessage = 0x0312;

HWND findWindowIn(HWND parent, const wchar_t* className, const wchar_t* title, DWORD processId)
{
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(parent, candidate, className, title)) != nullptr) {
        if (processId == 0 || windowProcessId(candidate) == processId) {
            return candidate;
        }
    }
    return nullptr;
}

std::wstring shellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return path;
}

bool sendInputs(std::vector<INPUT>& inputs)
{
    if (inputs.empty()) {
        return true;
    }
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size();
}

INPUT keyInput(WORD virtualKey, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

INPUT mouseInput(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

// SendInput takes absolute positions normalised to 0..65535 over the virtual screen.
LONG normalise(int value, int origin, int extent)
{
    if (extent <= 1) {
        return 0;
    }
    const long long scaled =
        (static_cast<long long>(value - origin) * 65535 + (extent - 1) / 2) / (extent - 1);
    return static_cast<LONG>(scaled);
}

} // namespace

std::wstring testExecutableDirectory()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring{} : path.substr(0, slash);
}

std::wstring orlimoExePath()
{
#ifdef ORLIMO_EXE_NAME
    return testExecutableDirectory() + L"\\" + ORLIMO_EXE_NAME;
#else
    return testExecutableDirectory() + L"\\Orlimo.exe";
#endif
}

OrlimoProcess OrlimoProcess::start(const std::wstring& arguments)
{
    return launch(orlimoExePath(), arguments, testExecutableDirectory());
}

OrlimoProcess OrlimoProcess::startCopy(const std::wstring& exe)
{
    return launch(exe, L"", exe.substr(0, exe.find_last_of(L'\\')));
}

OrlimoProcess OrlimoProcess::launch(const std::wstring& exe, const std::wstring& arguments,
                                    const std::wstring& workingDirectory)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    OrlimoProcess process;
    if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         workingDirectory.c_str(), &startup, &info)) {
        process.process_ = info.hProcess;
        process.thread_ = info.hThread;
        process.processId_ = info.dwProcessId;
    }
    return process;
}

OrlimoProcess::OrlimoProcess(OrlimoProcess&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      thread_(std::exchange(other.thread_, nullptr)),
      processId_(std::exchange(other.processId_, 0))
{}

OrlimoProcess& OrlimoProcess::operator=(OrlimoProcess&& other) noexcept
{
    if (this != &other) {
        kill();
        process_ = std::exchange(other.process_, nullptr);
        thread_ = std::exchange(other.thread_, nullptr);
        processId_ = std::exchange(other.processId_, 0);
    }
    return *this;
}

OrlimoProcess::~OrlimoProcess()
{
    kill();
}

bool OrlimoProcess::running() const
{
    return process_ != nullptr && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> OrlimoProcess::waitForExit(Milliseconds timeout)
{
    if (process_ == nullptr) {
        return std::nullopt;
    }
    // Pump while waiting: the program may be blocked in a SendMessage to a window of ours.
    if (!pumpUntil([this] { return !running(); }, timeout, Milliseconds{10})) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process_, &code)) {
        return std::nullopt;
    }
    return code;
}

HWND OrlimoProcess::waitForMainWindow(Milliseconds timeout) const
{
    HWND window = waitForWindow(MainWindowClass, processId_, timeout);
    if (window == nullptr) {
        return nullptr;
    }
    // The window, and the hotkey window, can be found while WM_CREATE still runs, and a message
    // sent to the window is answered even then, while the tray icon is being added (the thread
    // serves sent messages while it waits on the shell). Start-up is complete in two steps:
    // the program first goes idle, waiting on a message queue with nothing to do, only once its
    // keyboard hook is in place (the hook thread's loop) or its main loop runs; after that, the
    // main thread serves a sent message only in its loop, behind the registered callbacks.
    // A key pressed earlier passes the hook by, as on Windows.
    ::WaitForInputIdle(process_, static_cast<DWORD>(timeout.count()));
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(timeout.count()),
                          &ignored);
    return window;
}

void OrlimoProcess::kill()
{
    if (process_ != nullptr) {
        if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_, 0xDEAD);
            ::WaitForSingleObject(process_, 10000);
        }
    }
    closeHandles();
}

void OrlimoProcess::closeHandles() noexcept
{
    if (thread_ != nullptr) {
        ::CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (process_ != nullptr) {
        ::CloseHandle(process_);
        process_ = nullptr;
    }
    processId_ = 0;
}

HWND findWindowByClass(const wchar_t* className, DWORD processId)
{
    return findWindowIn(nullptr, className, nullptr, processId);
}

HWND findMessageWindowByClass(const wchar_t* className, DWORD processId)
{
    return findWindowIn(HWND_MESSAGE, className, nullptr, processId);
}

HWND findWindowByClassAndTitle(const wchar_t* className, const wchar_t* title, DWORD processId)
{
    return findWindowIn(nullptr, className, title, processId);
}

HWND waitForWindow(const wchar_t* className, DWORD processId, Milliseconds timeout)
{
    HWND found = nullptr;
    pumpUntil([&] { return (found = findWindowByClass(className, processId)) != nullptr; },
              timeout);
    return found;
}

HWND waitForMessageWindow(const wchar_t* className, DWORD processId, Milliseconds timeout)
{
    HWND found = nullptr;
    pumpUntil([&] { return (found = findMessageWindowByClass(className, processId)) != nullptr; },
              timeout);
    return found;
}

bool waitForNoWindow(const wchar_t* className, DWORD processId, Milliseconds timeout)
{
    return pumpUntil([&] { return findWindowByClass(className, processId) == nullptr; }, timeout);
}

std::wstring windowText(HWND window)
{
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::wstring windowClassName(HWND window)
{
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD windowProcessId(HWND window)
{
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId;
}

bool postCommand(unsigned commandId)
{
    HWND main = ::FindWindowW(MainWindowClass, nullptr);
    return main != nullptr && ::PostMessageW(main, HotkeyMessage, commandId, 0);
}

bool keyDown(WORD virtualKey)
{
    std::vector<INPUT> inputs{keyInput(virtualKey, false)};
    return sendInputs(inputs);
}

bool keyUp(WORD virtualKey)
{
    std::vector<INPUT> inputs{keyInput(virtualKey, true)};
    return sendInputs(inputs);
}

bool pressKey(WORD virtualKey)
{
    return pressChord({virtualKey});
}

bool pressChord(std::initializer_list<WORD> virtualKeys)
{
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys) {
        inputs.push_back(keyInput(key, false));
    }
    for (auto it = std::rbegin(virtualKeys); it != std::rend(virtualKeys); ++it) {
        inputs.push_back(keyInput(*it, true));
    }
    return sendInputs(inputs);
}

bool mouseMoveTo(int x, int y)
{
    INPUT input = mouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK);
    input.mi.dx =
        normalise(x, ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    input.mi.dy =
        normalise(y, ::GetSystemMetrics(SM_YVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    std::vector<INPUT> inputs{input};
    return sendInputs(inputs);
}

bool mouseButtonDown(bool rightButton)
{
    std::vector<INPUT> inputs{
        mouseInput(rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN)};
    return sendInputs(inputs);
}

bool mouseButtonUp(bool rightButton)
{
    std::vector<INPUT> inputs{mouseInput(rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP)};
    return sendInputs(inputs);
}

bool mouseClickAt(int x, int y, bool rightButton)
{
    return mouseMoveTo(x, y) && mouseButtonDown(rightButton) && mouseButtonUp(rightButton);
}

bool mouseDrag(POINT from, POINT to, int steps)
{
    if (steps < 1) {
        steps = 1;
    }
    if (!mouseMoveTo(from.x, from.y) || !mouseButtonDown(false)) {
        return false;
    }
    pumpMessagesFor(Milliseconds{30});
    bool ok = true;
    for (int step = 1; step <= steps && ok; ++step) {
        const int x =
            from.x + static_cast<int>((static_cast<long long>(to.x - from.x) * step) / steps);
        const int y =
            from.y + static_cast<int>((static_cast<long long>(to.y - from.y) * step) / steps);
        ok = mouseMoveTo(x, y);
        pumpMessagesFor(Milliseconds{15});
    }
    // Release the button whatever happened, so no drag is left half done.
    return mouseButtonUp(false) && ok;
}

std::wstring picturesFolder()
{
    return shellFolder(CSIDL_MYPICTURES);
}

std::wstring screenshotsFolder()
{
    const std::wstring pictures = picturesFolder();
    return pictures.empty() ? std::wstring{} : pictures + L"\\Screenshots";
}

std::wstring videosFolder()
{
    return shellFolder(CSIDL_MYVIDEO);
}

std::vector<std::wstring> listFiles(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.emplace_back(data.cFileName);
        }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

ScopedShellFolderOverride::ScopedShellFolderOverride(const std::wstring& valueName,
                                                     const std::wstring& path)
    : valueName_(valueName)
{
    const wchar_t* keys[] = {
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
    };
    const DWORD types[] = {REG_EXPAND_SZ, REG_SZ};
    applied_ = true;
    for (int i = 0; i < 2; ++i) {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, keys[i], 0, nullptr, 0,
                              KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key,
                              nullptr) != ERROR_SUCCESS) {
            applied_ = false;
            continue;
        }
        SavedValue saved;
        saved.keyPath = keys[i];
        DWORD size = 0;
        if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &saved.type, nullptr, &size) ==
            ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.existed = ::RegQueryValueExW(key, valueName.c_str(), nullptr, &saved.type,
                                               saved.data.data(), &size) == ERROR_SUCCESS;
            saved.data.resize(size);
        }
        const auto bytes = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
        if (::RegSetValueExW(key, valueName.c_str(), 0, types[i],
                             reinterpret_cast<const BYTE*>(path.c_str()), bytes) != ERROR_SUCCESS) {
            applied_ = false;
        }
        ::RegCloseKey(key);
        saved_.push_back(std::move(saved));
    }
}

ScopedShellFolderOverride::~ScopedShellFolderOverride()
{
    for (const SavedValue& saved : saved_) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, saved.keyPath.c_str(), 0, KEY_SET_VALUE, &key) !=
            ERROR_SUCCESS) {
            continue;
        }
        if (saved.existed) {
            ::RegSetValueExW(key, valueName_.c_str(), 0, saved.type, saved.data.data(),
                             static_cast<DWORD>(saved.data.size()));
        } else {
            ::RegDeleteValueW(key, valueName_.c_str());
        }
        ::RegCloseKey(key);
    }
}

KeyRecorderWindow::KeyRecorderWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecorderWndProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = RecorderClass;
    ::RegisterClassW(&windowClass);

    window_ = ::CreateWindowExW(WS_EX_TOPMOST, RecorderClass, L"Orlimo e2e key recorder",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), this);
    if (window_ != nullptr) {
        focus();
    }
}

KeyRecorderWindow::~KeyRecorderWindow()
{
    if (window_ != nullptr) {
        ::DestroyWindow(window_);
    }
}

bool KeyRecorderWindow::focus()
{
    if (window_ == nullptr) {
        return false;
    }
    ::ShowWindow(window_, SW_SHOW);
    ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(window_);
    ::SetFocus(window_);
    return pumpUntil([this] { return hasFocus(); }, Milliseconds{2000});
}

bool KeyRecorderWindow::hasFocus() const
{
    return window_ != nullptr && ::GetForegroundWindow() == window_ && ::GetFocus() == window_;
}

bool KeyRecorderWindow::received(WORD virtualKey) const
{
    for (const KeyEvent& event : events_) {
        if (event.virtualKey == virtualKey) {
            return true;
        }
    }
    return false;
}

bool KeyRecorderWindow::receivedMessage(UINT message, WORD virtualKey) const
{
    for (const KeyEvent& event : events_) {
        if (event.message == message && event.virtualKey == virtualKey) {
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK KeyRecorderWindow::RecorderWndProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<KeyRecorderWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        if (self != nullptr) {
            try {
                self->events_.push_back(KeyEvent{message, static_cast<WORD>(wParam)});
            } catch (...) {
                // Out of memory: the event is lost, the test's assertion will say so.
            }
        }
        // Keep system keys away from DefWindowProc so Alt never opens a window menu.
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (self != nullptr) {
            self->window_ = nullptr;
        }
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace test_support::e2e
