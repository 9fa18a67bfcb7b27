#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "pcad/ascii.h"
#include "pcad/page.h"
#include "pcad/svg.h"
#include "tests/pcad/page_grid_access.h"

namespace {

using pcad::Page;

std::vector<Page> read(const std::string& s) {
    return pcad::readAscii(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::string readError(const std::string& s) {
    try {
        read(s);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

std::string file(const std::string& library, const std::string& netlist, const std::string& design) {
    return "ACCEL_ASCII \"t.sch\"\n(asciiHeader (fileUnits mm))\n(library \"L\"\n" + library +
           ")\n(netlist \"N\"\n" + netlist + ")\n(schematicDesign \"D\"\n" + design + ")\n";
}

std::string sheet(const std::string& body) { return file("", "", "(sheet \"S\" " + body + ")"); }

TEST(AsciiReader, RefusedFiles) {
    EXPECT_EQ(readError("ACCEL_ASCIIX (schematicDesign (sheet \"a\"))"), "Not ACCEL_ASCII format");
    EXPECT_EQ(readError("(ACCEL_ASCII) (schematicDesign (sheet \"a\"))"), "Not ACCEL_ASCII format");
    EXPECT_EQ(readError("ACCEL_ASCII (library)"), "Missing schematicDesign");
    EXPECT_EQ(readError(file("", "", "(sheetList (sheetRef 1))")), "ASCII file has no sheets");
    EXPECT_EQ(readError("NOT_ASCII (schematicDesign"), "Unclosed ASCII expression");

    std::string many = "ACCEL_ASCII (schematicDesign";
    for (int i = 0; i < 1001; ++i) many += " (sheet)";
    EXPECT_EQ(readError(many + ")"), "ASCII file has too many sheets");
}

TEST(AsciiReader, SheetNamesNumbersAndSize) {
    const std::vector<Page> pages =
        read(file("", "",
                  "(schDesignHeader (workspaceSize 1000 500.5mm))"
                  "(sheet \"Main\" (sheetNum 7)) (sheet) (sheet \"\") (sheet (sheetNum 4))"));
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages[0].name, "Main");
    EXPECT_EQ(pages[1].name, "Sheet 2");
    EXPECT_EQ(pages[2].name, "Sheet 3");
    EXPECT_EQ(pages[3].name, "Sheet 4");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages[i].number, i + 1);
        EXPECT_EQ(pages[i].width, 1000);
        EXPECT_EQ(pages[i].height, 500.5);
        EXPECT_EQ(pages[i].originX, 0);
        EXPECT_GT(pcad::PageGridAccess::cols(pages[i]), 0);  // indexed
    }

    const Page one = read(file("", "", "(schDesignHeader (workspaceSize 1000)) (sheet)"))[0];
    EXPECT_EQ(one.width, 421);
    EXPECT_EQ(one.height, 298);
    const Page bad = read(file("", "", "(schDesignHeader (workspaceSize 600 x)) (sheet)"))[0];
    EXPECT_EQ(bad.width, 600);
    EXPECT_EQ(bad.height, 298);
}

TEST(AsciiReader, TextStyleHeights) {
    const std::string lib =
        "(textStyleDef \"NoHeight\" (font (fontType Stroke)))"
        "(textStyleDef \"Tiny\" (font (fontHeight 0.5)))"
        "(textStyleDef \"Mixed\" (font (fontType Stroke) (fontHeight 3))"
        "  (font (fontType TrueType) (fontHeight 2)) (font (fontType Stroke) (fontHeight 9)))"
        "(textStyleDef \"Stroke\" (font (fontHeight 3)) (font (fontHeight 9)))"
        "(textStyleDef \"NoFont\")"
        "(textStyleDef \"Twice\" (font (fontHeight 5)))"
        "(textStyleDef \"Twice\" (font (fontHeight 6)))";
    std::string body;
    for (const char* style : {"NoHeight", "Tiny", "Mixed", "Stroke", "NoFont", "Twice"})
        body += std::string("(text (pt 1 1) \"t\" (textStyleRef \"") + style + "\"))";
    const Page p = read(file(lib, "", "(sheet \"S\" " + body + ")"))[0];
    ASSERT_EQ(p.texts.size(), 6u);
    EXPECT_EQ(p.texts[0].height, 2.8f);
    EXPECT_EQ(p.texts[1].height, 0.7f);
    EXPECT_EQ(p.texts[2].height, 2.0f);
    EXPECT_EQ(p.texts[3].height, 3.0f);
    EXPECT_EQ(p.texts[4].height, 2.7f);
    EXPECT_EQ(p.texts[5].height, 6.0f);
}

TEST(AsciiReader, TitleSheetOnEveryPage) {
    const std::string design =
        "(schDesignHeader (designInfo (fieldSet \"(Default)\" (fieldDef \"Title\" \"Board\")"
        "  (fieldDef \"Empty\" \"\"))))"
        "(titleSheet \"\" (line (pt 0 0) (pt 10 0)) (text (pt 1 1) \"Rev\")"
        "  (field \"Title\" (pt 5 5)) (field \"Missing\" (pt 5 5)) (field \"Empty\" (pt 5 5))"
        "  (triplePointArc (pt 1 0) (pt 0 1) (pt -1 0)))"
        "(sheet \"A\" (text (pt 2 2) \"own\")) (sheet \"B\")";
    const std::vector<Page> pages = read(file("", "", design));
    ASSERT_EQ(pages.size(), 2u);
    for (const Page& p : pages) {
        ASSERT_EQ(p.lines.size(), 1u);
        EXPECT_EQ(p.lines[0].itemClass, pcad::ClassFrame);
        ASSERT_GE(p.texts.size(), 2u);
        EXPECT_EQ(p.texts[0].text, "Rev");
        EXPECT_EQ(p.texts[1].text, "Board");
        EXPECT_EQ(p.texts[1].itemClass, pcad::ClassTitleText);
        EXPECT_EQ(p.texts[1].x, 5);
    }
    ASSERT_EQ(pages[0].texts.size(), 3u);  // the title before the sheet's own text
    EXPECT_EQ(pages[0].texts[2].text, "own");
    EXPECT_EQ(pages[1].texts.size(), 2u);
}

TEST(AsciiReader, SheetItems) {
    const Page p = read(
        sheet("(wire (line (pt 0 0) (pt 5 0) (width 0.3)) (line (pt 5 0) (pt 5 5)) (text (pt 0 0) \"n\"))"
              "(line (pt 1 1) (pt 2 2) (pt 3 3))"
              "(text (pt 3 4) \"note\" (rotation 45))"
              "(junction (pt 5 0) (netNameRef \"A\"))"
              "(triplePointArc (pt 1 0) (pt 0 1) (pt -1 0))"
              "(bus \"B\" (pt 0 0) (pt 9 9)) (poly (pt 0 0) (pt 1 0) (pt 0 1)) (arc (pt 0 0) (radius 1))"
              "((line (pt 0 0) (pt 1 1))) ()"
              "(port (pt 7 8) (portName \"P\") (netNameRef \"N\"))"
              "(port (pt 7 8) (netNameRef \"N\") (rotation 90))"
              "(port (pt 7 8) (portName \"\") (netNameRef \"N\"))"
              "(port (pt 7 8) (portName) (netNameRef \"Fallback\"))"
              "(port (pt 7 8))"))[0];

    ASSERT_EQ(p.lines.size(), 2u + 1u + 56u + 3u);  // wires, line, arc, closed poly
    EXPECT_EQ(p.lines[1].itemClass, pcad::ClassWire);
    EXPECT_EQ(p.lines[2].itemClass, pcad::ClassSheetGraphics);
    EXPECT_EQ(p.lines[3].itemClass, pcad::ClassSheetGraphics);

    ASSERT_EQ(p.circles.size(), 1u);
    EXPECT_EQ(p.circles[0].diameter, 0.9f);
    EXPECT_EQ(p.circles[0].itemClass, pcad::ClassJunction);
    EXPECT_EQ(p.circles[0].filled, 1);

    ASSERT_EQ(p.texts.size(), 4u);
    EXPECT_EQ(p.texts[0].text, "note");
    EXPECT_EQ(p.texts[0].itemClass, pcad::ClassFreeText);
    EXPECT_EQ(p.texts[0].rotation, 45.0f);
    const char* labels[] = {"P", "N", "Fallback"};
    for (int i = 0; i < 3; ++i) {
        const pcad::Text& t = p.texts[1 + i];
        EXPECT_EQ(t.text, labels[i]);
        EXPECT_EQ(t.itemClass, pcad::ClassPortLabel);
        EXPECT_EQ(t.height, 2.6f);
        EXPECT_EQ(t.y, 8);
    }
    EXPECT_EQ(p.items.size(), p.lines.size() + p.circles.size() + p.texts.size());
}

TEST(AsciiReader, NonFiniteNumbersNeverReachTheSvg) {
    const Page p = read(file("(textStyleDef \"Huge\" (font (fontHeight 1e400)))", "",
                             "(sheet \"S\" (line (pt 0 0) (pt 1e400 1)) (line (pt 0 0) (pt 5 5) (width NaN))"
                             "(junction (pt Infinity 0)) (port (pt 1 nan) (netNameRef \"N\"))"
                             "(text (pt 5 5) \"big\" (textStyleRef \"Huge\")))"))[0];
    EXPECT_EQ(p.lines.size(), 1u);
    EXPECT_TRUE(p.circles.empty());
    ASSERT_EQ(p.texts.size(), 1u);
    EXPECT_EQ(p.texts[0].height, 0.7f);
    const std::string svg = pcad::renderSvg(p, 2, false);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

const std::string kSymbolLibrary =
    "(textStyleDef \"Pin\" (font (fontHeight 1.5)))"
    "(symbolDef \"AND\""
    "  (line (pt 0 0) (pt 10 0))"
    "  (triplePointArc (pt 1 0) (pt 0 1) (pt -1 0))"
    "  (pin (pt 0 0) (pinDisplay (dispPinDes True) (dispPinName False))"
    "    (pinDes (text (pt 1 2) \"1\" (textStyleRef \"Pin\") (rotation 10)))"
    "    (pinName (text (pt 3 4) \"A\")))"
    "  (pin (pinDisplay (dispPinName True)) (pinName (text (pt 5 6) \"B\")))"
    "  (pin (pinDisplay (dispPinName True)) (pinName))"
    "  (attr \"Value\" \"\" (pt 0 -5) (isVisible True))"
    "  (attr \"RefDes\" \"X?\" (pt 0 5) (isVisible False))"
    "  (attr \"Type\" \"\" (pt 0 -9) (isVisible True))"
    "  (attr \"Note\" \"hidden\" (pt 0 0) (isVisible true))"
    "  (attr \"Extra\" \"no point\" (isVisible True))"
    "  (attr \"Comment\" \"shown\" (pt 2 2) (isVisible True) (justify Right)))";

const std::string kNetlist = "(compInst \"U1\" (compRef \"AND_GATE\") (compValue \"74HC08\"))";

TEST(AsciiReader, SymbolInstances) {
    const Page p = read(
        file(kSymbolLibrary, kNetlist,
             "(sheet \"S\""
             "  (symbol (symbolRef \"AND\") (refDesRef \"U1\") (pt 100 50) (rotation 90) (isFlipped True)"
             "    (attr \"RefDes\" \"ignored\" (pt 0 5) (isVisible True)))"
             "  (symbol (symbolRef \"NONE\") (refDesRef \"U1\") (pt 0 0))"
             "  (symbol (symbolRef \"AND\") (refDesRef \"U9\") (pt 0 0) (isFlipped true)"
             "    (attr \"RefDes\" \"\" (pt 0 5) (isVisible True))))"))[0];

    // Each instance of the definition: one line, a 56-segment arc and the stroke of the one
    // pin that has a point.
    ASSERT_EQ(p.lines.size(), 2u * 58u);
    EXPECT_EQ(p.lines[0].itemClass, pcad::ClassSymbolGraphics);
    EXPECT_NEAR(p.lines[0].x1, 100, 1e-9);
    EXPECT_NEAR(p.lines[0].y1, 50, 1e-9);
    EXPECT_NEAR(p.lines[0].x2, 100, 1e-9);  // (10, 0) mirrored and turned: (0, -10)
    EXPECT_NEAR(p.lines[0].y2, 40, 1e-9);
    EXPECT_EQ(p.lines[58].x2, 10);  // not flipped: "true" is not "True"

    std::vector<std::string> first;
    for (const pcad::Text& t : p.texts) first.push_back(t.text);
    const std::vector<std::string> expected = {"1",      "B", "shown", "U1",    "AND_GATE",
                                               "74HC08", "1", "B",     "shown", "U9"};
    EXPECT_EQ(first, expected);

    const pcad::Text& pinDes = p.texts[0];
    EXPECT_EQ(pinDes.itemClass, pcad::ClassPinText);
    EXPECT_EQ(pinDes.height, 1.5f);
    EXPECT_NEAR(pinDes.rotation, 100.0f, 1e-4);
    EXPECT_NEAR(pinDes.x, 98, 1e-9);  // (1, 2) mirrored and turned: (-2, -1)
    EXPECT_NEAR(pinDes.y, 49, 1e-9);
    const pcad::Text& refDes = p.texts[3];
    EXPECT_EQ(refDes.itemClass, pcad::ClassAttributeText);
    EXPECT_NEAR(refDes.rotation, 90.0f, 1e-4);
    EXPECT_EQ(p.texts[2].justify, 4);  // right-justified, mirrored by the flipped instance
    EXPECT_EQ(p.texts[9].rotation, 0.0f);
}

TEST(AsciiReader, OutputLimits) {
    // 100 full arcs of 113 segments per instance; 450 instances ask for over 5 million.
    std::string lib = "(symbolDef \"ARCS\"";
    for (int i = 0; i < 100; ++i) lib += " (triplePointArc (pt 1 0) (pt -1 0.001) (pt 1 -0.001))";
    lib += ")";
    std::string body;
    for (int i = 0; i < 450; ++i) body += "(symbol (symbolRef \"ARCS\"))";
    EXPECT_EQ(readError(file(lib, "", "(sheet \"S\" " + body + ")")), "ASCII file has too many primitives");

    // A long title text copied onto 900 pages would need 270 MB.
    std::string design = "(titleSheet (text (pt 1 1) \"" + std::string(300000, 'x') + "\"))";
    for (int i = 0; i < 900; ++i) design += "(sheet)";
    EXPECT_EQ(readError(file("", "", design)), "ASCII file has too much text");
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AsciiReader, FeatureTestSample) {
    const std::filesystem::path path =
        std::filesystem::path(KG_TESTDATA) / "pcad-ascii" / "pcad_feature_test.sch";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not present";
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    const std::vector<Page> pages = pcad::readAscii(bytes.data(), bytes.size());

    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].name, "Main");
    EXPECT_EQ(pages[1].name, "IO");
    EXPECT_EQ(pages[0].width, 17000);
    EXPECT_EQ(pages[0].height, 11000);
    // Main: 5 wires, a free line, two quarter arcs of 28 segments, a closed triangle and three
    // symbols: two gates of 151 lines (2 pins, 5 lines, a 113-segment circle, a quarter arc of
    // 28, a triangle) and a ground of 2.
    EXPECT_EQ(pages[0].lines.size(), 369u);
    EXPECT_EQ(pages[0].circles.size(), 2u);
    // Two ports, two notes; each gate its two pin numbers, two pin names and its caption; the
    // ground's pin number.
    EXPECT_EQ(pages[0].texts.size(), 15u);
    EXPECT_EQ(pages[1].lines.size(), 152u);
    EXPECT_EQ(pages[1].circles.size(), 1u);
    EXPECT_EQ(pages[1].texts.size(), 6u);

    for (const Page& p : pages) {
        for (const pcad::Item& item : p.items) {
            EXPECT_GE(item.minX, p.originX) << p.name;
            EXPECT_GE(item.minY, p.originY) << p.name;
            EXPECT_LE(item.maxX, p.originX + p.width) << p.name;
            EXPECT_LE(item.maxY, p.originY + p.height) << p.name;
        }
    }
    // The sheet's quarter arc is written centre first: it runs from its second point to its third.
    EXPECT_EQ(pages[0].lines[338].x1, 3700);
    EXPECT_EQ(pages[0].lines[338].y1, 1000);
    EXPECT_NEAR(pages[0].lines[365].x2, 3500, 1e-6);
    EXPECT_NEAR(pages[0].lines[365].y2, 1200, 1e-6);
    // Millimetre numbers in this mil file are converted.
    EXPECT_NEAR(pages[1].circles[0].x, 1000, 1e-9);
    EXPECT_NEAR(pages[1].lines[0].x2, 2000, 1e-9);
    EXPECT_NEAR(pages[1].lines[0].width, 10, 1e-6);

    const char* out = std::getenv("KG_SVG_OUT");
    if (out != nullptr && *out != '\0') {
        std::filesystem::create_directories(out);
        for (std::size_t i = 0; i < pages.size(); ++i) {
            std::ofstream svg(std::filesystem::path(out) / ("pcad_ascii_" + std::to_string(i + 1) + ".svg"),
                              std::ios::binary);
            svg << pcad::renderSvg(pages[i], 0.2, i == 1);
            EXPECT_TRUE(svg.good());
        }
    }
}

}  // namespace
