// The view window as a user meets it: controls and layout, loading and its messages, the page
// selector, keys, mouse, the theme setting, the back buffer, dropped files and the layer menu.
#include "schematic/draw_target.h"
#include "schematic/win/support/win_support.h"
#include "schematic/win/view_state.h"
#include "support/sbk_builder.h"
#include "support/schdoc_builder.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cmath>
#include <regex>

using namespace schematic;
using namespace schematic::win;
using wintest::ParentWindow;
using wintest::TempDir;

namespace {

// Every polyline point a paint draws: enough to compare two views of one file.
class PointRecorder : public DrawTarget {
public:
    std::vector<Point> points;
    void polyline(const Point* p, std::size_t n, double, Colour, bool, Colour) override {
        points.insert(points.end(), p, p + n);
    }
    void ellipse(const Box&, double, Colour, Colour) override {}
    void text(const Point&, const std::string&, const TextStyle&, Colour) override {}
};

std::vector<Point> drawnPoints(const ViewerCore& document) {
    PointRecorder recorder;
    document.paint(recorder);
    return recorder.points;
}

// A second core on the view's file, set up as a load sets up the view's own.
std::unique_ptr<ViewerCore> twinOf(ViewState* state) {
    auto twin = std::make_unique<ViewerCore>(wideToUtf8(state->path));
    RECT client{};
    GetClientRect(state->canvas, &client);
    twin->setViewportSize(client.right, client.bottom);
    twin->setDark(state->dark);
    twin->fitToView();
    return twin;
}

// The view draws what its twin draws: the window passed the same operations on.
void expectSameDrawing(ViewState* state, const ViewerCore& twin) {
    const std::vector<Point> mine = drawnPoints(*state->core);
    const std::vector<Point> theirs = drawnPoints(twin);
    ASSERT_EQ(mine.size(), theirs.size());
    ASSERT_FALSE(mine.empty());
    for (std::size_t i = 0; i < mine.size(); ++i) {
        ASSERT_NEAR(mine[i].x, theirs[i].x, 1e-6) << i;
        ASSERT_NEAR(mine[i].y, theirs[i].y, 1e-6) << i;
    }
    EXPECT_DOUBLE_EQ(state->core->scale(), twin.scale());
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A settings folder of our own: Wine ignores the Unix variable.
        SetEnvironmentVariableW(L"APPDATA", appData.path().c_str());
        SetKeyboardState(std::vector<BYTE>(256, 0).data());
    }
    void TearDown() override {
        if (view && IsWindow(view)) DestroyWindow(view);
        wintest::pump();
    }

    ViewState* open(HWND parentWindow, const std::wstring& path, bool embedded = false) {
        view = createViewWindow(parentWindow, path, embedded);
        wintest::pump();
        return viewState(view);
    }
    ViewState* open(const std::wstring& path, bool embedded = false) {
        return open(parent.hwnd(), path, embedded);
    }

    std::wstring status(ViewState* state) { return wintest::windowText(state->status); }

    std::wstring threeSheets() {
        return files.write(L"three.sch", wintest::pcadAscii({"First", "Second", "Third"}));
    }

    void resizeView(int width, int height) {
        SetWindowPos(view, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
        wintest::pump();
    }

    TempDir appData;
    TempDir files;
    ParentWindow parent{900, 600};
    HWND view = nullptr;
};

std::wstring settingsFile(const TempDir& appData) {
    return (appData.path() / L"Kestrelgraph" / L"settings.ini").wstring();
}

std::wstring storedDark(const TempDir& appData) {
    wchar_t value[16] = {};
    GetPrivateProfileStringW(L"Viewer", L"Dark", L"", value, 16, settingsFile(appData).c_str());
    return value;
}

void expectRect(HWND window, int x, int y, int w, int h, const char* what) {
    const RECT r = wintest::childRect(window);
    EXPECT_EQ(r.left, x) << what;
    EXPECT_EQ(r.top, y) << what;
    EXPECT_EQ(r.right - r.left, w) << what;
    EXPECT_EQ(r.bottom - r.top, h) << what;
}

}  // namespace

TEST_F(ViewTest, ChildControlsHaveTheirIdsCaptionsStylesAndLayout) {
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(wintest::className(view), L"Kestrelgraph.View.1");
    EXPECT_EQ(GetParent(view), parent.hwnd());
    EXPECT_TRUE(GetWindowLongPtrW(view, GWL_EXSTYLE) & WS_EX_CONTROLPARENT);
    EXPECT_TRUE(GetWindowLongPtrW(view, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    const LONG_PTR viewStyle = GetWindowLongPtrW(view, GWL_STYLE);
    for (LONG_PTR bit : {WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS, WS_CLIPCHILDREN})
        EXPECT_EQ(viewStyle & bit, bit);

    struct Expected {
        int id;
        const wchar_t* cls;
        const wchar_t* caption;
        LONG_PTR styles;
    };
    const Expected controls[] = {
        {1101, L"Button", L"Fit", WS_CHILD | WS_VISIBLE},
        {1102, L"Button", L"+", WS_CHILD | WS_VISIBLE},
        {1103, L"Button", L"-", WS_CHILD | WS_VISIBLE},
        {1104, L"Button", L"Light", WS_CHILD | WS_VISIBLE},
        {1105, L"Button", L"Layers", WS_CHILD | WS_VISIBLE},
        {1106, L"Button", L"SVG...", WS_CHILD | WS_VISIBLE},
        {1107, L"ComboBox", L"", WS_CHILD | CBS_DROPDOWNLIST},
        {1109, L"Static", L"No document loaded", WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE},
        {1108, L"Kestrelgraph.Canvas.1", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS},
    };
    for (const Expected& c : controls) {
        HWND child = GetDlgItem(view, c.id);
        ASSERT_NE(child, nullptr) << c.id;
        EXPECT_EQ(_wcsicmp(wintest::className(child).c_str(), c.cls), 0) << c.id;
        EXPECT_EQ(wintest::windowText(child), c.caption) << c.id;
        EXPECT_EQ(GetWindowLongPtrW(child, GWL_STYLE) & c.styles, c.styles) << c.id;
        if (c.id != 1108) {
            EXPECT_EQ(SendMessageW(child, WM_GETFONT, 0, 0),
                      reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
        }
    }
    // Children in creation order: the buttons, the selector, the status line, the canvas last.
    std::vector<int> order;
    for (HWND c = GetWindow(view, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(c));
    EXPECT_EQ(order, (std::vector<int>{1101, 1102, 1103, 1105, 1104, 1106, 1107, 1109, 1108}));
    EXPECT_FALSE(IsWindowVisible(state->pages)) << "no document, no page selector";
    EXPECT_EQ(GetClassLongPtrW(state->canvas, GCL_STYLE) & CS_DBLCLKS, CS_DBLCLKS);

    for (auto [w, h] : {std::pair{900, 600}, std::pair{400, 250}}) {
        resizeView(w, h);
        expectRect(state->fitButton, 6, 4, 55, 30, "Fit");
        expectRect(state->zoomInButton, 66, 4, 31, 30, "+");
        expectRect(state->zoomOutButton, 102, 4, 31, 30, "-");
        expectRect(state->layersButton, 138, 4, 71, 30, "Layers");
        expectRect(state->themeButton, 214, 4, 62, 30, "theme");
        expectRect(state->svgButton, 281, 4, 64, 30, "SVG");
        expectRect(state->canvas, 0, 38, w, h - 61, "canvas");
        expectRect(state->status, 0, h - 23, w, 23, "status");
    }
}

TEST_F(ViewTest, TinyParentsAndRepeatedCreation) {
    EXPECT_EQ(createViewWindow(nullptr, L"", false), nullptr);
    ParentWindow empty(0, 0);
    ViewState* state = open(empty.hwnd(), L"");
    ASSERT_NE(state, nullptr);
    RECT client{};
    GetClientRect(view, &client);
    EXPECT_EQ(client.right, 1);
    EXPECT_EQ(client.bottom, 1);
    GetClientRect(state->canvas, &client);
    EXPECT_EQ(client.bottom, 1);
    // A second view in the same process registers nothing new and works as well.
    HWND second = createViewWindow(parent.hwnd(), L"", true);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(viewState(second), nullptr);
    DestroyWindow(second);
}

TEST_F(ViewTest, PageSelectorListsPagesAndFollowsTheWidth) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    EXPECT_TRUE(IsWindowVisible(state->pages));
    ASSERT_EQ(SendMessageW(state->pages, CB_GETCOUNT, 0, 0), 3);
    wchar_t name[32] = {};
    SendMessageW(state->pages, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, L"Second");
    EXPECT_EQ(SendMessageW(state->pages, CB_GETCURSEL, 0, 0), 0);

    resizeView(400, 300);
    EXPECT_EQ(wintest::childRect(state->pages).left, 350);
    EXPECT_EQ(wintest::childRect(state->pages).right - wintest::childRect(state->pages).left, 80);
    resizeView(1000, 300);
    EXPECT_EQ(wintest::childRect(state->pages).right - wintest::childRect(state->pages).left, 310);

    // Choosing a page in the selector switches to it.
    SendMessageW(state->pages, CB_SETCURSEL, 2, 0);
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdPages, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(state->pages));
    EXPECT_EQ(state->core->currentPage(), 2u);
    EXPECT_NE(status(state).find(L"sheet 3/3"), std::wstring::npos);

    // A one-page document hides the selector again.
    ASSERT_TRUE(loadDocument(state, files.write(L"one.sch", wintest::pcadAscii({"Only"})), false));
    EXPECT_FALSE(IsWindowVisible(state->pages));
    EXPECT_EQ(SendMessageW(state->pages, CB_GETCOUNT, 0, 0), 0);
}

TEST_F(ViewTest, StatusLineForEachFormat) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    const std::wregex pcad(
        LR"(three\.sch    \|    P-CAD SCH \| sheet 1/3 \| 5 lines, 1 circles, 1 texts    \|    \d+\.\d\d px/unit)");
    EXPECT_TRUE(std::regex_match(status(state), pcad)) << wintest::narrow(status(state));

    kgtest::SchDocBuilder schdoc;
    schdoc.add("|RECORD=13|LOCATION.X=100|LOCATION.Y=100|CORNER.X=500|CORNER.Y=400|COLOR=255");
    const std::wstring schdocPath = files.write(L"sheet.SchDoc", schdoc.image().bytes);
    ASSERT_TRUE(loadDocument(state, schdocPath, false));
    const std::wregex altium(
        LR"(sheet\.SchDoc    \|    Altium SchDoc \| \d+ components, \d+ wires, \d+ primitives    \|    \d+\.\d\d px/unit)");
    EXPECT_TRUE(std::regex_match(status(state), altium)) << wintest::narrow(status(state));

    kgtest::CircuitBuilder circuit;
    circuit.setFrame(0, 0, 11000, 8500);
    kgtest::SbkFileBuilder sbk;
    sbk.addPage(circuit.bytes());
    ASSERT_TRUE(loadDocument(state, files.write(L"board.SBK", sbk.bytes()), false));
    const std::wregex mentor(
        LR"(board\.SBK    \|    Mentor SBK \| page 1/1 \| \d+ components, \d+ wires, \d+ primitives, \d+ labels    \|    \d+\.\d\d px/unit)");
    EXPECT_TRUE(std::regex_match(status(state), mentor)) << wintest::narrow(status(state));

    // The scale in the status line is the document's, with two decimals.
    wchar_t expected[32];
    swprintf(expected, 32, L"%.2f px/unit", state->core->scale());
    EXPECT_NE(status(state).find(expected), std::wstring::npos);
}

TEST_F(ViewTest, LoadFailuresExplainThemselvesAndKeepThePath) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    const std::wstring txt = files.write(L"notes.txt", std::string("hello"));
    EXPECT_FALSE(loadDocument(state, txt, false));
    EXPECT_EQ(state->core, nullptr) << "the previous document is released";
    EXPECT_EQ(state->path, txt);
    EXPECT_EQ(status(state),
              L"Unable to read schematic: Unsupported extension. Expected .SCH, .SchDoc, .SchDot or .SBK");
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Kestrelgraph - notes.txt");
    EXPECT_FALSE(IsWindowVisible(state->pages));

    EXPECT_FALSE(
        loadDocument(state, files.write(L"junk.sch", std::string("this is not a schematic file")), false));
    EXPECT_EQ(status(state), L"Unable to read schematic: Unsupported P-CAD format");
    EXPECT_FALSE(loadDocument(state, files.write(L"short.sch", std::string("ACCEL")), false));
    EXPECT_EQ(status(state), L"Unable to read schematic: Empty or truncated file");
    EXPECT_FALSE(loadDocument(state, files.write(L"bad.SchDoc", std::string(600, 'x')), false));
    EXPECT_EQ(status(state).rfind(L"Unable to read schematic: ", 0), 0u) << wintest::narrow(status(state));
    const std::wstring missing = (files.path() / L"gone.sch").wstring();
    EXPECT_FALSE(loadDocument(state, missing, false));
    EXPECT_EQ(status(state), L"Unable to read schematic: Cannot open file: " + missing);

    // The message is what the canvas paints; a good file clears it.
    EXPECT_EQ(state->message, status(state));
    ASSERT_TRUE(loadDocument(state, threeSheets(), false));
    EXPECT_TRUE(state->message.empty());
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Kestrelgraph - three.sch");
}

TEST_F(ViewTest, QuietAndEmptyLoadsChangeNothing) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    SetWindowTextW(parent.hwnd(), L"untouched");
    const ViewerCore* before = state->core.get();
    const std::wstring path = state->path;
    const std::wstring line = status(state);

    EXPECT_FALSE(loadDocument(state, files.write(L"junk.sch", std::string("garbage garbage garbage")), true));
    EXPECT_FALSE(loadDocument(state, L"", false));
    EXPECT_FALSE(loadDocument(nullptr, path, false));
    EXPECT_EQ(state->core.get(), before);
    EXPECT_EQ(state->path, path);
    EXPECT_TRUE(state->message.empty());
    EXPECT_EQ(status(state), line);
    EXPECT_EQ(SendMessageW(state->pages, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"untouched");

    // Quiet success replaces the document.
    EXPECT_TRUE(loadDocument(state, files.write(L"other.sch", wintest::pcadAscii({"A"})), true));
    EXPECT_EQ(state->path, (files.path() / L"other.sch").wstring());
}

TEST_F(ViewTest, EmbeddedViewsNeverTouchTheHostTitle) {
    SetWindowTextW(parent.hwnd(), L"Host");
    ViewState* state = open(threeSheets(), true);
    ASSERT_TRUE(state && state->core);
    loadDocument(state, files.write(L"x.txt", std::string("x")), false);
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Host");
}

TEST_F(ViewTest, PageKeysWrapAroundAndNeedTwoPages) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(state->core->currentPage(), 2u);
    EXPECT_EQ(SendMessageW(state->pages, CB_GETCURSEL, 0, 0), 2);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(state->core->currentPage(), 0u);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(state->core->currentPage(), 1u);
    EXPECT_NE(status(state).find(L"sheet 2/3"), std::wstring::npos);

    ASSERT_TRUE(loadDocument(state, files.write(L"one.sch", wintest::pcadAscii({"Only"})), false));
    SendMessageW(state->canvas, WM_KEYDOWN, VK_NEXT, 0);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_PRIOR, 0);
    EXPECT_EQ(state->core->currentPage(), 0u);
}

TEST_F(ViewTest, AFailedPageChangeShowsAMessageBoxAndKeepsThePage) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_NEXT, 0);
    wintest::ModalCloser closer;
    selectPage(state, 7);
    ASSERT_EQ(closer.seen.size(), 1u);
    EXPECT_EQ(closer.seen[0].caption, L"Unable to open page");
    EXPECT_EQ(closer.seen[0].text, L"Invalid sheet number");
    EXPECT_EQ(state->core->currentPage(), 1u);
    EXPECT_EQ(SendMessageW(state->pages, CB_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(IsWindow(view));
}

TEST_F(ViewTest, FitAndZoomKeysAndButtons) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    const double fitted = state->core->scale();
    for (WPARAM key : {WPARAM(VK_ADD), WPARAM(VK_OEM_PLUS)}) {
        const double before = state->core->scale();
        SendMessageW(state->canvas, WM_KEYDOWN, key, 0);
        EXPECT_NEAR(state->core->scale() / before, 1.25, 1e-9);
    }
    SendMessageW(state->canvas, WM_KEYDOWN, 'F', 0);
    EXPECT_DOUBLE_EQ(state->core->scale(), fitted);
    for (WPARAM key : {WPARAM(VK_SUBTRACT), WPARAM(VK_OEM_MINUS)}) {
        const double before = state->core->scale();
        SendMessageW(state->canvas, WM_KEYDOWN, key, 0);
        EXPECT_NEAR(state->core->scale() / before, 0.8, 1e-9);
    }
    SendMessageW(state->canvas, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_DOUBLE_EQ(state->core->scale(), fitted);

    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdZoomIn, BN_CLICKED), 0);
    EXPECT_NEAR(state->core->scale() / fitted, 1.25, 1e-9);
    EXPECT_NE(status(state).find(L" px/unit"), std::wstring::npos);
    wchar_t scale[32];
    swprintf(scale, 32, L"%.2f px/unit", state->core->scale());
    EXPECT_NE(status(state).find(scale), std::wstring::npos) << "the status line follows the zoom";
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdZoomOut, BN_CLICKED), 0);
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdZoomOut, BN_CLICKED), 0);
    EXPECT_NEAR(state->core->scale() / fitted, 0.8, 1e-9);
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdFit, BN_CLICKED), 0);
    EXPECT_DOUBLE_EQ(state->core->scale(), fitted);

    // Zooming about the centre of the canvas.
    auto twin = twinOf(state);
    RECT client{};
    GetClientRect(state->canvas, &client);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_ADD, 0);
    twin->zoomAt(client.right / 2, client.bottom / 2, 1.25);
    expectSameDrawing(state, *twin);
}

TEST_F(ViewTest, WithoutADocumentNavigationDoesNothing) {
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    for (WPARAM key : {WPARAM('F'), WPARAM(VK_HOME), WPARAM(VK_ADD), WPARAM(VK_SUBTRACT), WPARAM(VK_NEXT)})
        SendMessageW(state->canvas, WM_KEYDOWN, key, 0);
    POINT screen{50, 80};
    ClientToScreen(state->canvas, &screen);
    SendMessageW(state->canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(screen.x, screen.y));
    SendMessageW(state->canvas, WM_LBUTTONDBLCLK, 0, MAKELPARAM(50, 50));
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdFit, BN_CLICKED), 0);
    EXPECT_FALSE(zoomAt(state, 2, -1, -1));
    EXPECT_EQ(buildContextMenu(state), nullptr);
    EXPECT_EQ(status(state), L"No document loaded");
    EXPECT_TRUE(IsWindow(view));
}

TEST_F(ViewTest, MousePansAndZooms) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    auto twin = twinOf(state);
    const double scale = state->core->scale();

    SendMessageW(state->canvas, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    EXPECT_TRUE(state->dragging);
    EXPECT_EQ(GetCapture(), state->canvas);
    SendMessageW(state->canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 120));
    // A drag that leaves the window keeps panning: signed 16-bit coordinates.
    SendMessageW(state->canvas, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-30), 120));
    SendMessageW(state->canvas, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(-30), 120));
    EXPECT_FALSE(state->dragging);
    EXPECT_NE(GetCapture(), state->canvas);
    twin->pan(-130, 20);
    expectSameDrawing(state, *twin);
    EXPECT_DOUBLE_EQ(state->core->scale(), scale);

    // Moving without a button held pans nothing; losing the capture ends a drag.
    SendMessageW(state->canvas, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(state->canvas, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 10));
    EXPECT_TRUE(state->dragging);
    ReleaseCapture();
    EXPECT_FALSE(state->dragging);
    SendMessageW(state->canvas, WM_MOUSEMOVE, MK_MBUTTON, MAKELPARAM(50, 50));
    expectSameDrawing(state, *twin);

    // Two notches forward zoom by 1.18 squared about the mouse point; high-resolution wheels
    // turn by fractions of a notch.
    POINT screen{200, 150};
    ClientToScreen(state->canvas, &screen);
    SendMessageW(state->canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), MAKELPARAM(screen.x, screen.y));
    EXPECT_NEAR(state->core->scale() / scale, 1.18 * 1.18, 1e-9);
    twin->zoomAt(200, 150, std::pow(1.18, 2.0));
    expectSameDrawing(state, *twin);
    SendMessageW(state->canvas, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-180)),
                 MAKELPARAM(screen.x, screen.y));
    EXPECT_NEAR(state->core->scale() / scale, std::pow(1.18, 0.5), 1e-9);

    const double before = state->core->scale();
    SendMessageW(state->canvas, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, 40));
    EXPECT_NEAR(state->core->scale() / before, 1.5, 1e-9);
}

TEST_F(ViewTest, ThemeIsReadFromAndWrittenToTheSettingsFile) {
    // No file: dark.
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->dark);
    EXPECT_EQ(wintest::windowText(state->themeButton), L"Light");
    EXPECT_TRUE(std::filesystem::is_directory(appData.path() / L"Kestrelgraph"));

    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdTheme, BN_CLICKED), 0);
    EXPECT_FALSE(state->dark);
    EXPECT_EQ(wintest::windowText(state->themeButton), L"Dark");
    EXPECT_EQ(storedDark(appData), L"0");
    SendMessageW(state->canvas, WM_KEYDOWN, 'I', 0);
    EXPECT_TRUE(state->dark);
    EXPECT_EQ(storedDark(appData), L"1");
    DestroyWindow(view);

    for (auto [stored, dark] : {std::pair{L"0", false}, std::pair{L"7", true}, std::pair{L"", true}}) {
        WritePrivateProfileStringW(L"Viewer", L"Dark", *stored ? stored : nullptr,
                                   settingsFile(appData).c_str());
        state = open(L"");
        EXPECT_EQ(state->dark, dark) << wintest::narrow(stored);
        EXPECT_EQ(wintest::windowText(state->themeButton), dark ? L"Light" : L"Dark");
        DestroyWindow(view);
    }

    // The document follows the theme.
    WritePrivateProfileStringW(L"Viewer", L"Dark", L"0", settingsFile(appData).c_str());
    state = open(threeSheets());
    ASSERT_TRUE(state->core);
    EXPECT_FALSE(state->dark);
}

TEST_F(ViewTest, WithoutAppDataTheThemeIsDarkAndNotSaved) {
    SetEnvironmentVariableW(L"APPDATA", nullptr);
    EXPECT_EQ(settingsPath(), L"");
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->dark);
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdTheme, BN_CLICKED), 0);
    EXPECT_FALSE(state->dark);
    EXPECT_FALSE(std::filesystem::exists(appData.path() / L"Kestrelgraph"));

    SetEnvironmentVariableW(L"APPDATA", appData.path().c_str());
    EXPECT_EQ(settingsPath(), settingsFile(appData));
}

TEST_F(ViewTest, BackBufferIsClearedToTheThemeBackground) {
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    UpdateWindow(state->canvas);
    ASSERT_NE(state->backBuffer.dc, nullptr);
    RECT client{};
    GetClientRect(state->canvas, &client);
    EXPECT_EQ(state->backBuffer.width, client.right);
    EXPECT_EQ(state->backBuffer.height, client.bottom);
    EXPECT_FALSE(state->dirty);
    EXPECT_EQ(GetPixel(state->backBuffer.dc, 2, 2), RGB(0x0C, 0x10, 0x16));
    EXPECT_EQ(GetPixel(state->backBuffer.dc, client.right - 1, client.bottom - 1), RGB(0x0C, 0x10, 0x16));

    SendMessageW(state->canvas, WM_KEYDOWN, 'I', 0);
    EXPECT_TRUE(state->dirty);
    UpdateWindow(state->canvas);
    EXPECT_EQ(GetPixel(state->backBuffer.dc, 2, 2), RGB(0xFF, 0xFF, 0xFF));

    // The message is drawn 15 pixels in from the edges.
    state->message =
        L"Unable to read schematic: a long explanation that wraps over several lines of the canvas";
    invalidateCanvas(state);
    UpdateWindow(state->canvas);
    const auto pixels = wintest::readPixels(state->backBuffer.dc, 0, 0, client.right, client.bottom);
    EXPECT_EQ(wintest::readPixels(state->backBuffer.dc, 0, 0, client.right, 15).countNot(0xFFFFFF), 0u);
    EXPECT_EQ(wintest::readPixels(state->backBuffer.dc, 0, 0, 15, client.bottom).countNot(0xFFFFFF), 0u);
    EXPECT_GT(pixels.countNot(0xFFFFFF), 0u);

    // A resize makes a buffer of the new size; a canvas without height keeps none.
    resizeView(500, 300);
    UpdateWindow(state->canvas);
    EXPECT_EQ(state->backBuffer.width, 500);
    resizeView(500, 40);
    UpdateWindow(state->canvas);
    GetClientRect(state->canvas, &client);
    EXPECT_EQ(client.bottom, 1);
    EXPECT_EQ(state->backBuffer.height, 1);
}

TEST_F(ViewTest, APaintClearsAnOverfullCache) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    UpdateWindow(state->canvas);
    const std::size_t pens = state->cache.penCount();
    EXPECT_GT(pens, 0u);
    for (int i = 0; i < 300; ++i) state->cache.pen(RGB(i % 256, 1, i / 256), 2);
    invalidateCanvas(state);
    UpdateWindow(state->canvas);
    EXPECT_EQ(state->cache.penCount(), pens) << "cleared, then refilled by the paint";
}

TEST_F(ViewTest, SharedKeysStepThroughTheFolderSkippingBrokenFiles) {
    const std::wstring a = files.write(L"a.sch", wintest::pcadAscii({"A"}));
    files.write(L"b.sch", std::string("broken broken broken broken"));
    const std::wstring c = files.write(L"C.sch", wintest::pcadAscii({"C"}));
    files.write(L"d.txt", std::string("not a schematic"));
    ViewState* state = open(a);
    ASSERT_TRUE(state && state->core);

    SendMessageW(state->canvas, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(state->path, c);
    EXPECT_EQ(GetFocus(), state->canvas);
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Kestrelgraph - C.sch");
    // An auto-repeat (bit 30) is taken and ignored.
    EXPECT_EQ(SendMessageW(state->canvas, WM_KEYDOWN, VK_SPACE, 0x40390001), 0);
    EXPECT_EQ(state->path, c);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(state->path, a) << "wraps around";
    SendMessageW(state->canvas, WM_KEYDOWN, VK_BACK, 0x000E0001);
    EXPECT_EQ(state->path, c);

    // The same keys work where the focus is on a button or the selector, and the controls ask
    // the dialog manager for them.
    SendMessageW(state->fitButton, WM_KEYDOWN, VK_BACK, 0x000E0001);
    EXPECT_EQ(state->path, a);
    for (HWND control : {state->fitButton, state->pages, state->status, state->canvas, view}) {
        EXPECT_TRUE(SendMessageW(control, WM_GETDLGCODE, VK_SPACE, 0) & DLGC_WANTALLKEYS);
        EXPECT_TRUE(SendMessageW(control, WM_GETDLGCODE, VK_ESCAPE, 0) & DLGC_WANTALLKEYS);
        EXPECT_EQ(SendMessageW(control, WM_CHAR, L' ', 0), 0);
    }

    // With Ctrl held the shared keys are left alone.
    std::vector<BYTE> keys(256, 0);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys.data());
    EXPECT_FALSE(handleSharedKey(state, VK_SPACE, 0));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys.data());

    // A folder whose other files are all broken: nothing changes.
    std::filesystem::remove(c);
    ViewerCore* before = state->core.get();
    SendMessageW(state->canvas, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(state->core.get(), before);
    EXPECT_EQ(state->path, a);
}

TEST_F(ViewTest, EscapeGoesToTheHostOrClosesTheProgram) {
    ViewState* state = open(threeSheets(), true);
    ASSERT_TRUE(state);
    SendMessageW(state->canvas, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    wintest::pump();
    ASSERT_EQ(parent.keys.size(), 2u);
    EXPECT_EQ(parent.keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(parent.keys[0].key, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(parent.keys[0].lParam, 0x00010001);
    EXPECT_EQ(parent.keys[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(static_cast<ULONG_PTR>(parent.keys[1].lParam) & 0xFFFFFFFFu, 0xC0010001u);
    EXPECT_EQ(parent.closeRequests, 0);
    DestroyWindow(view);
    parent.keys.clear();

    state = open(threeSheets(), false);
    SendMessageW(state->svgButton, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    wintest::pump();
    EXPECT_EQ(parent.closeRequests, 1);
    EXPECT_TRUE(parent.keys.empty());
}

TEST_F(ViewTest, ADroppedFileIsOpened) {
    ViewState* state = open(L"");
    ASSERT_NE(state, nullptr);
    auto drop = [](const std::wstring& name) {
        const SIZE_T bytes = sizeof(DROPFILES) + (name.size() + 2) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
        files->pFiles = sizeof(DROPFILES);
        files->fWide = TRUE;
        std::copy(name.begin(), name.end(), reinterpret_cast<wchar_t*>(files + 1));
        GlobalUnlock(memory);
        return reinterpret_cast<WPARAM>(memory);
    };
    const std::wstring file = threeSheets();
    SendMessageW(view, WM_DROPFILES, drop(file), 0);
    ASSERT_NE(state->core, nullptr);
    EXPECT_EQ(state->path, file);
    EXPECT_EQ(wintest::windowText(parent.hwnd()), L"Kestrelgraph - three.sch");

    // A name of 32767 characters or more is ignored.
    SendMessageW(view, WM_DROPFILES, drop(L"C:\\" + std::wstring(32764, L'x') + L".sch"), 0);
    EXPECT_EQ(state->path, file);
    // A dropped file that cannot be read is shown as such.
    SendMessageW(view, WM_DROPFILES, drop(files.write(L"x.txt", std::string("x"))), 0);
    EXPECT_EQ(state->core, nullptr);
}

TEST_F(ViewTest, LayerMenuShowsAndChangesTheVisibleLayers) {
    ViewState* state = open(threeSheets());
    ASSERT_TRUE(state && state->core);
    state->core->setVisibleLayers(0x3F & ~8u);
    HMENU menu = buildContextMenu(state);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 4 + 6);
    const std::pair<UINT, const wchar_t*> fixed[] = {
        {2402, L"Fit to view\tF"}, {2401, L"Toggle light / dark\tI"}, {0, L""}, {2400, L"Show all layers"}};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(menu, i), fixed[i].first) << i;
        EXPECT_STREQ(text, fixed[i].second) << i;
    }
    EXPECT_TRUE(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR);
    const auto& layers = state->core->layers();
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const int position = static_cast<int>(4 + i);
        wchar_t text[64] = {};
        GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(menu, position), 2200 + i);
        EXPECT_EQ(wintest::narrow(text), layers[i].name);
        EXPECT_EQ((GetMenuState(menu, position, MF_BYPOSITION) & MF_CHECKED) != 0, layers[i].bit != 8);
    }
    DestroyMenu(menu);

    applyMenuCommand(state, 2203);
    EXPECT_EQ(state->core->visibleLayers(), 0x3Fu);
    applyMenuCommand(state, 2200);
    EXPECT_EQ(state->core->visibleLayers(), 0x3Eu);
    state->core->setVisibleLayers(0xFFFF0000u);
    applyMenuCommand(state, 2400);
    EXPECT_EQ(state->core->visibleLayers(), 0x3Fu) << "every layer, nothing else";
    applyMenuCommand(state, 2200 + 6);
    applyMenuCommand(state, 0);
    EXPECT_EQ(state->core->visibleLayers(), 0x3Fu);

    const bool dark = state->dark;
    applyMenuCommand(state, 2401);
    EXPECT_NE(state->dark, dark);
    EXPECT_EQ(storedDark(appData), state->dark ? L"1" : L"0");
    const double fitted = state->core->scale();
    state->core->zoomAt(10, 10, 3);
    applyMenuCommand(state, 2402);
    EXPECT_DOUBLE_EQ(state->core->scale(), fitted);

    // The real menu, from the key and the button, dismissed without a choice.
    wintest::ModalCloser closer;
    SendMessageW(state->canvas, WM_KEYDOWN, 'L', 0);
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdLayers, BN_CLICKED), 0);
    SendMessageW(state->canvas, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(closer.menusEnded, 3);
    EXPECT_EQ(state->core->visibleLayers(), 0x3Fu);
}
