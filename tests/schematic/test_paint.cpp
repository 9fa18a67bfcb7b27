// Tests of painting each format's page through the viewer core onto a recording target.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pcad/load.h"
#include "schematic/palette.h"
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

std::unique_ptr<TempFile> asciiFile(const std::string& body) {
    const std::string s =
        "ACCEL_ASCII \"t.sch\"\n(asciiHeader (fileUnits mm))\n"
        "(schematicDesign \"D\"\n(schDesignHeader (workspaceSize 100 80))\n"
        "(sheet \"S\" " +
        body + "))\n";
    return std::make_unique<TempFile>(std::vector<std::uint8_t>(s.begin(), s.end()), ".sch");
}

std::vector<DrawCall> paint(const ViewerCore& core) {
    RecordingTarget t;
    core.paint(t);
    return t.calls;
}

std::vector<const DrawCall*> callsOf(const std::vector<DrawCall>& calls, DrawCall::Kind kind) {
    std::vector<const DrawCall*> out;
    for (const DrawCall& c : calls) {
        if (c.kind == kind) out.push_back(&c);
    }
    return out;
}

// Zooms about the viewport's centre to the given scale.
void zoomTo(ViewerCore& core, double scale) { core.zoomAt(512, 384, scale / core.scale()); }

TEST(ScreenPalette, PcadClassesLayersAndColours) {
    using schematic::layerBit;
    using schematic::pcadItemColour;
    const std::uint32_t bits[12] = {1, 2, 4, 16, 8, 2, 32, 32, 32, 32, 4, 1};
    for (std::uint8_t c = 0; c < 12; ++c) EXPECT_EQ(layerBit(c), bits[c]) << int(c);
    EXPECT_EQ(layerBit(12), 32u);
    EXPECT_EQ(layerBit(255), 32u);
    EXPECT_EQ(pcadItemColour(0, false), 0xFF6E6964u);
    EXPECT_EQ(pcadItemColour(3, true), 0xFFF57650u);
    EXPECT_EQ(pcadItemColour(11, true), 0xFFDEDAD6u);
    EXPECT_EQ(pcadItemColour(200, false), 0xFF141414u);
    EXPECT_EQ(pcadItemColour(200, true), 0xFFECE6E0u);
}

TEST(ScreenPalette, ThemeColours) {
    using schematic::sbkThemeColour;
    using schematic::schDocThemeColour;
    EXPECT_EQ(schDocThemeColour(0xFF000000u, true), 0xFF787878u);
    EXPECT_EQ(schDocThemeColour(0xFF6E0000u, true), 0xFF6E0000u);
    EXPECT_EQ(schDocThemeColour(0xFF000000u, false), 0xFF000000u);
    EXPECT_EQ(schDocThemeColour(0x00102030u, true), 0x00586878u);  // alpha kept, brightest 120
    EXPECT_EQ(schDocThemeColour(0xFF0A6D00u, true), 0xFF15780Bu);
    EXPECT_EQ(sbkThemeColour(0x09E52C, true), 0xFF2CE509u);
    EXPECT_EQ(sbkThemeColour(0x09E52C, false), 0xFF27A210u);
    EXPECT_EQ(sbkThemeColour(0xFFFFFF, false), 0xFFB4B4B4u);
    EXPECT_EQ(sbkThemeColour(0x000000, false), 0xFF0A0A0Au);
}

TEST(PaintPcad, ClassOrderMaskAndTheme) {
    // Written in the order text, wire, sheet line, junction.
    const auto f = asciiFile(
        "(text (pt 50 50) \"label\")"
        "(wire (line (pt 10 10) (pt 20 10) (width 0.1)))"
        "(line (pt 10 20) (pt 20 20) (width 1))"
        "(junction (pt 30 30))");
    ViewerCore core(f->path());
    std::vector<DrawCall> calls = paint(core);
    ASSERT_EQ(calls.size(), 4u);
    // Lines by class (1 before 4), then the filled dot, then the text.
    EXPECT_EQ(calls[0].stroke, schematic::pcadItemColour(1, true));
    EXPECT_EQ(calls[1].stroke, schematic::pcadItemColour(4, true));
    EXPECT_EQ(calls[2].kind, DrawCall::Ellipse);
    EXPECT_EQ(calls[2].fill, schematic::pcadItemColour(10, true));
    EXPECT_EQ(calls[3].kind, DrawCall::Text);
    EXPECT_EQ(calls[3].text, "label");
    EXPECT_EQ(calls[3].stroke, schematic::pcadItemColour(6, true));
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(calls[i].closed);
        EXPECT_EQ(calls[i].fill, 0u);
    }
    // The junction: 0.9 units across, centred on its point.
    const double s = core.scale();
    const schematic::Box& dot = calls[2].box;
    EXPECT_NEAR(dot.x1 - dot.x0, 0.9 * s, 1e-5);  // a float diameter
    EXPECT_NEAR((dot.x0 + dot.x1) / 2, 512 + (30 - 50) * s, 1e-9);
    EXPECT_NEAR((dot.y0 + dot.y1) / 2, 384 - (30 - 40) * s, 1e-9);
    EXPECT_DOUBLE_EQ(calls[2].width, 1.0);

    core.setDark(false);
    calls = paint(core);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1].stroke, schematic::pcadItemColour(4, false));
    EXPECT_EQ(calls[3].stroke, schematic::pcadItemColour(6, false));

    // Without bit 32 no text; bit 8 alone only the wire; no layer nothing.
    core.setVisibleLayers(0x3F & ~32u);
    EXPECT_TRUE(callsOf(paint(core), DrawCall::Text).empty());
    core.setVisibleLayers(8);
    calls = paint(core);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].stroke, schematic::pcadItemColour(4, false));
    core.setVisibleLayers(0);
    EXPECT_TRUE(paint(core).empty());
}

TEST(PaintPcad, WidthsTextBoxesAndCulling) {
    const auto f = asciiFile(
        "(wire (line (pt 10 10) (pt 20 10) (width 0.1)))"
        "(line (pt 10 20) (pt 20 20) (width 1))"
        "(text (pt 50 50) \"label\")");
    ViewerCore core(f->path());
    zoomTo(core, 2);
    ASSERT_DOUBLE_EQ(core.scale(), 2);
    std::vector<DrawCall> calls = paint(core);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_DOUBLE_EQ(calls[0].width, 2.0);  // 1 unit
    EXPECT_DOUBLE_EQ(calls[1].width, 1.0);  // 0.1 unit: 0.2 pixels, raised to 1

    // The text is fitted into its indexed box, anchored at the box's bottom-left corner.
    const std::vector<pcad::Page> pages = pcad::loadFile(f->path());
    const pcad::Item* box = nullptr;
    for (const pcad::Item& item : pages[0].items) {
        if (item.kind == pcad::KindText) box = &item;
    }
    ASSERT_NE(box, nullptr);
    const double h = box->maxY - box->minY;
    for (double px : {2.5, 3.5, 20.0}) {
        zoomTo(core, px / h);
        calls = paint(core);
        const auto texts = callsOf(calls, DrawCall::Text);
        if (px < 3) {
            EXPECT_TRUE(texts.empty());
            continue;
        }
        ASSERT_EQ(texts.size(), 1u) << px;
        const double s = core.scale();
        EXPECT_NEAR(texts[0]->style.height, std::max(px, 4.0), 1e-9);
        EXPECT_NEAR(texts[0]->style.boxWidth, (box->maxX - box->minX) * s, 1e-9);
        EXPECT_EQ(texts[0]->style.align, 0);
        EXPECT_EQ(texts[0]->style.baseline, 0);
        // The page centre (50, 40) stays at the viewport centre while zooming.
        EXPECT_NEAR(texts[0]->points[0].x, 512 + (box->minX - 50) * s, 1e-6);
        EXPECT_NEAR(texts[0]->points[0].y, 384 - (box->minY - 40) * s, 1e-6);
    }

    // Only what meets the visible rectangle is drawn.
    core.fitToView();
    core.pan(-100000, 0);
    EXPECT_TRUE(paint(core).empty());
}

// Each line of a note is fitted into its own row of the note's box; a note turned a quarter
// stacks its rows from right to left.
TEST(PaintPcad, TextsOfSeveralLines) {
    const auto f = asciiFile("(text (pt 20 20) \"ab\\ncd\") (text (pt 60 20) \"ab\\ncd\" (rotation 90))");
    ViewerCore core(f->path());
    zoomTo(core, 10);
    const std::vector<DrawCall> calls = paint(core);
    const auto texts = callsOf(calls, DrawCall::Text);
    ASSERT_EQ(texts.size(), 4u);
    const double row = 2.7 * 10;  // one line's height in pixels
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(texts[i]->text, i % 2 ? "cd" : "ab");
        EXPECT_NEAR(texts[i]->style.height, i < 2 ? row : 2 * 2.7 * 0.33 * 10, 1e-4);
        EXPECT_NEAR(texts[i]->style.boxWidth, i < 2 ? 2 * 2.7 * 0.33 * 10 : row, 1e-4);
        EXPECT_EQ(texts[i]->style.angle, i < 2 ? 0 : 90);
    }
    EXPECT_NEAR(texts[1]->points[0].y - texts[0]->points[0].y, row, 1e-4);
    EXPECT_EQ(texts[1]->points[0].x, texts[0]->points[0].x);
    EXPECT_NEAR(texts[2]->points[0].x - texts[3]->points[0].x, row, 1e-4);
    EXPECT_EQ(texts[2]->points[0].y, texts[3]->points[0].y);
}

TEST(PaintPcad, BinaryOpenCirclesBeforeDotsBeforeTexts) {
    kgtest::PcadBinaryBuilder b = kgtest::pcadBinaryFile();
    b.rectTagRaw(29700000, 0, 0, 42000000);
    b.sheet(1, "Main");
    b.font(1, "Arial", 250000).named(7, "Default");
    b.anchor();
    b.anchoredText("R1", {0, 1, 7}, {.x = 52, .y = 52, .rect = {51, 51, 58, 54}});
    b.junctionMark().graphic({.x = 60, .y = 50, .rect = {59.5, 49.5, 60.5, 50.5}});
    b.circleChain(25000, 70, 50).shape({.x1 = 70, .y1 = 50, .x2 = 70, .y2 = 50, .rect = {69, 49, 71, 51}});
    b.lineWidth(20000).shape(
        {.x1 = 50, .y1 = 50, .x2 = 60, .y2 = 50, .wireFlag = 1, .rect = {50, 50, 60, 50}});
    b.fill(64);
    TempFile file(b.bytes, ".sch");
    ViewerCore core(file.path());
    const std::vector<DrawCall> calls = paint(core);
    int lastLine = -1, lastOpen = -1, firstDot = 1 << 20, lastDot = -1, firstText = 1 << 20;
    for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
        const DrawCall& c = calls[i];
        if (c.kind == DrawCall::Polyline) lastLine = i;
        if (c.kind == DrawCall::Ellipse && c.fill == 0) lastOpen = i;
        if (c.kind == DrawCall::Ellipse && c.fill != 0) {
            firstDot = std::min(firstDot, i);
            lastDot = i;
        }
        if (c.kind == DrawCall::Text) firstText = std::min(firstText, i);
    }
    ASSERT_GE(lastOpen, 0);
    ASSERT_GE(lastDot, 0);
    ASSERT_LT(firstText, static_cast<int>(calls.size()));
    EXPECT_LT(lastLine, lastOpen);
    EXPECT_LT(lastOpen, firstDot);
    EXPECT_LT(lastDot, firstText);
}

// A sheet of 1150 by 760 with one primitive of each kind.
std::unique_ptr<TempFile> schDocSheet() {
    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=3|X1=100|Y1=700|X2=200|Y2=700|X3=200|Y3=600|COLOR=0");
    b.add("|RECORD=29|LOCATION.X=200|LOCATION.Y=700");
    b.add("|RECORD=14|LOCATION.X=300|LOCATION.Y=600|CORNER.X=340|CORNER.Y=640|ISSOLID=T|COLOR=255");
    b.add("|RECORD=14|LOCATION.X=400|LOCATION.Y=600|CORNER.X=440|CORNER.Y=640");
    b.add("|RECORD=7|LOCATIONCOUNT=3|X1=500|Y1=600|X2=540|Y2=600|X3=500|Y3=640|ISSOLID=T");
    b.add("|RECORD=17|STYLE=2|ORIENTATION=1|TEXT=GND|LOCATION.X=600|LOCATION.Y=700");
    b.add("|RECORD=4|TEXT=X|ORIENTATION=1|JUSTIFICATION=4|LOCATION.X=700|LOCATION.Y=700");
    return b.write();
}

TEST(PaintSchDoc, KindsStylesAndColours) {
    const auto file = schDocSheet();
    ViewerCore core(file->path());
    const double s = core.scale();
    ASSERT_NEAR(s, 984.0 / 1150, 1e-12);
    const auto at = [&](double x, double y) {
        return schematic::Point{512 + (x - 575) * s, 384 + (y - 380) * s};
    };
    const std::vector<DrawCall> calls = paint(core);

    // The wire: three points, y downwards from the sheet's top, its black lifted in the dark theme.
    const DrawCall* wire = nullptr;
    for (const DrawCall& c : calls) {
        if (c.kind == DrawCall::Polyline && c.points.size() == 3 && !c.closed) wire = &c;
    }
    ASSERT_NE(wire, nullptr);
    EXPECT_NEAR(wire->points[0].x, at(100, 60).x, 1e-9);
    EXPECT_NEAR(wire->points[0].y, at(100, 60).y, 1e-9);
    EXPECT_NEAR(wire->points[2].y, at(200, 160).y, 1e-9);
    EXPECT_EQ(wire->stroke, 0xFF787878u);
    EXPECT_EQ(wire->fill, 0u);

    // The junction dot, an ellipse around its centre.
    const auto ellipses = callsOf(calls, DrawCall::Ellipse);
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_NEAR((ellipses[0]->box.x0 + ellipses[0]->box.x1) / 2, at(200, 60).x, 1e-9);
    EXPECT_NE(ellipses[0]->fill, 0u);
    EXPECT_GE(ellipses[0]->width, 0.65);

    // Rectangles are closed four-point polylines; only the solid one is filled. The polygon is
    // closed through its own points.
    std::vector<const DrawCall*> closed;
    for (const DrawCall& c : calls) {
        if (c.kind == DrawCall::Polyline && c.closed) closed.push_back(&c);
    }
    ASSERT_EQ(closed.size(), 3u);
    ASSERT_EQ(closed[0]->points.size(), 4u);
    EXPECT_NEAR(closed[0]->points[0].x, at(300, 160).x, 1e-9);
    EXPECT_NEAR(closed[0]->points[1].x, at(340, 160).x, 1e-9);
    EXPECT_NEAR(closed[0]->points[2].y, at(340, 120).y, 1e-9);
    EXPECT_NE(closed[0]->fill, 0u);
    EXPECT_EQ(closed[1]->fill, 0u);
    EXPECT_EQ(closed[2]->points.size(), 3u);

    // Texts: the name of the upward power port is centred above it, the rotated text is centred.
    const auto texts = callsOf(calls, DrawCall::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]->text, "GND");
    EXPECT_EQ(texts[0]->style.align, 1);
    EXPECT_DOUBLE_EQ(texts[0]->style.baseline, 0);
    EXPECT_NEAR(texts[0]->style.height, 7.8 * s, 1e-9);
    EXPECT_EQ(texts[1]->text, "X");
    EXPECT_EQ(texts[1]->style.align, 1);
    EXPECT_DOUBLE_EQ(std::fabs(texts[1]->style.angle), 90);
    EXPECT_EQ(texts[1]->style.boxWidth, 0);

    // The light theme passes the file's colours unchanged; texts below 3.2 pixels are skipped.
    core.setDark(false);
    for (const DrawCall& c : paint(core)) {
        if (c.kind == DrawCall::Polyline && c.points.size() == 3 && !c.closed) {
            EXPECT_EQ(c.stroke, 0xFF000000u);
        }
    }
    const double largest = std::max(7.8, texts[1]->style.height / s);
    zoomTo(core, 3.1 / largest);
    EXPECT_EQ(callsOf(paint(core), DrawCall::Text).size(), 0u);
    zoomTo(core, 3.3 / largest);
    EXPECT_GE(callsOf(paint(core), DrawCall::Text).size(), 1u);

    // Layers map to bits 1 << layer: without the wire layer neither the wire nor the dot.
    core.fitToView();
    core.setVisibleLayers(0x1F & ~2u);
    const std::vector<DrawCall> noWires = paint(core);
    EXPECT_TRUE(callsOf(noWires, DrawCall::Ellipse).empty());
    for (const DrawCall& c : noWires) EXPECT_FALSE(c.points.size() == 3 && !c.closed);
    // Panned off the sheet, nothing.
    core.setVisibleLayers(0x1F);
    core.pan(0, 100000);
    EXPECT_TRUE(paint(core).empty());
}

TEST(PaintSbk, AdapterShapesTextsAndColours) {
    kgtest::CircuitBuilder c;
    c.instance("SYM", 1000, 2000, 0);
    c.text(15, 0, 0, "IC1");
    c.wire(5, {{0, 0}, {3000, 0}});
    kgtest::SbkFileBuilder b;
    b.addCell("SYM", kgtest::CellBuilder()
                         .geometry(0x82, 24, {9, 0, 0, 50, 100, 100, 0})
                         .geometry(0x8F, 48, {-10, -20, 10, 20})
                         .text(3, 80, 10, "IN")
                         .text(3, 81, -10, "OUT")
                         .bytes());
    b.addPage(c.bytes());
    TempFile f(b.bytes(), ".sbk");
    ViewerCore core(f.path());
    const double s = core.scale();
    const std::vector<DrawCall> calls = paint(core);

    // The curve arrives as 25 points of the quadratic Bezier through its three points.
    const DrawCall* curve = nullptr;
    const DrawCall* wire = nullptr;
    for (const DrawCall& d : calls) {
        if (d.kind == DrawCall::Polyline && d.points.size() == 25) curve = &d;
        if (d.kind == DrawCall::Polyline && d.points.size() == 2) wire = &d;
    }
    ASSERT_NE(curve, nullptr);
    const schematic::Point p0 = curve->points[0];
    EXPECT_NEAR(curve->points[24].x - p0.x, 100 * s, 1e-9);
    EXPECT_NEAR(curve->points[24].y, p0.y, 1e-9);
    EXPECT_NEAR(curve->points[12].x - p0.x, 50 * s, 1e-9);
    EXPECT_NEAR(p0.y - curve->points[12].y, 50 * s, 1e-9);  // y up: half of the control's 100
    EXPECT_FALSE(curve->closed);
    EXPECT_EQ(curve->fill, 0u);
    EXPECT_EQ(curve->stroke, 0xFFE4E70Cu);  // symbols, 0x0CE7E4
    EXPECT_NEAR(curve->width, std::max(5 * s, 0.8), 1e-6);

    // The ellipse's two corners become the box of an unfilled ellipse.
    const auto ellipses = callsOf(calls, DrawCall::Ellipse);
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_NEAR(ellipses[0]->box.x1 - ellipses[0]->box.x0, 20 * s, 1e-9);
    EXPECT_NEAR(ellipses[0]->box.y1 - ellipses[0]->box.y0, 40 * s, 1e-9);
    EXPECT_NEAR(ellipses[0]->box.x0, p0.x - 10 * s, 1e-9);
    EXPECT_EQ(ellipses[0]->fill, 0u);

    ASSERT_NE(wire, nullptr);
    EXPECT_EQ(wire->stroke, 0xFF2CE509u);

    // Pin names: anchor 1 ends at its point (right-aligned), anchor 0 starts there.
    const auto texts = callsOf(calls, DrawCall::Text);
    const DrawCall* in = nullptr;
    const DrawCall* out = nullptr;
    for (const DrawCall* t : texts) {
        if (t->text == "IN") in = t;
        if (t->text == "OUT") out = t;
    }
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(in->style.align, 0);
    EXPECT_EQ(out->style.align, 2);
    EXPECT_NEAR(out->style.height, 32 * s, 1e-4);
    EXPECT_EQ(out->style.angle, 0);
    EXPECT_EQ(out->style.boxWidth, 0);
    EXPECT_EQ(out->stroke, 0xFF1AE9FFu);

    // The light theme tones the colours down.
    core.setDark(false);
    for (const DrawCall& d : paint(core)) {
        if (d.kind != DrawCall::Polyline) continue;
        EXPECT_EQ(d.stroke, d.points.size() == 2 ? 0xFF27A210u : 0xFFA2A412u);
    }

    // Masks: the wire layer alone draws the wire alone; small texts are left out.
    core.setVisibleLayers(2);
    const std::vector<DrawCall> wiresOnly = paint(core);
    ASSERT_EQ(wiresOnly.size(), 1u);
    EXPECT_EQ(wiresOnly[0].points.size(), 2u);
    core.setVisibleLayers(0x1FFF);
    zoomTo(core, 3.2 / 24);
    for (const DrawCall& d : paint(core)) {
        if (d.kind == DrawCall::Text) {
            EXPECT_GE(d.style.height, 3.3);
        }
    }
    core.setVisibleLayers(0);
    EXPECT_TRUE(paint(core).empty());
}

}  // namespace
