// Fifty full-screen screenshots in a row through the real command, run in this process (the
// command is the same code the program runs on its UI thread, minus the hotkey round trip):
// grab, PNG, clipboard and preview each time. Prints the median time per screenshot, the
// process's private memory before and after, and the GDI and USER object counts. Wine answers 0
// to GetGuiResources, so the live GDI objects made by this program's own calls are counted as
// well (the census of the screenshot tests).
//
//   cmake --preset windows -B build/windows && cmake --build build/windows -j2 --target
//   screenshot_bench tools/wine-env.sh sh -c 'wine build/windows/bin/screenshot_bench.exe >
//   /tmp/screenshot_bench.txt 2>&1'
//
// The files go to a fresh folder under %TEMP%, which is removed at the end.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "screenshot/screenshot_folder.h"
#include "screenshot/preview_window.h"
#include "screenshot/screenshot_commands.h"
#include "support/gdi_census.h"

namespace {

constexpr int Runs = 50;

double mebibytes(SIZE_T bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void printCounts(const char* when)
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters));
    std::printf("%-7s private %.1f MiB (pagefile %.1f MiB, working set %.1f MiB), GDI objects %lu, "
                "USER objects %lu, live GDI objects of our calls %zu\n",
                when, mebibytes(counters.PrivateUsage), mebibytes(counters.PagefileUsage),
                mebibytes(counters.WorkingSetSize),
                ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS),
                ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS),
                test_support::GdiCensus::instance().live());
}

void pumpMessages()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::wstring makeFolder()
{
    wchar_t base[MAX_PATH + 1]{};
    ::GetTempPathW(MAX_PATH, base);
    std::wstring folder =
        std::wstring(base) + L"orlimo-bench-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

int removeFolder(const std::wstring& folder)
{
    int files = 0;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*.png").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            ::DeleteFileW((folder + L'\\' + data.cFileName).c_str());
            ++files;
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
    return files;
}

} // namespace

int main()
{
    test_support::GdiCensus::instance();
    ScreenshotFolderPath = makeFolder();
    std::printf("virtual screen %dx%d, %d screenshots\n", ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                ::GetSystemMetrics(SM_CYVIRTUALSCREEN), Runs);

    // One untimed run loads the imaging component and the clipboard machinery.
    takeFullScreenshot();
    pumpMessages();
    printCounts("before");

    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> milliseconds;
    milliseconds.reserve(Runs);
    for (int i = 0; i < Runs; ++i) {
        LARGE_INTEGER start{};
        LARGE_INTEGER end{};
        ::QueryPerformanceCounter(&start);
        takeFullScreenshot();
        ::QueryPerformanceCounter(&end);
        milliseconds.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                               static_cast<double>(frequency.QuadPart));
        pumpMessages();
        // Keeps the names apart: two screenshots in one millisecond share a name.
        ::Sleep(2);
        if (i + 1 == Runs / 2) {
            // Growth that stops by half time is caching; growth that goes on is a leak.
            printCounts("halfway");
        }
    }
    PreviewWindow::close();
    pumpMessages();
    printCounts("after");

    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("per screenshot: median %.1f ms, min %.1f ms, max %.1f ms\n",
                milliseconds[Runs / 2], milliseconds.front(), milliseconds.back());
    std::printf("files written: %d\n", removeFolder(ScreenshotFolderPath));
    return 0;
}
