#include <gtest/gtest.h>

#include <string>

#include "schematic/palette.h"
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

std::unique_ptr<TempFile> asciiFile(const std::string& body) {
    const std::string s = "ACCEL_ASCII \"t.sch\"\n(asciiHeader (fileUnits mm))\n"
                          "(schematicDesign \"D\"\n(schDesignHeader (workspaceSize 100 80))\n"
                          "(sheet \"S\" " + body + "))\n";
    return std::make_unique<TempFile>(std::vector<std::uint8_t>(s.begin(), s.end()), ".sch");
}

std::vector<DrawCall> paint(const ViewerCore& core) {
    RecordingTarget t;
    core.paint(t);
    return t.calls;
}

TEST(ScreenPalette, PcadClassesLayersAndOrder) {
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

    pcad::Page page;
    page.lines = {{0, 0, 1, 1, 0.1f, 2}, {0, 0, 1, 1, 0.1f, 4}, {0, 0, 1, 1, 0.1f, 5},
                  {0, 0, 1, 1, 0.1f, 9}};
    page.circles = {{0, 0, 1, 0, 10, 0}, {0, 0, 1, 0, 10, 1}};
    EXPECT_EQ(schematic::drawOrderKey(page, {0, 0}), 2);
    EXPECT_EQ(schematic::drawOrderKey(page, {0, 1}), 4);
    EXPECT_EQ(schematic::drawOrderKey(page, {0, 2}), 6);
    EXPECT_EQ(schematic::drawOrderKey(page, {0, 3}), 6);
    EXPECT_EQ(schematic::drawOrderKey(page, {1, 0}), 12);
    EXPECT_EQ(schematic::drawOrderKey(page, {1, 1}), 15);
    EXPECT_EQ(schematic::drawOrderKey(page, {2, 0}), 20);
}

TEST(ScreenPalette, ThemeColours) {
    using schematic::schDocThemeColour;
    using schematic::sbkThemeColour;
    EXPECT_EQ(schDocThemeColour(0xFF000000u, true), 0xFF787878u);
    EXPECT_EQ(schDocThemeColour(0xFF6E0000u, true), 0xFF6E0000u);
    EXPECT_EQ(schDocThemeColour(0xFF000000u, false), 0xFF000000u);
    EXPECT_EQ(schDocThemeColour(0x00102030u, true), 0x00586878u); // alpha kept, brightest 120
    EXPECT_EQ(schDocThemeColour(0xFF00FF6Du, true), 0xFF00FF6Du);
    EXPECT_EQ(sbkThemeColour(0x09E52C, true), 0xFF2CE509u);
    EXPECT_EQ(sbkThemeColour(0x09E52C, false), 0xFF27A210u);
    EXPECT_EQ(sbkThemeColour(0xFFFFFF, false), 0xFFB4B4B4u);
    EXPECT_EQ(sbkThemeColour(0x000000, false), 0xFF0A0A0Au);
}

TEST(PaintPcad, OrderColoursMaskAndSizes) {
    // Query order: a class-7 attribute (text layer), a symbol line, a filled dot, an open circle.
    const auto f = asciiFile(
        "(wire (line (pt 10 10) (pt 20 10) (width 0.1)))"
        "(line (pt 10 20) (pt 20 20) (width 1))"
        "(junction (pt 30 30))"
        "(arc (pt 40 40) (radius 2))"
        "(text (pt 50 50) \"label\")");
    ViewerCore core(f->path());
    std::vector<DrawCall> calls = paint(core);
    ASSERT_GE(calls.size(), 4u);
    // Lines first (class order), then circles/arcs, texts last.
    std::size_t lastLine = 0, firstText = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind == DrawCall::Polyline) lastLine = i;
        if (calls[i].kind == DrawCall::Text && firstText == calls.size()) firstText = i;
    }
    EXPECT_LT(lastLine, firstText);
    ASSERT_LT(firstText, calls.size());
    EXPECT_EQ(calls[firstText].text, "label");
    EXPECT_EQ(calls[firstText].style.align, 0);
    EXPECT_GE(calls[firstText].style.height, 4);
    EXPECT_GT(calls[firstText].style.boxWidth, 0);
    EXPECT_EQ(calls[firstText].stroke, schematic::pcadItemColour(6, true));

    // The 0.1-wide wire is 0.91 pixels at scale 9.1: drawn 1 wide, in the wire colour.
    bool sawWire = false;
    for (const DrawCall& c : calls) {
        if (c.kind == DrawCall::Polyline && c.stroke == schematic::pcadItemColour(4, true)) {
            sawWire = true;
            EXPECT_DOUBLE_EQ(c.width, 1.0);
            EXPECT_FALSE(c.closed);
        }
    }
    EXPECT_TRUE(sawWire);
    // The junction is a filled dot, drawn after every open circle.
    int lastOpen = -1, firstFilled = -1;
    for (int i = 0; i < static_cast<int>(calls.size()); ++i) {
        if (calls[i].kind != DrawCall::Ellipse) continue;
        if (calls[i].fill == 0) lastOpen = i;
        else if (firstFilled < 0) firstFilled = i;
    }
    ASSERT_GE(firstFilled, 0);
    EXPECT_LT(lastOpen, firstFilled);

    // The light theme changes the colours.
    core.setDark(false);
    for (const DrawCall& c : paint(core)) {
        if (c.kind == DrawCall::Text) EXPECT_EQ(c.stroke, schematic::pcadItemColour(6, false));
    }

    // Without the text layer nothing of classes 6..9 is drawn; with bit 8 alone only wires.
    core.setVisibleLayers(0x3F & ~32u);
    for (const DrawCall& c : paint(core)) EXPECT_NE(c.kind, DrawCall::Text);
    core.setVisibleLayers(8);
    calls = paint(core);
    ASSERT_FALSE(calls.empty());
    for (const DrawCall& c : calls) EXPECT_EQ(c.stroke, schematic::pcadItemColour(4, false));
    core.setVisibleLayers(0);
    EXPECT_TRUE(paint(core).empty());
}

TEST(PaintPcad, SmallTextsAreSkippedAndOffscreenItemsCulled) {
    const auto f = asciiFile("(text (pt 50 50) \"tiny\") (line (pt 90 70) (pt 95 75))");
    ViewerCore core(f->path());
    core.zoomAt(0, 0, 0.01); // texts now far below 3 pixels
    for (const DrawCall& c : paint(core)) EXPECT_NE(c.kind, DrawCall::Text);
    core.fitToView();
    core.pan(-100000, 0); // the page is far off to the left
    EXPECT_TRUE(paint(core).empty());
}

TEST(PaintSchDoc, PrimitivesThroughTheTransform) {
    kgtest::SchDocBuilder b;
    b.add("|RECORD=27|LOCATIONCOUNT=3|X1=0|Y1=0|X2=100|Y2=0|X3=100|Y3=100|COLOR=0");
    TempFile f(b.image().bytes, ".SchDoc");
    ViewerCore core(f.path());
    std::vector<DrawCall> calls = paint(core);
    const DrawCall* wire = nullptr;
    for (const DrawCall& c : calls) {
        if (c.kind == DrawCall::Polyline && c.points.size() == 3) wire = &c;
    }
    ASSERT_NE(wire, nullptr);
    // y runs downwards on a SchDoc sheet, and the sheet's y is flipped by the reader.
    EXPECT_NEAR(wire->points[1].x - wire->points[0].x, 100 * core.scale(), 1e-9);
    EXPECT_NEAR(std::abs(wire->points[2].y - wire->points[1].y), 100 * core.scale(), 1e-9);
    EXPECT_GE(wire->width, 0.65);
    EXPECT_FALSE(wire->closed);
    const std::uint32_t darkStroke = wire->stroke;
    core.setDark(false);
    for (const DrawCall& c : paint(core)) {
        if (c.kind == DrawCall::Polyline && c.points.size() == 3) {
            EXPECT_EQ(schematic::schDocThemeColour(c.stroke, true), darkStroke);
        }
    }
    core.setVisibleLayers(0x1F & ~2u); // wires hidden
    for (const DrawCall& c : paint(core)) EXPECT_NE(c.points.size(), 3u);
}

TEST(PaintSbk, AdapterShapesAndColours) {
    kgtest::CircuitBuilder c;
    c.wire(5, {{0, 0}, {1000, 0}, {1000, 1000}});
    kgtest::SbkFileBuilder b;
    b.addPage(c.bytes());
    TempFile f(b.bytes(), ".sbk");
    ViewerCore core(f.path());
    std::vector<DrawCall> calls = paint(core);
    ASSERT_FALSE(calls.empty());
    const DrawCall* wire = nullptr;
    for (const DrawCall& d : calls) {
        if (d.kind == DrawCall::Polyline && d.points.size() == 3) wire = &d;
    }
    ASSERT_NE(wire, nullptr);
    EXPECT_EQ(wire->stroke >> 24, 0xFFu);
    EXPECT_EQ(wire->fill, 0u);
    EXPECT_NEAR(wire->points[0].y - wire->points[2].y, 1000 * core.scale(), 1e-6); // y up
    core.setDark(false);
    for (const DrawCall& d : paint(core)) {
        if (d.kind == DrawCall::Polyline && d.points.size() == 3) EXPECT_NE(d.stroke, wire->stroke);
    }
    core.setVisibleLayers(0);
    EXPECT_TRUE(paint(core).empty());
}

} // namespace
