#pragma once
// Helpers for the end-to-end tests that drive the real Orlimo.exe: starting and stopping it,
// finding its windows, synthetic keyboard and mouse input, and the folders it writes to.
// Every wait has a timeout, and OrlimoProcess kills the program when it goes out of scope, so a
// failing test never hangs or leaves the program running for the next one.
#include "support/message_pump.h"
#include "support/temp_folder.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace test_support::e2e {

using test_support::Milliseconds;
using test_support::pumpMessagesFor;
using test_support::pumpUntil;

inline constexpr Milliseconds DefaultTimeout = test_support::DefaultWait;

// Folder of the running test executable (no trailing backslash); Orlimo.exe is built next to it.
std::wstring testExecutableDirectory();
std::wstring orlimoExePath();

// A running Orlimo.exe. Move-only; the destructor terminates the process if it still runs.
class OrlimoProcess {
public:
    // Starts Orlimo.exe from the test executable's folder. `arguments` is appended to the
    // command line after the quoted program path. Check started() before use.
    static OrlimoProcess start(const std::wstring& arguments = L"");
    // Starts the program file at `exe` (a copy of Orlimo.exe elsewhere) from its own folder, as
    // a user who double-clicks it there.
    static OrlimoProcess startCopy(const std::wstring& exe);

    OrlimoProcess() = default;
    OrlimoProcess(OrlimoProcess&& other) noexcept;
    OrlimoProcess& operator=(OrlimoProcess&& other) noexcept;
    OrlimoProcess(const OrlimoProcess&) = delete;
    OrlimoProcess& operator=(const OrlimoProcess&) = delete;
    ~OrlimoProcess();

    bool started() const noexcept { return process_ != nullptr; }
    bool running() const;
    DWORD id() const noexcept { return processId_; }
    HANDLE handle() const noexcept { return process_; }

    // The exit code once the process has ended within the timeout, otherwise nothing.
    std::optional<DWORD> waitForExit(Milliseconds timeout = DefaultTimeout);

    // The hidden main window ("OrlimoClass") of this process, or null after the timeout.
    HWND waitForMainWindow(Milliseconds timeout = DefaultTimeout) const;

    // Terminates the process (if it runs) and waits for it to be gone.
    void kill();

private:
    static OrlimoProcess launch(const std::wstring& exe, const std::wstring& arguments,
                                const std::wstring& workingDirectory);
    void closeHandles() noexcept;

    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD processId_ = 0;
};

// Top-level window of the class, of the given process when processId is not 0. Wine 8 also
// returns message-only windows here; use findMessageWindowByClass to look for those on purpose.
HWND findWindowByClass(const wchar_t* className, DWORD processId = 0);
// Message-only window (child of HWND_MESSAGE) of the class, of the given process when not 0.
HWND findMessageWindowByClass(const wchar_t* className, DWORD processId = 0);
// Top-level window of the class and exact title, of the given process when not 0.
HWND findWindowByClassAndTitle(const wchar_t* className, const wchar_t* title, DWORD processId = 0);

HWND waitForWindow(const wchar_t* className, DWORD processId = 0,
                   Milliseconds timeout = DefaultTimeout);
HWND waitForMessageWindow(const wchar_t* className, DWORD processId = 0,
                          Milliseconds timeout = DefaultTimeout);
// True once no top-level window of the class (of the process, when not 0) exists.
bool waitForNoWindow(const wchar_t* className, DWORD processId = 0,
                     Milliseconds timeout = DefaultTimeout);

std::wstring windowText(HWND window);
std::wstring windowClassName(HWND window);
DWORD windowProcessId(HWND window);

// Posts a command (WM_HOTKEY with the command id) to the program's main window "OrlimoClass".
bool postCommand(unsigned commandId);

// Synthetic keyboard input through SendInput. Each returns true when the system took it.
bool keyDown(WORD virtualKey);
bool keyUp(WORD virtualKey);
bool pressKey(WORD virtualKey);
// Presses the keys in order and releases them in reverse order, e.g. {VK_CONTROL, VK_SNAPSHOT}.
bool pressChord(std::initializer_list<WORD> virtualKeys);

// Synthetic mouse input in absolute virtual-screen pixel coordinates.
bool mouseMoveTo(int x, int y);
bool mouseButtonDown(bool rightButton = false);
bool mouseButtonUp(bool rightButton = false);
bool mouseClickAt(int x, int y, bool rightButton = false);
// Left-button drag from one point to another through a few intermediate moves.
bool mouseDrag(POINT from, POINT to, int steps = 8);

// The user's Pictures folder as the shell reports it now, and its "Screenshots" subfolder.
std::wstring picturesFolder();
std::wstring screenshotsFolder();
// The user's Videos folder as the shell reports it now.
std::wstring videosFolder();

using test_support::directoryExists;
using test_support::fileExists;
// Names (not paths) of the files in the folder that match the wildcard, e.g. L"*.png".
std::vector<std::wstring> listFiles(const std::wstring& folder, const std::wstring& pattern);

// Points one of the current user's shell folders (e.g. L"My Pictures", L"My Video") at another
// path in both "User Shell Folders" and "Shell Folders", and puts the old values back on scope
// exit (deleting values that did not exist before).
class ScopedShellFolderOverride {
public:
    ScopedShellFolderOverride(const std::wstring& valueName, const std::wstring& path);
    ScopedShellFolderOverride(const ScopedShellFolderOverride&) = delete;
    ScopedShellFolderOverride& operator=(const ScopedShellFolderOverride&) = delete;
    ~ScopedShellFolderOverride();

    bool applied() const noexcept { return applied_; }

private:
    struct SavedValue {
        std::wstring keyPath;
        bool existed = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    std::wstring valueName_;
    std::vector<SavedValue> saved_;
    bool applied_ = false;
};

struct KeyEvent {
    UINT message = 0; // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP
    WORD virtualKey = 0;
};

// A visible, topmost, focused window of the test process that records the keys it receives.
// Keys reach it only while the calling thread serves messages (pumpUntil, pumpMessagesFor).
class KeyRecorderWindow {
public:
    KeyRecorderWindow();
    KeyRecorderWindow(const KeyRecorderWindow&) = delete;
    KeyRecorderWindow& operator=(const KeyRecorderWindow&) = delete;
    ~KeyRecorderWindow();

    HWND window() const noexcept { return window_; }
    // Brings the window to the foreground and gives it the keyboard focus again.
    bool focus();
    bool hasFocus() const;

    const std::vector<KeyEvent>& events() const noexcept { return events_; }
    // True when any key event (down or up) with this virtual-key code has arrived.
    bool received(WORD virtualKey) const;
    bool receivedMessage(UINT message, WORD virtualKey) const;
    void clear() { events_.clear(); }

private:
    static LRESULT CALLBACK RecorderWndProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);

    HWND window_ = nullptr;
    std::vector<KeyEvent> events_;
};

} // namespace test_support::e2e
