// The standalone program as a user starts it: with a file, with none, with a bad one; its
// window, its title, the drawing on the screen, and how it ends.
#include "schematic/win/support/win_support.h"

#include <gtest/gtest.h>

using wintest::TempDir;

namespace {

// One run of the program; it is ended when the test ends.
class Program {
public:
    explicit Program(const std::wstring& arguments) {
        std::wstring command = L"\"" + wintest::widen(KG_STANDALONE_EXE) + L"\"" + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_) != 0;
    }
    ~Program() {
        if (started_) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }

    // The program's top-level window once it is shown and its title no longer changes.
    HWND window(const std::wstring& title) {
        for (int i = 0; i < 300; ++i) {
            EnumWindows(find, reinterpret_cast<LPARAM>(this));
            if (host_ && IsWindowVisible(host_) && wintest::windowText(host_) == title) return host_;
            Sleep(50);
        }
        return host_;
    }

    DWORD waitForExit() {
        if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    static BOOL CALLBACK find(HWND window, LPARAM self) {
        auto* program = reinterpret_cast<Program*>(self);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == program->process_.dwProcessId &&
            wintest::className(window) == L"Kestrelgraph.Standalone.Host") {
            program->host_ = window;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION process_{};
    bool started_ = false;
    HWND host_ = nullptr;
};

HWND viewOf(HWND host) { return FindWindowExW(host, nullptr, L"Kestrelgraph.View.1", nullptr); }

std::wstring statusOf(HWND host) { return wintest::windowText(GetDlgItem(viewOf(host), 1109)); }

// What the screen shows inside the window's client area, kept as PNG. Test programs run side by
// side on one display: the window is raised above all others while a lock held across the
// processes keeps the other captures out.
wintest::Pixels capture(HWND host) {
    RECT client{};
    GetClientRect(host, &client);
    POINT origin{0, 0};
    ClientToScreen(host, &origin);
    // Only what lies on the screen can be read back (the window may be wider than the display).
    const int width = std::min<int>(client.right, GetSystemMetrics(SM_CXSCREEN) - origin.x);
    const int height = std::min<int>(client.bottom, GetSystemMetrics(SM_CYSCREEN) - origin.y);
    HDC screen = GetDC(nullptr);
    wintest::Pixels pixels = wintest::readPixels(screen, origin.x, origin.y, width, height);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The program paints on its own time: the screen is read until it shows more than `colours`
// colours (or a few seconds have passed).
wintest::Pixels screenshot(HWND host, const char* name, std::size_t colours) {
    HANDLE lock = CreateMutexW(nullptr, FALSE, L"Kestrelgraph.Tests.Screenshot");
    WaitForSingleObject(lock, 30000);
    SetWindowPos(host, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    wintest::Pixels pixels;
    for (int i = 0; i < 40; ++i) {
        Sleep(200);
        pixels = capture(host);
        if (pixels.distinctColours() > colours) break;
    }
    SetWindowPos(host, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ReleaseMutex(lock);
    CloseHandle(lock);
    wintest::writePng(std::filesystem::path(wintest::widen(KG_SHOT_DIR)) / wintest::widen(name), pixels);
    return pixels;
}

void pressEscape(HWND host) {
    HWND canvas = GetDlgItem(viewOf(host), 1108);
    PostMessageW(canvas, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(canvas, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

std::wstring samplePath(const wchar_t* name) {
    return (std::filesystem::path(wintest::widen(KG_SAMPLES)) / name).wstring();
}

}  // namespace

TEST(Standalone, OpensTheFileOnItsCommandLineAndEndsOnEscape) {
    Program program(L" \"" + samplePath(L"demo.sch") + L"\" \"ignored second argument.sch\"");
    ASSERT_TRUE(program.started());
    HWND host = program.window(L"Kestrelgraph - demo.sch");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(wintest::windowText(host), L"Kestrelgraph - demo.sch");
    HWND view = viewOf(host);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetWindow(host, GW_CHILD), view) << "the viewer is the only child";
    EXPECT_EQ(statusOf(host).rfind(L"demo.sch    |    P-CAD SCH | sheet 1/2", 0), 0u);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(view, 1107)));

    // The viewer fills the client area, also after a resize.
    RECT client{}, viewer{};
    GetClientRect(host, &client);
    GetClientRect(view, &viewer);
    EXPECT_EQ(viewer.right, client.right);
    EXPECT_EQ(viewer.bottom, client.bottom);
    const auto pixels = screenshot(host, "standalone-demo.png", 8);
    EXPECT_GT(pixels.distinctColours(), 8u);

    SetWindowPos(host, nullptr, 0, 0, 700, 500, SWP_NOZORDER | SWP_NOMOVE);
    GetClientRect(host, &client);
    GetClientRect(view, &viewer);
    EXPECT_EQ(viewer.right, client.right);
    EXPECT_EQ(viewer.bottom, client.bottom);

    pressEscape(host);
    EXPECT_EQ(program.waitForExit(), 0u);
}

TEST(Standalone, WithoutArgumentsShowsNoDocument) {
    Program program(L"");
    ASSERT_TRUE(program.started());
    HWND host = program.window(L"Schematic Viewer - P-CAD / Altium / Mentor");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(wintest::windowText(host), L"Schematic Viewer - P-CAD / Altium / Mentor");
    EXPECT_EQ(statusOf(host), L"No document loaded");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(viewOf(host), 1107)));
    screenshot(host, "standalone-empty.png", 2);
    pressEscape(host);
    EXPECT_EQ(program.waitForExit(), 0u);
}

TEST(Standalone, AnUnreadableFileIsExplainedInTheWindow) {
    TempDir files;
    const std::wstring bad = files.write(L"bad.sch", std::string("this is no schematic"));
    Program program(L" \"" + bad + L"\"");
    ASSERT_TRUE(program.started());
    HWND host = program.window(L"Kestrelgraph - bad.sch");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(wintest::windowText(host), L"Kestrelgraph - bad.sch");
    EXPECT_EQ(statusOf(host), L"Unable to read schematic: Unsupported P-CAD format");
    const auto pixels = screenshot(host, "standalone-unreadable.png", 2);
    EXPECT_GT(pixels.distinctColours(), 2u) << "the message is drawn in the canvas";
    PostMessageW(host, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitForExit(), 0u);
}
