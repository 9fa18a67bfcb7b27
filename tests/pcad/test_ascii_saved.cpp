// The ASCII reader on the forms P-CAD itself saves: units inside values, mil files, pins,
// centre-first arcs, flipped symbols, several-part components and notes of several lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pcad/ascii.h"
#include "pcad/page.h"
#include "pcad/svg.h"
#include "support/pcad_ascii_builder.h"

namespace {

using kgtest::PcadAsciiBuilder;
using pcad::Page;

std::vector<Page> read(const PcadAsciiBuilder& b) {
    const std::vector<std::uint8_t> bytes = b.bytes();
    return pcad::readAscii(bytes.data(), bytes.size());
}

Page sheetOf(const std::string& units, const std::string& library, const std::string& body) {
    PcadAsciiBuilder b(units);
    b.library = library;
    b.sheet(body);
    return read(b).at(0);
}

std::vector<std::string> strings(const Page& p) {
    std::vector<std::string> out;
    for (const pcad::Text& t : p.texts) out.push_back(t.text);
    return out;
}

constexpr double kMil = 0.0254;

TEST(AsciiSaved, UnitsInsideValuesAndSizesOfMilFiles) {
    const Page mil =
        sheetOf("Mil", "(textStyleDef \"P\" (font (fontHeight 1.74 mm) (strokeWidth 0.2 mm)))",
                "(text (pt 25.4mm 10 mil) \"a\" (textStyleRef \"P\") (extent 1.27 mm 2.54MM))"
                "(text (pt 0 0) \"5mm\") (line (pt 0 0) (pt 10 0)) (junction (pt 0 0))"
                "(port (pt 0 0) (netNameRef \"N\")) (triplePointArc (pt 0 0) (pt 1 1) (pt 1 1))");
    ASSERT_EQ(mil.texts.size(), 3u);
    const pcad::Text& a = mil.texts[0];
    EXPECT_DOUBLE_EQ(a.x, 1000);
    EXPECT_EQ(a.y, 10);
    EXPECT_FLOAT_EQ(a.height, static_cast<float>(1.74 / kMil));
    EXPECT_DOUBLE_EQ(a.extentWidth, 50);  // the unit atoms are not elements
    EXPECT_DOUBLE_EQ(a.extentHeight, 100);
    EXPECT_EQ(mil.texts[1].text, "5mm");  // a quoted string is no number
    EXPECT_FLOAT_EQ(mil.texts[1].height, static_cast<float>(2.7 / kMil));
    EXPECT_FLOAT_EQ(mil.texts[2].height, static_cast<float>(2.6 / kMil));
    EXPECT_FLOAT_EQ(mil.lines.at(0).width, static_cast<float>(0.25 / kMil));
    ASSERT_EQ(mil.circles.size(), 2u);
    EXPECT_FLOAT_EQ(mil.circles[0].diameter, static_cast<float>(0.9 / kMil));
    EXPECT_FLOAT_EQ(mil.circles[1].diameter, static_cast<float>(0.7 / kMil));

    const Page mm = sheetOf("mm", "", "(line (pt 100mil 1) (pt 2 3 MIL) (width 1 mm)) (junction (pt 0 0))");
    EXPECT_DOUBLE_EQ(mm.lines.at(0).x1, 100 * kMil);
    EXPECT_DOUBLE_EQ(mm.lines[0].y2, 3 * kMil);
    EXPECT_EQ(mm.lines[0].width, 1.0f);
    EXPECT_EQ(mm.circles.at(0).diameter, 0.9f);

    // Without a file unit numbers stay as written.
    const Page plain = sheetOf("", "", "(text (pt 5mil 1) \"t\" (extent 3 mm 4 mm))");
    EXPECT_EQ(plain.texts.at(0).x, 5);
    EXPECT_EQ(plain.texts[0].extentHeight, 4);
    EXPECT_EQ(plain.texts[0].height, 2.7f);
}

TEST(AsciiSaved, PinStrokesNumbersAndNames) {
    const std::string lib =
        "(symbolDef \"P\""
        " (pin (pt 0 0) (pinLength 100) (pinDes (text (pt 0 0) \"1\")))"
        " (pin (pt 0 0) (rotation 90) (pinLength 100) (isFlipped True)"
        "  (pinDisplay (dispPinDes False) (dispPinName True)) (pinDes (text (pt 0 0) \"2\"))"
        "  (pinName (text (pt 0 0) \"N\")))"
        " (pin (pt 0 0) (rotation 180) (pinLength 2.54 mm) (pinDisplay (dispPinName False))"
        "  (pinName (text (pt 0 0) \"hidden\")) (pinDes (text (pt 0 0) \"3\")))"
        " (pin (pt 0 0) (rotation 270)) (pin (rotation 90)))";
    const Page p = sheetOf("Mil", lib,
                           "(symbol (symbolRef \"P\") (pt 1000 2000))"
                           "(symbol (symbolRef \"P\") (pt 0 0) (rotation 90) (isFlipped True))");
    ASSERT_EQ(p.lines.size(), 8u);  // a pin without a point has no stroke
    const double ends[4][2] = {{1100, 2000}, {1000, 2100}, {900, 2000}, {1000, 1700}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(p.lines[i].x1, 1000);
        EXPECT_EQ(p.lines[i].y1, 2000);
        EXPECT_DOUBLE_EQ(p.lines[i].x2, ends[i][0]) << i;
        EXPECT_DOUBLE_EQ(p.lines[i].y2, ends[i][1]) << i;
        EXPECT_EQ(p.lines[i].itemClass, pcad::ClassSymbolGraphics);
        EXPECT_FLOAT_EQ(p.lines[i].width, static_cast<float>(0.25 / kMil));
    }
    // Mirrored, then turned a quarter: +x becomes -y.
    EXPECT_NEAR(p.lines[4].x2, 0, 1e-9);
    EXPECT_NEAR(p.lines[4].y2, -100, 1e-9);
    EXPECT_EQ(strings(p), (std::vector<std::string>{"1", "N", "3", "1", "N", "3"}));

    // 300 mil is 7.62 mm.
    const Page mm =
        sheetOf("mm", "(symbolDef \"P\" (pin (pt 0 0) (rotation 270)))", "(symbol (symbolRef \"P\"))");
    EXPECT_DOUBLE_EQ(mm.lines.at(0).y2, -7.62);
}

TEST(AsciiSaved, FlippedAndUpsideDownTexts) {
    const std::string lib =
        "(symbolDef \"T\" (text (pt 0 0) \"plain\" (justify Left))"
        " (text (pt 0 0) \"own\" (isFlipped True))"
        " (text (pt 0 0) \"turned\" (rotation 180) (justify UpperLeft)))";
    const Page p =
        sheetOf("", lib,
                "(symbol (symbolRef \"T\")) (symbol (symbolRef \"T\") (isFlipped True))"
                "(symbol (symbolRef \"T\") (rotation 90)) (text (pt 10 20) \"up\" (justify UpperRight))");
    ASSERT_EQ(p.texts.size(), 10u);
    const std::uint8_t justify[9] = {pcad::JustifyLeft,  pcad::JustifyLowerRight, pcad::JustifyLowerRight,
                                     pcad::JustifyRight, pcad::JustifyLowerLeft,  pcad::JustifyLowerLeft,
                                     pcad::JustifyLeft,  pcad::JustifyLowerRight, pcad::JustifyUpperLeft};
    const float rotation[9] = {0, 0, 0, 0, 0, 0, 90, 90, 270};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(p.texts[i].justify, justify[i]) << i;
        EXPECT_EQ(p.texts[i].rotation, rotation[i]) << i;
        EXPECT_EQ(p.texts[i].itemClass, pcad::ClassAttributeText);
    }
    // Upper right: the box hangs below and to the left of the anchor.
    const pcad::Rect up = pcad::textBounds(p.texts[9]);
    EXPECT_DOUBLE_EQ(up.maxX, 10);
    EXPECT_DOUBLE_EQ(up.maxY, 20);
    EXPECT_NEAR(up.minY, 20 - 2.7, 1e-6);
}

TEST(AsciiSaved, ArcsPolygonsAndPorts) {
    const Page p =
        sheetOf("", "(symbolDef \"G\" (poly (pt 0 0) (pt 1 0)) (arc (pt 0 0) (radius 1) (sweepAngle 30)))",
                "(triplePointArc (pt 10 10) (pt 20 10) (pt 10 20.05))"
                "(arc (pt 0 0) (radius 5) (startAngle 90) (sweepAngle -180) (width 0.1))"
                "(arc (pt 0 0) (radius 0) (sweepAngle 90)) (poly (pt 0 0) (pt 4 0) (pt 0 3))"
                "(symbol (symbolRef \"G\"))"
                "(port (pt 0 0) (netNameRef \"R\")) (port (pt 0 0) (netNameRef \"L\") (isFlipped True))"
                "(port (pt 0 0) (netNameRef \"L\") (rotation 180))"
                "(port (pt 0 0) (netNameRef \"R\") (rotation 180) (isFlipped True))");
    // Centre first: a counter-clockwise quarter about (10, 10) from the second point.
    ASSERT_EQ(p.lines.size(), 28u + 56u + 3u + 1u + 9u);
    EXPECT_EQ(p.lines[0].x1, 20);
    EXPECT_EQ(p.lines[0].y1, 10);
    EXPECT_NEAR(p.lines[27].x2, 10, 1e-9);
    EXPECT_NEAR(p.lines[27].y2, 20, 1e-9);
    EXPECT_GT(p.lines[13].x2, 10);
    // Clockwise half turn from the top, through (5, 0).
    EXPECT_NEAR(p.lines[28].x1, 0, 1e-9);
    EXPECT_NEAR(p.lines[28].y1, 5, 1e-9);
    EXPECT_NEAR(p.lines[55].x2, 5, 0.03);
    EXPECT_NEAR(p.lines[83].y2, -5, 1e-9);
    EXPECT_EQ(p.lines[28].width, 0.1f);
    // The triangle is closed.
    EXPECT_EQ(p.lines[86].x1, 0);
    EXPECT_EQ(p.lines[86].y1, 3);
    EXPECT_EQ(p.lines[86].y2, 0);
    EXPECT_EQ(p.lines[86].itemClass, pcad::ClassSheetGraphics);
    EXPECT_EQ(p.lines[87].itemClass, pcad::ClassSymbolGraphics);
    EXPECT_EQ(p.lines[88].itemClass, pcad::ClassSymbolGraphics);

    ASSERT_EQ(p.texts.size(), 4u);
    for (const pcad::Text& t : p.texts)
        EXPECT_EQ(t.justify, t.text == "L" ? pcad::JustifyLowerRight : pcad::JustifyLowerLeft);
}

TEST(AsciiSaved, ReferencesOfPartsAndTypes) {
    PcadAsciiBuilder b("mm");
    b.library =
        "(symbolDef \"U\" (attr \"RefDes\" \"\" (pt 0 0) (isVisible True))"
        " (attr \"Type\" \"\" (pt 0 5) (isVisible True)))"
        "(compDef \"CPLD_1\" (compHeader (numParts 2))) (compDef \"ONE\" (compHeader (numParts 1)))"
        "(compDef \"OPAMP\" (compHeader (numParts 2) (numType Numeric)))";
    b.netlist =
        "(compInst \"CPLD\" (compRef \"CPLD_1\") (originalName \"CPLD\")) (compInst \"DA5\" (compRef "
        "\"OPAMP\"))"
        "(compInst \"R1\" (compRef \"ONE\"))";
    b.sheet(
        "(symbol (symbolRef \"U\") (refDesRef \"CPLD\") (partNum 1))"
        "(symbol (symbolRef \"U\") (refDesRef \"DA5\") (partNum 1))"
        "(symbol (symbolRef \"U\") (refDesRef \"CPLD\") (partNum 2))"
        "(symbol (symbolRef \"U\") (refDesRef \"R1\") (partNum 1))");
    EXPECT_EQ(strings(read(b).at(0)),
              (std::vector<std::string>{"CPLD:A", "CPLD", "DA5:1", "OPAMP", "CPLD:B", "CPLD", "R1", "ONE"}));
}

TEST(AsciiSaved, NotesOfSeveralLines) {
    PcadAsciiBuilder b("mm");
    b.header = "(workspaceSize 100 80)";
    b.sheet("(text (pt 10 10) \"one\\r\\ntwo\\nthree\") (text (pt 10 50) \"C:\\temp\")");
    const Page p = read(b).at(0);
    ASSERT_EQ(p.texts.size(), 2u);
    EXPECT_EQ(p.texts[0].text, "one\ntwo\nthree");
    EXPECT_EQ(p.texts[1].text, "C:\\temp");
    const pcad::Rect box = pcad::textBounds(p.texts[0]);
    EXPECT_NEAR(box.maxY - box.minY, 3 * 2.7, 1e-5);
    EXPECT_NEAR(box.maxX - box.minX, 5 * 2.7 * 0.33, 1e-5);  // the longest line

    // Stacked in three rows of the box; "one" and "two" take three fifths of its width.
    const std::string svg = pcad::renderSvg(p, 2, false);
    EXPECT_NE(svg.find("<g transform=\"translate(0.000,0.000) scale(0.600,0.333)\"><text transform=\"scale("
                       "0.641,1)\" x=\"0\" y=\"84\""),
              std::string::npos);
    EXPECT_NE(svg.find("<g transform=\"translate(0.000,66.667) scale(1.000,0.333)\">"), std::string::npos);
    EXPECT_NE(svg.find(">three</text></g></svg>"), std::string::npos);
}

}  // namespace
