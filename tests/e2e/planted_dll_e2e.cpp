#include "support/e2e_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace test_support::e2e;

namespace {

// DLLs that are not among the system's known DLLs, which Windows would search for in a
// program's own folder before the system folder. The build makes a planted copy of each (tests/
// planted_dll) that leaves "<name>.loaded" beside itself once its code runs.
const std::vector<std::wstring> PlantedDlls = {L"dwmapi.dll", L"winmm.dll"};

std::wstring plantedDllFolder()
{
    return testExecutableDirectory() + L"\\planted";
}

// ntdll.dll exports wine_get_version only under Wine.
bool runsUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void removeFiles(const std::wstring& folder, const std::wstring& pattern)
{
    for (const auto& name : listFiles(folder, pattern)) {
        ::DeleteFileW((folder + L'\\' + name).c_str());
    }
}

// A folder of its own in the temporary folder, as a browser's Downloads folder where a web page
// can drop files of its choosing; removed with everything in it.
class DownloadsFolder {
public:
    DownloadsFolder()
    {
        wchar_t temp[MAX_PATH] = {};
        const DWORD length = ::GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH) {
            return;
        }
        const std::wstring candidate = std::wstring(temp) + L"orlimo-downloads-" +
                                       std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                       std::to_wstring(::GetTickCount64());
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
        }
    }
    DownloadsFolder(const DownloadsFolder&) = delete;
    DownloadsFolder& operator=(const DownloadsFolder&) = delete;
    ~DownloadsFolder()
    {
        if (!path_.empty()) {
            removeFiles(path_, L"*");
            ::RemoveDirectoryW(path_.c_str());
        }
    }

    bool created() const noexcept { return !path_.empty(); }
    const std::wstring& path() const noexcept { return path_; }

    bool put(const std::wstring& source, const std::wstring& name) const
    {
        return ::CopyFileW(source.c_str(), (path_ + L'\\' + name).c_str(), FALSE) != FALSE;
    }
    bool plantDlls() const
    {
        for (const auto& dll : PlantedDlls) {
            if (!put(plantedDllFolder() + L'\\' + dll, dll)) {
                return false;
            }
        }
        return true;
    }
    std::vector<std::wstring> markers() const { return listFiles(path_, L"*.loaded"); }

private:
    std::wstring path_;
};

class PlantedDllE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The planted DLLs are built with the tests but never shipped in the release archive.
        if (!fileExists(plantedDllFolder() + L"\\dwmapi.dll")) {
            GTEST_SKIP() << "no planted DLLs beside the test program";
        }
        ASSERT_TRUE(downloads.created());
        ASSERT_TRUE(downloads.plantDlls());
    }

    DownloadsFolder downloads;
};

} // namespace

// Without this, a missing marker below would prove nothing.
TEST_F(PlantedDllE2e, EachPlantedDllMarksItsLoading)
{
    for (const auto& dll : PlantedDlls) {
        // Wine's loader always gives its own winmm.dll, even for a full path to another file
        // of that name, so there a planted winmm.dll never runs in any program (measured with
        // Wine 8.0); Windows loads the file it is given.
        if (dll == L"winmm.dll" && runsUnderWine()) {
            continue;
        }
        const std::wstring path = downloads.path() + L'\\' + dll;
        HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        ASSERT_NE(module, nullptr) << ::GetLastError();
        ::FreeLibrary(module);
        EXPECT_TRUE(fileExists(path + L".loaded")) << std::string(dll.begin(), dll.end());
    }
}

// A copy of the program started among them takes a region screenshot, which waits for the
// composition through dwmapi.dll; none of the planted DLLs may run.
TEST_F(PlantedDllE2e, ARegionScreenshotRunsNoDllPlantedBesideTheProgram)
{
    ASSERT_TRUE(downloads.put(orlimoExePath(), L"Orlimo.exe"));
    const std::wstring screenshots = screenshotsFolder();
    ::CreateDirectoryW(screenshots.c_str(), nullptr);
    removeFiles(screenshots, L"*.png");
    mouseMoveTo(640, 512);

    OrlimoProcess program = OrlimoProcess::startCopy(downloads.path() + L"\\Orlimo.exe");
    ASSERT_TRUE(program.started());
    ASSERT_NE(program.waitForMainWindow(), nullptr);
    ASSERT_NE(waitForMessageWindow(L"HotkeyWindowClass", program.id()), nullptr);

    ASSERT_TRUE(pressKey(VK_SNAPSHOT));
    ASSERT_NE(waitForWindow(L"SelectionOverlayClass", program.id()), nullptr);
    pumpMessagesFor(Milliseconds{200});
    ASSERT_TRUE(mouseDrag({300, 200}, {420, 290}));
    // The preview appears once the PNG is complete.
    EXPECT_NE(waitForWindow(L"KestrovaPreview", program.id()), nullptr);
    EXPECT_EQ(listFiles(screenshots, L"*.png").size(), 1u);

    program.kill();
    removeFiles(screenshots, L"*.png");
    EXPECT_EQ(downloads.markers(), std::vector<std::wstring>{});
}
