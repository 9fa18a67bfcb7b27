// A host application for the plug-in: loads the built library, resolves the exports by name and
// by ordinal, and drives the viewer inside a window of its own as a Lister host would.
#include "schematic/win/support/win_support.h"

#include <gtest/gtest.h>

#include <cstring>

using wintest::ParentWindow;
using wintest::TempDir;

namespace {

using ListLoadFn = HWND(WINAPI*)(HWND, char*, int);
using ListLoadWFn = HWND(WINAPI*)(HWND, WCHAR*, int);
using ListLoadNextFn = int(WINAPI*)(HWND, HWND, char*, int);
using ListLoadNextWFn = int(WINAPI*)(HWND, HWND, WCHAR*, int);
using ListCloseWindowFn = void(WINAPI*)(HWND);
using ListGetDetectStringFn = void(WINAPI*)(char*, int);

constexpr char kDetect[] = "ext=\"SCH\" | ext=\"SCHDOC\" | ext=\"SCHDOT\" | ext=\"SBK\"";

template <typename Fn>
Fn resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class PluginHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module = LoadLibraryW(wintest::widen(KG_PLUGIN_PATH).c_str());
        ASSERT_NE(module, nullptr) << KG_PLUGIN_PATH;
        load = resolve<ListLoadFn>(module, "ListLoad");
        loadW = resolve<ListLoadWFn>(module, "ListLoadW");
        loadNext = resolve<ListLoadNextFn>(module, "ListLoadNext");
        loadNextW = resolve<ListLoadNextWFn>(module, "ListLoadNextW");
        close = resolve<ListCloseWindowFn>(module, "ListCloseWindow");
        detect = resolve<ListGetDetectStringFn>(module, "ListGetDetectString");
    }
    static void TearDownTestSuite() {
        if (module) FreeLibrary(module);
    }
    void SetUp() override {
        ASSERT_TRUE(load && loadW && loadNext && loadNextW && close && detect);
        SetEnvironmentVariableW(L"APPDATA", appData.path().c_str());
    }
    void TearDown() override {
        if (view && IsWindow(view)) close(view);
        wintest::pump();
    }

    static std::wstring status(HWND viewer) { return wintest::windowText(GetDlgItem(viewer, 1109)); }
    HWND loadFile(const std::wstring& path) {
        std::wstring copy = path;
        view = loadW(parent.hwnd(), copy.data(), 0);
        wintest::pump();
        return view;
    }

    static inline HMODULE module = nullptr;
    static inline ListLoadFn load = nullptr;
    static inline ListLoadWFn loadW = nullptr;
    static inline ListLoadNextFn loadNext = nullptr;
    static inline ListLoadNextWFn loadNextW = nullptr;
    static inline ListCloseWindowFn close = nullptr;
    static inline ListGetDetectStringFn detect = nullptr;

    TempDir appData;
    TempDir files;
    ParentWindow parent{800, 600, L"Host window"};
    HWND view = nullptr;
};

}  // namespace

TEST_F(PluginHost, ExportsResolveByNameAndByTheirOrdinals) {
    const char* names[] = {"ListCloseWindow", "ListGetDetectString", "ListLoad",
                           "ListLoadNext",    "ListLoadNextW",       "ListLoadW"};
    for (int ordinal = 1; ordinal <= 6; ++ordinal) {
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byOrdinal, nullptr) << ordinal;
        EXPECT_EQ(byOrdinal, GetProcAddress(module, names[ordinal - 1])) << names[ordinal - 1];
    }
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(7)), nullptr);
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "ListLoad@12"), nullptr);
}

TEST_F(PluginHost, DetectStringIsCutToTheBuffer) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    detect(buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    std::memset(buffer, 'x', sizeof buffer);
    detect(buffer, 10);
    EXPECT_EQ(std::string(buffer), std::string(kDetect, 9));
    EXPECT_EQ(buffer[10], 'x');
    std::memset(buffer, 'x', sizeof buffer);
    detect(buffer, 200);
    EXPECT_EQ(std::string(buffer), kDetect);
    EXPECT_EQ(std::strlen(kDetect), 51u);
    std::memset(buffer, 'x', sizeof buffer);
    detect(buffer, 52);
    EXPECT_EQ(std::string(buffer), kDetect);
    detect(buffer, 0);
    detect(buffer, -5);
    detect(nullptr, 100);
    EXPECT_EQ(buffer[0], 'e');
}

TEST_F(PluginHost, ListLoadShowsTheViewerInTheHostWindow) {
    const std::wstring file = files.write(L"board.sch", wintest::pcadAscii({"Top", "Bottom"}));
    ASSERT_NE(loadFile(file), nullptr);
    EXPECT_EQ(wintest::className(view), L"Kestrelgraph.View.1");
    EXPECT_EQ(GetParent(view), parent.hwnd());
    RECT host{}, viewer{};
    GetClientRect(parent.hwnd(), &host);
    GetClientRect(view, &viewer);
    EXPECT_EQ(viewer.right, host.right);
    EXPECT_EQ(viewer.bottom, host.bottom);
    EXPECT_EQ(status(view).rfind(L"board.sch    |    P-CAD SCH | sheet 1/2", 0), 0u);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(view, 1107)));
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Host window") << "the plug-in never sets the title";

    // The ANSI export takes its path in the system code page.
    close(view);
    EXPECT_FALSE(IsWindow(view));
    std::string ansi = wintest::narrow(files.write(L"caf\x00E9.sch", wintest::pcadAscii({"A"})));
    ansi = std::string(ansi.begin(), ansi.end() - 9) + "caf\xE9.sch";
    view = load(parent.hwnd(), ansi.data(), 0);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(status(view).rfind(L"caf\x00E9.sch    |    P-CAD SCH", 0), 0u) << wintest::narrow(status(view));
}

TEST_F(PluginHost, ListLoadOfAnUnreadableFileStillReturnsTheViewer) {
    ASSERT_NE(loadFile(files.write(L"broken.sch", std::string("not a schematic at all"))), nullptr);
    EXPECT_EQ(status(view), L"Unable to read schematic: Unsupported P-CAD format");
    close(view);
    ASSERT_NE(loadFile(files.write(L"photo.png", std::string("png"))), nullptr);
    EXPECT_EQ(status(view).rfind(L"Unable to read schematic: Unsupported extension", 0), 0u);

    // Null arguments give no window.
    wchar_t path[] = L"x.sch";
    char ansiPath[] = "x.sch";
    EXPECT_EQ(loadW(nullptr, path, 0), nullptr);
    EXPECT_EQ(loadW(parent.hwnd(), nullptr, 0), nullptr);
    EXPECT_EQ(load(nullptr, ansiPath, 0), nullptr);
    EXPECT_EQ(load(parent.hwnd(), nullptr, 0), nullptr);
}

TEST_F(PluginHost, ListLoadNextLoadsQuietlyAndTrustsOnlyItsOwnViewers) {
    ASSERT_NE(loadFile(files.write(L"first.sch", wintest::pcadAscii({"A"}))), nullptr);
    std::wstring second = files.write(L"second.sch", wintest::pcadAscii({"B", "C", "D"}));
    EXPECT_EQ(loadNextW(parent.hwnd(), view, second.data(), 0), 0);
    EXPECT_EQ(status(view).rfind(L"second.sch    |    P-CAD SCH | sheet 1/3", 0), 0u);

    const std::wstring before = status(view);
    std::wstring broken = files.write(L"broken.sch", std::string("garbage garbage garbage"));
    EXPECT_EQ(loadNextW(parent.hwnd(), view, broken.data(), 0), 1);
    EXPECT_EQ(status(view), before) << "a failed load leaves the viewer as it was";
    std::string ansi = wintest::narrow(files.write(L"third.sch", wintest::pcadAscii({"E"})));
    EXPECT_EQ(loadNext(parent.hwnd(), view, ansi.data(), 0), 0);
    EXPECT_EQ(status(view).rfind(L"third.sch", 0), 0u);
    EXPECT_EQ(loadNext(parent.hwnd(), view, nullptr, 0), 1);
    EXPECT_EQ(loadNextW(parent.hwnd(), view, nullptr, 0), 1);

    // A foreign window (the host's own) or a stale handle is never treated as a viewer.
    EXPECT_EQ(loadNextW(parent.hwnd(), parent.hwnd(), second.data(), 0), 1);
    EXPECT_EQ(loadNextW(parent.hwnd(), nullptr, second.data(), 0), 1);
    HWND stale = view;
    close(view);
    EXPECT_FALSE(IsWindow(stale));
    EXPECT_EQ(loadNextW(parent.hwnd(), stale, second.data(), 0), 1);
    EXPECT_EQ(loadNext(parent.hwnd(), stale, ansi.data(), 0), 1);
}

TEST_F(PluginHost, EscapeIsHandedToTheHost) {
    ASSERT_NE(loadFile(files.write(L"esc.sch", wintest::pcadAscii({"A"}))), nullptr);
    SendMessageW(GetDlgItem(view, 1108), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    wintest::pump();
    ASSERT_EQ(parent.keys.size(), 2u);
    EXPECT_EQ(parent.keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(parent.keys[0].key, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(parent.keys[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(static_cast<ULONG_PTR>(parent.keys[1].lParam) & 0xFFFFFFFFu, 0xC0010001u);
    EXPECT_EQ(parent.closeRequests, 0);
    EXPECT_TRUE(IsWindow(view));
}

TEST_F(PluginHost, ListCloseWindowDestroysOnlyViewers) {
    ASSERT_NE(loadFile(files.write(L"close.sch", wintest::pcadAscii({"A"}))), nullptr);
    close(parent.hwnd());
    close(nullptr);
    EXPECT_TRUE(IsWindow(parent.hwnd())) << "a foreign window survives";
    EXPECT_TRUE(IsWindow(view));
    HWND viewer = view;
    close(viewer);
    EXPECT_FALSE(IsWindow(viewer));
    close(viewer);  // stale: nothing happens
    EXPECT_TRUE(IsWindow(parent.hwnd()));
}
