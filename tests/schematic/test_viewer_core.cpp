#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "schematic/path_rules.h"
#include "schematic/viewer_core.h"
#include "support/compound_file_writer.h"
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
           "(schDesignHeader (workspaceSize " + size + "))\n" + sheets + ")\n";
}

std::unique_ptr<TempFile> asciiFile(const std::string& body, const std::string& suffix = ".sch",
                                    const std::string& size = "100 80") {
    return std::make_unique<TempFile>(bytesOf(asciiSheets("(sheet \"S\" " + body + ")", size)),
                                      suffix);
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

TEST(ViewerCoreOpen, Failures) {
    // The reader is never reached for an unsupported name, so the content does not matter.
    for (const char* suffix : {".txt", ".sch.", ""}) {
        TempFile f(bytesOf("ACCEL_ASCII"), suffix);
        EXPECT_EQ(errorOf([&] { ViewerCore c(f.path()); }), kUnsupported) << suffix;
    }
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/dir.sch/file"); }), kUnsupported);
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/.sch"); }), kUnsupported);
    // Reader failures pass through unchanged.
    EXPECT_EQ(errorOf([] { ViewerCore c("/nonexistent/x.sch"); }),
              "Cannot open file: /nonexistent/x.sch");
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
    core.pan(NAN, INFINITY); // ignored: the view never holds a non-finite offset
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

TEST(ViewerCoreView, NonFiniteOrEmptyExtentIsFittedAsOneUnit) {
    for (const char* size : {"nan inf", "inf 5", "1e999 -1e999"}) {
        const auto f = asciiFile("", ".sch", size);
        std::unique_ptr<ViewerCore> core;
        try {
            core = std::make_unique<ViewerCore>(f->path());
        } catch (const std::exception&) {
            continue; // the reader may refuse such a sheet; then nothing is left to fit
        }
        EXPECT_TRUE(std::isfinite(core->scale())) << size;
        EXPECT_LE(core->scale(), 10000);
        EXPECT_GE(core->scale(), 1e-5);
    }
    kgtest::SbkFileBuilder sbk;
    sbk.addPage(kgtest::CircuitBuilder().bytes());
    TempFile f(sbk.bytes(), ".sbk");
    ViewerCore core(f.path());
    EXPECT_TRUE(std::isfinite(core.scale()));
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
    EXPECT_EQ(p.visibleLayers(), 0x3Bu); // page changes keep the mask
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
    s.setVisibleLayers(0xF0000000u); // bits of no layer are accepted
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

TEST(ViewerCoreStatus, TextsOfEachFormat) {
    const std::string sheets = asciiSheets(
        "(sheet \"A\") (sheet \"B\" (line (pt 0 0) (pt 1 1)) (line (pt 0 0) (pt 2 1))"
        " (junction (pt 1 1)) (text (pt 3 3) \"x\"))");
    TempFile pf(bytesOf(sheets), ".sch");
    ViewerCore p(pf.path());
    EXPECT_EQ(p.statusText(), "P-CAD SCH | sheet 1/2 | 0 lines, 0 circles, 0 texts");
    p.selectPage(1);
    p.setVisibleLayers(0); // hiding layers changes no count
    EXPECT_EQ(p.statusText(), "P-CAD SCH | sheet 2/2 | 2 lines, 1 circles, 1 texts");

    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=5|X2=10|Y2=5");
    TempFile sf(b.image().bytes, ".SchDoc");
    ViewerCore s(sf.path());
    EXPECT_EQ(s.statusText().rfind("Altium SchDoc | 0 components, 2 wires, ", 0), 0u) << s.statusText();

    kgtest::SbkFileBuilder sbk;
    kgtest::CircuitBuilder c;
    c.wire(5, {{0, 0}, {100, 0}});
    sbk.addPage(c.bytes());
    TempFile kf(sbk.bytes(), ".sbk");
    ViewerCore k(kf.path());
    EXPECT_EQ(k.statusText().rfind("Mentor SBK | page 1/1 | 0 components, 1 wires, ", 0), 0u)
        << k.statusText();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ViewerCoreExport, EachFormatWithItsOwnWriter) {
    const auto dir = std::filesystem::temp_directory_path() / "kg_core_export";
    std::filesystem::create_directories(dir);
    const std::string out = (dir / "out.svg").string();

    // P-CAD: every layer and the current theme, whatever the mask.
    const auto pf = asciiFile("(text (pt 10 10) \"hello\")");
    ViewerCore p(pf->path());
    p.setVisibleLayers(0);
    p.exportSvg(out);
    std::string svg = slurp(out);
    EXPECT_NE(svg.find("hello"), std::string::npos);
    EXPECT_NE(svg.find("#080a0d"), std::string::npos);
    p.setDark(false);
    p.exportSvg(out);
    EXPECT_NE(slurp(out).find("#ffffff"), std::string::npos);

    // SchDoc: the mask applies; a missing folder is reported.
    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=0|Y1=0|X2=10|Y2=0");
    TempFile sf(b.image().bytes, ".SchDoc");
    ViewerCore s(sf.path());
    s.exportSvg(out);
    const std::string withWires = slurp(out);
    s.toggleLayer(2);
    s.exportSvg(out);
    EXPECT_LT(slurp(out).size(), withWires.size());
    EXPECT_EQ(errorOf([&] { s.exportSvg((dir / "missing" / "x.svg").string()); }),
              "Could not create SVG file");
#ifdef __linux__
    EXPECT_EQ(errorOf([&] { s.exportSvg("/dev/full"); }), "Failed to write SVG file");
#endif

    // SBK: the mask applies.
    kgtest::SbkFileBuilder sbk;
    kgtest::CircuitBuilder c;
    c.wire(5, {{0, 0}, {100, 0}});
    sbk.addPage(c.bytes());
    TempFile kf(sbk.bytes(), ".sbk");
    ViewerCore k(kf.path());
    k.exportSvg(out);
    const std::string all = slurp(out);
    k.setVisibleLayers(0);
    k.exportSvg(out);
    EXPECT_LT(slurp(out).size(), all.size());
    std::filesystem::remove_all(dir);
}

} // namespace
