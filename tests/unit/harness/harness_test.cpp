// The test harness itself: programs run on a usable display, in an emptied
// scratch folder, with the folders they may need named in the environment,
// and in a Wine prefix where hiding a window is quick.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

std::wstring EnvironmentFolder(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    return DefWindowProcW(window, message, wParam, lParam);
}

class TopLevelWindow {
public:
    explicit TopLevelWindow(const wchar_t* title) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = PlainWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OmbrelHarnessProbe";
        RegisterClassW(&windowClass);
        handle = CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                 nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~TopLevelWindow() {
        if (handle) DestroyWindow(handle);
    }
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;

    HWND handle = nullptr;
};

}  // namespace

TEST(Harness, RunsOnADesktopWithAScreen) {
    EXPECT_GE(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_GE(GetSystemMetrics(SM_CYSCREEN), 600);

    TopLevelWindow window(L"Ombrel harness probe");
    ASSERT_NE(window.handle, nullptr);
    ShowWindow(window.handle, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(window.handle));
    EXPECT_EQ(FindWindowW(L"OmbrelHarnessProbe", L"Ombrel harness probe"), window.handle);
    RECT area{};
    ASSERT_TRUE(GetWindowRect(window.handle, &area));
    EXPECT_EQ(area.right - area.left, 200);
}

// Without a window manager Wine takes about two seconds to hide a window
// unless the prefix says its windows are not managed.
TEST(Harness, HidingAWindowIsQuick) {
    TopLevelWindow window(L"Ombrel harness hide probe");
    ASSERT_NE(window.handle, nullptr);
    ShowWindow(window.handle, SW_SHOW);
    const auto start = std::chrono::steady_clock::now();
    ShowWindow(window.handle, SW_HIDE);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(IsWindowVisible(window.handle));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 500);
}

TEST(Harness, StartsInAnEmptyScratchFolderAndNamesTheTrees) {
    wchar_t current[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    EXPECT_NE(std::wstring(current).find(L"\\tests\\work\\unit_harness"), std::wstring::npos) << current;

    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(L"*", &entry);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..") ++entries;
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    EXPECT_EQ(entries, 0);
    // Leave something behind: the next run must find the folder empty again.
    HANDLE leftover = CreateFileW(L"leftover.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(leftover, INVALID_HANDLE_VALUE);
    CloseHandle(leftover);

    EXPECT_TRUE(FileExists(EnvironmentFolder(L"OMBREL_SOURCE_DIR") + L"\\CMakeLists.txt"));
    EXPECT_TRUE(FileExists(EnvironmentFolder(L"OMBREL_BUILD_DIR") + L"\\CMakeCache.txt"));
    EXPECT_FALSE(EnvironmentFolder(L"OMBREL_SUPPORT_DIR").empty());
}
