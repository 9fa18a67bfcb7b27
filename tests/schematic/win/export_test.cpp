// The SVG save path and the pictures the view paints of real files, saved as screenshots.
#include "schematic/win/support/win_support.h"
#include "schematic/win/view_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace schematic::win;
using wintest::ParentWindow;
using wintest::TempDir;

namespace {

std::filesystem::path svgOutFolder(const TempDir& fallback) {
    const char* out = std::getenv("KG_SVG_OUT");
    if (!out || !*out) return fallback.path();
    std::filesystem::path folder(wintest::widen(out));
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { SetEnvironmentVariableW(L"APPDATA", appData.path().c_str()); }
    void TearDown() override {
        if (view && IsWindow(view)) DestroyWindow(view);
        wintest::pump();
    }
    ViewState* open(const std::wstring& path) {
        view = createViewWindow(parent.hwnd(), path, false);
        wintest::pump();
        return viewState(view);
    }

    TempDir appData;
    TempDir files;
    ParentWindow parent{1100, 800};
    HWND view = nullptr;
};

}  // namespace

TEST(SvgName, TheExtensionIsReplacedButFolderDotsStay) {
    EXPECT_EQ(defaultSvgName(L"C:\\maps.old\\drawing"), L"C:\\maps.old\\drawing.svg");
    EXPECT_EQ(defaultSvgName(L"C:\\work\\board.SchDoc"), L"C:\\work\\board.svg");
    EXPECT_EQ(defaultSvgName(L"/tmp/a.b/c.d.sch"), L"/tmp/a.b/c.d.svg");
    EXPECT_EQ(defaultSvgName(L"plain.sbk"), L"plain.svg");
    EXPECT_EQ(defaultSvgName(L"noext"), L"noext.svg");
}

TEST_F(ExportTest, TheCurrentPageIsWrittenAndFailuresAreReported) {
    ViewState* state = open(files.write(L"export.sch", wintest::pcadAscii({"One", "Two"})));
    ASSERT_TRUE(state && state->core);
    const std::filesystem::path out = svgOutFolder(files) / L"win-export-pcad.svg";
    EXPECT_EQ(exportSvgTo(state, out.wstring()), std::nullopt);
    const std::string svg = readAll(out);
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("One"), std::string::npos);

    const auto error = exportSvgTo(state, (files.path() / L"missing" / L"x.svg").wstring());
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->empty());

    // Nothing to export without a document.
    loadDocument(state, files.write(L"bad.txt", std::string("x")), false);
    EXPECT_EQ(exportSvgTo(state, out.wstring()), std::nullopt);
}

TEST_F(ExportTest, TheSaveDialogCanBeCancelled) {
    ViewState* state = open(files.write(L"dialog.sch", wintest::pcadAscii({"One"})));
    ASSERT_TRUE(state && state->core);
    wintest::ModalCloser closer;
    SendMessageW(view, WM_COMMAND, MAKEWPARAM(IdSvg, BN_CLICKED), 0);
    EXPECT_GE(closer.seen.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(files.path() / L"dialog.svg"));
    EXPECT_TRUE(IsWindow(view));
}

// Paints real files in both themes and keeps the back buffer as PNG under the build folder.
TEST_F(ExportTest, RealFilesPaintInBothThemes) {
    const std::pair<std::filesystem::path, const char*> samples[] = {
        {wintest::testdata("schdoc/ThunderScope_Main.SchDoc"), "schdoc"},
        {wintest::testdata("pcad-ascii/pcad_feature_test.sch"), "pcad-ascii"},
        {std::filesystem::path(wintest::widen(KG_SAMPLES)) / L"demo.sch", "demo"},
    };
    int painted = 0;
    for (const auto& [file, tag] : samples) {
        if (!std::filesystem::exists(file)) continue;
        ViewState* state = open(file.wstring());
        ASSERT_TRUE(state && state->core) << wintest::narrow(wintest::windowText(state->status));
        for (bool dark : {true, false}) {
            if (state->dark != dark) SendMessageW(state->canvas, WM_KEYDOWN, 'I', 0);
            UpdateWindow(state->canvas);
            ASSERT_FALSE(state->dirty);
            const auto pixels = wintest::readPixels(state->backBuffer.dc, 0, 0, state->backBuffer.width,
                                                    state->backBuffer.height);
            const std::uint32_t background = dark ? 0x0C1016u : 0xFFFFFFu;
            EXPECT_EQ(pixels.at(0, 0), background);
            EXPECT_GT(pixels.countNot(background), 400u) << tag << (dark ? " dark" : " light");
            EXPECT_GT(pixels.distinctColours(), 8u) << tag;
            const std::string name = std::string("view-") + tag + (dark ? "-dark" : "-light") + ".png";
            EXPECT_TRUE(wintest::writePng(
                std::filesystem::path(wintest::widen(KG_SHOT_DIR)) / wintest::widen(name), pixels));
        }
        DestroyWindow(view);
        ++painted;
    }
    if (painted < 3) GTEST_SKIP() << "sample files missing; painted " << painted;
}
