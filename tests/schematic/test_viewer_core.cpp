// Tests of the viewer core: opening by extension, pages, layers, fit, zoom, pan, status and export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "schematic/path_rules.h"
#include "schematic/viewer_core.h"
#include "support/compound_file_writer.h"
#include "support/pcad_binary_builder.h"
#include "support/sbk_builder.h"
#include "support/schdoc_builder.h"
#include "tests/schematic/recording_target.h"

namespace {

using kgtest::DrawCall;
using kgtest::RecordingTarget;
using kgtest::TempFile;
using schematic::ViewerCore;

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// A one-sheet ASCII P-CAD file in millimetres with the given sheet body.
std::string asciiSheets(const std::string& sheets, const std::string& size = "100 80") {
    return "ACCEL_ASCII \"t.sch\"\n(asciiHeader (fileUnits mm))\n(schematicDesign \"D\"\n"
           "(schDesignHeader (workspaceSize " +
           size + "))\n" + sheets + ")\n";
}

std::unique_ptr<TempFile> asciiFile(const std::string& body, const std::string& suffix = ".sch",
                                    const std::string& size = "100 80") {
    return std::make_unique<TempFile>(bytesOf(asciiSheets("(sheet \"S\" " + body + ")", size)), suffix);
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

const char* kUnsupported = "Unsupported extension. Expected .SCH, .SchDoc, .SchDot or .SBK";

TEST(ViewerCorePaths, ExtensionsFollowWindowsRules) {
    using schematic::lowerExtensionOf;
    EXPECT_EQ(lowerExtensionOf("A.SCH"), ".sch");
    EXPECT_EQ(lowerExtensionOf("dir.x/b.SchDot"), ".schdot");
    EXPECT_EQ(lowerExtensionOf("C:\\dir\\c.Sbk"), ".sbk");
    EXPECT_EQ(lowerExtensionOf("C:a.sch"), ".sch");
    EXPECT_EQ(lowerExtensionOf("a.sch:stream"), ".sch");
    EXPECT_EQ(lowerExtensionOf("a.txt:x.sch"), ".txt");
    EXPECT_EQ(lowerExtensionOf(".sch"), "");
    EXPECT_EQ(lowerExtensionOf("dir/.sch"), "");
    EXPECT_EQ(lowerExtensionOf("x.sch."), ".");
    EXPECT_EQ(lowerExtensionOf("dir.sch/file"), "");
    EXPECT_EQ(lowerExtensionOf("."), "");
    EXPECT_EQ(lowerExtensionOf("dir/.."), "");
    EXPECT_EQ(lowerExtensionOf("..sch"), ".sch");
    // A network host is a root name, not a file name.
    EXPECT_EQ(lowerExtensionOf("\\\\host.sch"), "");
    EXPECT_EQ(lowerExtensionOf("//host.sch/share/a.SCH"), ".sch");
    EXPECT_EQ(lowerExtensionOf("C:"), "");
}

TEST(ViewerCoreOpen, ChoosesTheReaderByExtension) {
    const auto pcadFile = asciiFile("(line (pt 1 1) (pt 2 2))", ".SCH");
    EXPECT_EQ(ViewerCore(pcadFile->path()).statusText().rfind("P-CAD SCH | ", 0), 0u);

    kgtest::SchDocBuilder schdoc;
    for (const char* suffix : {".SchDoc", ".SCHDOT", ".schdoc"}) {
        TempFile f(schdoc.image().bytes, suffix);
        EXPECT_EQ(ViewerCore(f.path()).statusText().rfind("Altium SchDoc | ", 0), 0u) << suffix;
    }

    kgtest::SbkFileBuilder sbkFile;
    sbkFile.addPage(kgtest::CircuitBuilder().bytes());
    TempFile sbk(sbkFile.bytes(), ".Sbk");
    EXPECT_EQ(ViewerCore(sbk.path()).statusText().rfind("Mentor SBK | ", 0), 0u);
}

TEST(ViewerCoreOpen, BinaryPcadSheets) {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.rectTagRaw(29700000, 0, 0, 42000000);
    b.sheet(1, "Main").sheet(2, "Second");
    b.anchor();
    for (int i = 0; i < 3; ++i) {
        const double y = 10 + 5 * i;
        b.lineWidth(20000).shape(
            {.x1 = 10, .y1 = y, .x2 = 60, .y2 = y, .wireFlag = 1, .rect = {10, y, 60, y}});
    }
    b.shape({.x1 = 10, .y1 = 10, .x2 = 10, .y2 = 90, .sheet = 2, .rect = {10, 10, 10, 90}});
    b.fill(64);
    TempFile f(b.bytes, ".SCH");
    ViewerCore core(f.path());
    ASSERT_EQ(core.pageCount(), 2u);
    EXPECT_EQ(core.pageName(0), "Main");
    EXPECT_EQ(core.pageName(1), "Second");
    // The three wires lie on the first sheet, the line on the second.
    EXPECT_EQ(core.statusText(), "P-CAD SCH | sheet 1/2 | 3 lines, 0 circles, 0 texts");
    core.selectPage(1);
    EXPECT_EQ(core.statusText(), "P-CAD SCH | sheet 2/2 | 1 lines, 0 circles, 0 texts");
}

TEST(ViewerCoreOpen, BinaryPcadSheetsOfTheLaterForm) {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.sheetSized(1, "Sheet1", 1).sheetSized(2, "Sheet2");
    b.shape({.x1 = 10, .y1 = 10, .x2 = 60, .y2 = 10, .sheet = 1, .rect = {10, 10, 60, 10}});
    b.shape({.x1 = 10, .y1 = 10, .x2 = 10, .y2 = 90, .sheet = 2, .rect = {10, 10, 10, 90}});
    b.shape({.x1 = 10, .y1 = 20, .x2 = 10, .y2 = 90, .sheet = 2, .rect = {10, 20, 10, 90}});
    b.fill(64);
    TempFile f(b.bytes, ".sch");
    ViewerCore core(f.path());
    ASSERT_EQ(core.pageCount(), 2u);
    EXPECT_EQ(core.pageName(1), "Sheet2");
    EXPECT_EQ(core.statusText(), "P-CAD SCH | sheet 1/2 | 1 lines, 0 circles, 0 texts");
    core.selectPage(1);
    EXPECT_EQ(core.statusText(), "P-CAD SCH | sheet 2/2 | 2 lines, 0 circles, 0 texts");
}

TEST(ViewerCoreOpen, Failures) {
    // The reader is never reached for an unsupported name, so the content does not matter.
    for (const char* suffix : {".txt", ".sch.", ""}) {
        TempFile f(bytesOf("ACCEL_ASCII"), suffix);
        EXPECT_EQ(errorOf([&] { ViewerCore c(f.path()); }), kUnsupported) << suffix;
    }
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/dir.sch/file"); }), kUnsupported);
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/.sch"); }), kUnsupported);
    // Reader failures pass through unchanged.
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/x.sch"); }), "Cannot open file: /nonexistent/x.sch");
    TempFile shortFile(bytesOf("ACCEL"), ".sch");
    EXPECT_EQ(errorOf([&] { ViewerCore c(shortFile.path()); }), "Empty or truncated file");
    EXPECT_THROW(ViewerCore("bad\xff.sch"), std::system_error);
}

TEST(ViewerCoreView, FitZoomPanAndViewport) {
    kgtest::SchDocBuilder b;
    b.setSheet("|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=1000|CUSTOMY=800");
    TempFile f(b.image().bytes, ".SchDoc");
    ViewerCore core(f.path());
    EXPECT_DOUBLE_EQ(core.scale(), 0.91);

    core.setViewportSize(30, 30);
    core.fitToView();
    EXPECT_DOUBLE_EQ(core.scale(), 1e-5);

    core.setViewportSize(1024, 768);
    core.fitToView();
    core.zoomAt(100, 100, 1e9);
    EXPECT_DOUBLE_EQ(core.scale(), 10000);
    for (double bad : {0.0, -2.0, std::nan(""), double(INFINITY)}) {
        core.zoomAt(5, 5, bad);
        EXPECT_DOUBLE_EQ(core.scale(), 10000);
    }
    core.zoomAt(1, 1, 1e-30);
    EXPECT_DOUBLE_EQ(core.scale(), 1e-5);
}

// The transform is observable through what paint draws: a P-CAD line from (0,0) to (10,0).
std::vector<schematic::Point> linePixels(const ViewerCore& core) {
    RecordingTarget t;
    core.paint(t);
    for (const DrawCall& c : t.calls) {
        if (c.kind == DrawCall::Polyline) return c.points;
    }
    return {};
}

TEST(ViewerCoreView, PointsStayPutUnderZoomAndResize) {
    const auto f = asciiFile("(line (pt 0 0) (pt 10 0))");
    ViewerCore core(f->path());
    // 100 by 80 in 1024 by 768: min(984/100, 728/80) = 9.1, centred on (50, 40).
    EXPECT_DOUBLE_EQ(core.scale(), 9.1);
    auto p = linePixels(core);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_NEAR(p[0].x, 512 - 50 * 9.1, 1e-9);
    EXPECT_NEAR(p[0].y, 384 + 40 * 9.1, 1e-9);

    // The document point under the cursor stays under it.
    core.zoomAt(p[1].x, p[1].y, 3);
    auto q = linePixels(core);
    EXPECT_NEAR(q[1].x, p[1].x, 1e-9);
    EXPECT_NEAR(q[1].y, p[1].y, 1e-9);
    EXPECT_NEAR(q[1].x - q[0].x, 3 * (p[1].x - p[0].x), 1e-9);

    core.pan(7, -3);
    auto r = linePixels(core);
    EXPECT_NEAR(r[0].x, q[0].x + 7, 1e-9);
    EXPECT_NEAR(r[0].y, q[0].y - 3, 1e-9);
    core.pan(NAN, INFINITY);  // ignored: the view never holds a non-finite offset
    EXPECT_NEAR(linePixels(core)[0].x, r[0].x, 1e-9);

    // Resizing keeps the centre's document point at the centre; 0 by -5 becomes 1 by 1.
    // A line through the page centre stays visible in a one-pixel viewport.
    const auto g = asciiFile("(line (pt 0 40) (pt 100 40))");
    ViewerCore centre(g->path());
    centre.setViewportSize(0, -5);
    auto s = linePixels(centre);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_NEAR(s[0].x, 0.5 - 50 * 9.1, 1e-9);
    EXPECT_NEAR(s[0].y, 0.5, 1e-9);
}

TEST(ViewerCoreView, NonFiniteEmptyOrNegativeExtentIsFittedAsOneUnit) {
    // A non-finite extent is centred on 0, an empty or negative one on its own centre. The page
    // index keeps only what meets the page, so the line is drawn only on some of these pages.
    const struct {
        const char* size;
        double scale;
        bool drawn;
    } cases[] = {{"nan inf", 728, false},
                 {"inf 5", 728.0 / 5, true},
                 {"1e999 -1e999", 728, false},
                 {"0 0", 728, true},
                 {"-0.2 -0.2", 728, false}};
    for (const auto& c : cases) {
        const auto f = asciiFile("(line (pt 0 0) (pt 0.1 0.1))", ".sch", c.size);
        ViewerCore core(f->path());
        EXPECT_DOUBLE_EQ(core.scale(), c.scale) << c.size;
        if (!c.drawn) continue;
        // The offsets are finite too: the line near the centre is drawn at finite pixels.
        for (int step = 0; step < 2; ++step) {
            const auto p = linePixels(core);
            ASSERT_EQ(p.size(), 2u) << c.size;
            EXPECT_LT(std::fabs(p[0].x - 512), 100) << c.size;
            EXPECT_TRUE(std::isfinite(p[0].y)) << c.size;
            core.zoomAt(512, 384, 0.5);
        }
    }
}

TEST(ViewerCorePages, NamesSelectionAndLayers) {
    const std::string twoSheets =
        asciiSheets("(sheet \"First\" (line (pt 0 0) (pt 1 1))) (sheet \"Second\")");
    TempFile pf(bytesOf(twoSheets), ".sch");
    ViewerCore p(pf.path());
    ASSERT_EQ(p.pageCount(), 2u);
    EXPECT_EQ(p.pageName(0), "First");
    EXPECT_EQ(p.pageName(1), "Second");
    EXPECT_EQ(p.pageName(2), "");
    EXPECT_EQ(errorOf([&] { p.selectPage(2); }), "Invalid sheet number");
    EXPECT_THROW(p.selectPage(2), std::out_of_range);
    EXPECT_EQ(p.currentPage(), 0u);
    p.toggleLayer(4);
    p.selectPage(1);
    EXPECT_EQ(p.currentPage(), 1u);
    EXPECT_EQ(p.visibleLayers(), 0x3Bu);  // page changes keep the mask
    p.toggleLayer(4);
    EXPECT_EQ(p.visibleLayers(), 0x3Fu);
    ASSERT_EQ(p.layers().size(), 6u);
    EXPECT_EQ(p.layers()[5].name, "Text, pins and labels");
    EXPECT_EQ(p.layers()[5].bit, 32u);

    kgtest::SchDocBuilder b;
    TempFile sf(b.image().bytes, ".SchDoc");
    ViewerCore s(sf.path());
    EXPECT_EQ(s.pageCount(), 1u);
    EXPECT_EQ(s.pageName(0), "Schematic");
    EXPECT_EQ(s.pageName(1), "");
    EXPECT_EQ(s.visibleLayers(), 0x1Fu);
    EXPECT_EQ(s.layers()[3].name, "Pin names and numbers");
    s.setVisibleLayers(0xF0000000u);  // bits of no layer are accepted
    EXPECT_EQ(s.visibleLayers(), 0xF0000000u);

    kgtest::SbkFileBuilder sbk;
    for (int i = 0; i < 3; ++i) {
        kgtest::CircuitBuilder c;
        c.wire(5, {{0, 0}, {100 * (i + 1), 0}});
        sbk.addPage(c.bytes());
    }
    TempFile kf(sbk.bytes(), ".SBK");
    ViewerCore k(kf.path());
    EXPECT_EQ(k.pageCount(), 3u);
    EXPECT_EQ(k.pageName(2), "Page 3");
    EXPECT_EQ(k.visibleLayers(), 0x1FFFu);
    ASSERT_EQ(k.layers().size(), 13u);
    for (const auto& layer : k.layers()) EXPECT_EQ(layer.name.find('_'), std::string::npos);
    k.selectPage(2);
    EXPECT_EQ(k.currentPage(), 2u);
    EXPECT_EQ(k.statusText().rfind("Mentor SBK | page 3/3 | ", 0), 0u);
    // A page that can no longer be read leaves the core where it was.
    kf.write(bytesOf("not a compound file at all, but long enough to be read"));
    EXPECT_ANY_THROW(k.selectPage(0));
    EXPECT_EQ(k.currentPage(), 2u);
    // The current SBK page is not read again, but still refitted.
    k.zoomAt(0, 0, 2);
    const double zoomed = k.scale();
    k.selectPage(2);
    EXPECT_NE(k.scale(), zoomed);
}

// An SBK page with one placed symbol (a line, its reference and two pin names) and one wire.
std::vector<std::uint8_t> sbkSymbolPage() {
    kgtest::CircuitBuilder c;
    c.instance("SYM", 1000, 2000, 0);
    c.text(15, 0, 0, "IC1");
    c.wire(5, {{0, 0}, {3000, 0}});
    kgtest::SbkFileBuilder b;
    b.addCell("SYM", kgtest::CellBuilder()
                         .geometry(0x80, 8, {0, 0, 100, 0})
                         .text(3, 80, 10, "IN")
                         .text(3, 81, -10, "OUT")
                         .bytes());
    b.addPage(c.bytes());
    return b.bytes();
}

TEST(ViewerCoreStatus, TextsOfEachFormat) {
    const std::string sheets = asciiSheets(
        "(sheet \"A\") (sheet \"B\" (line (pt 0 0) (pt 1 1)) (line (pt 0 0) (pt 2 1))"
        " (junction (pt 1 1)) (text (pt 3 3) \"x\"))");
    TempFile pf(bytesOf(sheets), ".sch");
    ViewerCore p(pf.path());
    EXPECT_EQ(p.statusText(), "P-CAD SCH | sheet 1/2 | 0 lines, 0 circles, 0 texts");
    p.selectPage(1);
    p.setVisibleLayers(0);  // hiding layers changes no count
    EXPECT_EQ(p.statusText(), "P-CAD SCH | sheet 2/2 | 2 lines, 1 circles, 1 texts");

    kgtest::SchDocBuilder b;
    b.add("|RECORD=1|CURRENTPARTID=1");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=5|X2=10|Y2=5");
    b.add("|RECORD=4|TEXT=note|LOCATION.X=5|LOCATION.Y=5");
    TempFile sf(b.image().bytes, ".SchDoc");
    ViewerCore s(sf.path());
    s.setVisibleLayers(0);
    EXPECT_EQ(s.statusText(), "Altium SchDoc | 1 components, 2 wires, 3 primitives");

    TempFile kf(sbkSymbolPage(), ".sbk");
    ViewerCore k(kf.path());
    k.setVisibleLayers(0);
    EXPECT_EQ(k.statusText(), "Mentor SBK | page 1/1 | 1 components, 1 wires, 2 primitives, 3 labels");
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Exports land in KG_SVG_OUT when it is set, so that the test run can check them as XML.
class ViewerCoreExport : public ::testing::Test {
protected:
    void SetUp() override {
        const char* out = std::getenv("KG_SVG_OUT");
        keep_ = out != nullptr && *out != '\0';
        dir_ = keep_ ? std::filesystem::path(out) : std::filesystem::temp_directory_path() / "kg_core_export";
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (!keep_) std::filesystem::remove_all(dir_);
    }
    std::string out(const std::string& name) const { return (dir_ / ("core_" + name + ".svg")).string(); }

    std::filesystem::path dir_;
    bool keep_ = false;
};

TEST_F(ViewerCoreExport, PcadWritesEveryLayerInTheCurrentTheme) {
    const auto pf = asciiFile("(text (pt 10 10) \"hello\") (wire (line (pt 1 1) (pt 9 1)))");
    ViewerCore p(pf->path());
    p.setVisibleLayers(0x07);  // text and wire layers hidden
    const std::string dark = out("pcad_dark"), light = out("pcad_light");
    p.exportSvg(dark);
    p.setDark(false);
    p.exportSvg(light);
    const std::string d = slurp(dark), l = slurp(light);
    EXPECT_NE(d.find("hello"), std::string::npos);
    EXPECT_NE(l.find("hello"), std::string::npos);
    EXPECT_NE(d.find("fill=\"#080a0d\""), std::string::npos);
    EXPECT_NE(l.find("fill=\"#ffffff\""), std::string::npos);
    // Scale 2: the 100 by 80 sheet with a margin of 4 units on each side.
    EXPECT_NE(d.find("width=\"216.000\" height=\"176.000\""), std::string::npos);
}

TEST_F(ViewerCoreExport, SchDocWritesTheVisibleLayers) {
    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    b.add("|RECORD=4|TEXT=tiny|LOCATION.X=5|LOCATION.Y=5");
    TempFile sf(b.image().bytes, ".SchDoc");
    ViewerCore s(sf.path());
    const std::string all = out("schdoc_all"), noWires = out("schdoc_no_wires");
    s.exportSvg(all);
    s.toggleLayer(2);
    s.exportSvg(noWires);
    EXPECT_NE(slurp(all).find("<polyline"), std::string::npos);
    EXPECT_EQ(slurp(noWires).find("<polyline"), std::string::npos);
    EXPECT_NE(slurp(noWires).find("tiny"), std::string::npos);  // small texts are not culled
    // The file is replaced, not appended to.
    s.exportSvg(all);
    EXPECT_EQ(slurp(all), slurp(noWires));
    EXPECT_EQ(errorOf([&] { s.exportSvg((dir_ / "missing" / "x.svg").string()); }),
              "Could not create SVG file");
    EXPECT_THROW(s.exportSvg("bad\xff.svg"), std::system_error);
#ifdef __linux__
    // Write failures show only when the last bytes are flushed.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(errorOf([&] { s.exportSvg("/dev/full"); }), "Failed to write SVG file");
    }
#endif
}

TEST_F(ViewerCoreExport, SbkWritesTheVisibleLayers) {
    TempFile kf(sbkSymbolPage(), ".sbk");
    ViewerCore k(kf.path());
    const std::string all = out("sbk_all"), wires = out("sbk_wires");
    k.exportSvg(all);
    k.setVisibleLayers(2);
    k.exportSvg(wires);
    EXPECT_NE(slurp(all).find("IC1"), std::string::npos);
    EXPECT_EQ(slurp(wires).find("IC1"), std::string::npos);
    EXPECT_NE(slurp(wires).find("#09e52c"), std::string::npos);
}

// The real sample files, when present: status, pages, a paint at the fitted view and an export.
TEST(ViewerCoreSamples, RealFilesOfEachKind) {
    const std::filesystem::path root(KG_TESTDATA);
    if (!std::filesystem::exists(root)) GTEST_SKIP() << "no sample files";
    const struct {
        const char* file;
        std::vector<std::string> status;
    } samples[] = {
        {"pcad-ascii/pcad_feature_test.sch",
         {"P-CAD SCH | sheet 1/2 | 369 lines, 2 circles, 15 texts",
          "P-CAD SCH | sheet 2/2 | 152 lines, 1 circles, 6 texts"}},
        {"schdoc/via2.SchDoc", {"Altium SchDoc | 1 components, 0 wires, 11 primitives"}},
        {"schdoc/01_SYSTEM.SchDoc", {"Altium SchDoc | 0 components, 0 wires, 14 primitives"}},
        {"schdoc/ThunderScope_Main.SchDoc", {"Altium SchDoc | 33 components, 90 wires, 506 primitives"}},
    };
    const char* svgOut = std::getenv("KG_SVG_OUT");
    for (const auto& sample : samples) {
        const std::filesystem::path path = root / sample.file;
        if (!std::filesystem::exists(path)) continue;
        SCOPED_TRACE(sample.file);
        ViewerCore core(path.string());
        ASSERT_EQ(core.pageCount(), sample.status.size());
        for (std::size_t page = 0; page < sample.status.size(); ++page) {
            core.selectPage(page);
            EXPECT_EQ(core.statusText(), sample.status[page]);
            RecordingTarget target;
            core.paint(target);
            EXPECT_FALSE(target.calls.empty());
            for (const DrawCall& c : target.calls) {
                for (const schematic::Point& p : c.points) {
                    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
                }
            }
        }
        if (svgOut != nullptr && *svgOut != '\0') {
            std::filesystem::create_directories(svgOut);
            core.exportSvg(
                (std::filesystem::path(svgOut) / ("core_sample_" + path.stem().string() + ".svg")).string());
        }
    }
    const std::filesystem::path pcad = root / "pcad-ascii/pcad_feature_test.sch";
    if (std::filesystem::exists(pcad)) {
        ViewerCore core(pcad.string());
        EXPECT_EQ(core.pageName(0), "Main");
        EXPECT_EQ(core.pageName(1), "IO");
    }
}

}  // namespace
