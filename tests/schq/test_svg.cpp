// The SVG writer: numbers, colours and escaping, the frame and groups, and whole sheets exactly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "schq/document_state.h"
#include "schq/reader.h"
#include "schq/svg.h"
#include "support/schdoc_builder.h"

namespace {

using schq::formatNumber;
using schq::xmlEscape;

TEST(SchqSvg, NumbersColoursAndEscaping) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> numbers[] = {
        {2.5, "2.5"},        {100, "100"},       {0.1234, "0.123"}, {-1.5, "-1.5"},
        {-0.0004, "0"},      {-0.0, "0"},        {12.5, "12.5"},    {7, "7"},
        {nan, "0"},          {inf, "0"},         {-inf, "0"},       {0.0005, "0.001"},
        {-0.0015, "-0.002"}, {1000.1, "1000.1"}, {10, "10"},        {1e20, "100000000000000000000"},
    };
    for (const auto& [v, text] : numbers) EXPECT_EQ(formatNumber(v), text) << v;
    EXPECT_EQ(formatNumber(1.7976931348623157e308).size(), 309u);

    EXPECT_EQ(schq::svgColour(0xff2c2724), "#24272c");
    EXPECT_EQ(schq::svgColour(0x00FFFFFF), "#ffffff");
    EXPECT_EQ(schq::svgColour(0x12000A0B), "#0b0a00");

    EXPECT_EQ(xmlEscape("A<B & 'C'"), "A&lt;B &amp; &apos;C&apos;");
    EXPECT_EQ(xmlEscape("\"x\">"), "&quot;x&quot;&gt;");
    EXPECT_EQ(xmlEscape("a\rb\tc\nd\x01\x1f\x7f"), "ab\tc\nd\x7f");
    EXPECT_EQ(xmlEscape(std::string("a\0b", 3)), "ab");
    // Valid UTF-8 passes unchanged, whatever its length.
    const std::string valid =
        "\xD0\x90 \xE2\x84\x96 \xEF\xBF\xBD \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBD \xEE\x80\x80";
    EXPECT_EQ(xmlEscape(valid), valid);
    // Invalid sequences become U+FFFD: stray continuation, overlong, surrogate, past U+10FFFF,
    // cut-off sequence, and the two code points that XML cannot hold.
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(xmlEscape("a\x80z"), "a" + r + "z");
    EXPECT_EQ(xmlEscape("\xC0\xAF"), r + r);
    EXPECT_EQ(xmlEscape("\xE0\x80\xAF"), r + r + r);
    EXPECT_EQ(xmlEscape("\xED\xA0\x80"), r + r + r);
    EXPECT_EQ(xmlEscape("\xF4\x90\x80\x80"), r + r + r + r);
    EXPECT_EQ(xmlEscape("\xE2\x84"), r);
    EXPECT_EQ(xmlEscape("\xE2\x84<"), r + "&lt;");
    EXPECT_EQ(xmlEscape("\xF0\x9F\x98"), r);
    EXPECT_EQ(xmlEscape("\xEF\xBF\xBE|\xEF\xBF\xBF"), r + "|" + r);
    EXPECT_EQ(xmlEscape("\xFF\xFE"), r + r);
}

schq::Document handMade(std::vector<schq::Primitive> primitives) {
    schq::Document d;
    schq::Document::State& s = schq::DocumentAccess::state(d);
    s.width = 1150;
    s.height = 760;
    s.primitives = std::move(primitives);
    d.buildIndex();
    return d;
}

TEST(SchqSvg, DocumentFrameAndGroups) {
    const std::string frame =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1150\" height=\"760\" "
        "viewBox=\"0 0 1150 760\">\n"
        "<rect x=\"0\" y=\"0\" width=\"1150\" height=\"760\" fill=\"white\"/>\n";
    EXPECT_EQ(schq::exportSvg(handMade({}), {0x1F, false, 1}), frame + "</svg>\n");

    schq::Primitive rectangle;  // one point only: no element, but the group opens
    rectangle.kind = schq::Rectangle;
    rectangle.points = {{1, 1}};
    rectangle.maxX = rectangle.maxY = 2;
    schq::Primitive line = rectangle;
    line.kind = schq::Line;
    line.layer = schq::Wires;
    schq::Primitive text;
    text.kind = schq::Text;
    text.layer = schq::PinNames;
    text.text = "t";
    text.x = 10;
    text.y = 20;
    text.maxX = text.maxY = 30;
    text.fontSize = 1;  // would be culled on screen, never in the export
    text.rotation = std::numeric_limits<double>::quiet_NaN();
    text.anchor = static_cast<schq::TextAnchor>(7);
    schq::Primitive odd = text;
    odd.kind = static_cast<schq::PrimitiveKind>(9);
    const schq::Document d = handMade({rectangle, line, text, odd});
    EXPECT_EQ(schq::exportSvg(d, {0x1F, true, 0.1}),
              frame +
                  "<g id=\"graphics\">\n</g>\n<g id=\"wires\">\n</g>\n<g id=\"pin-names\">\n"
                  "<text x=\"10\" y=\"20\" fill=\"#252d36\" text-anchor=\"start\" font-size=\"1\" dy=\"0em\" "
                  "transform=\"rotate(0 10 20)\">t</text>\n</g>\n</svg>\n");
    EXPECT_EQ(schq::exportSvg(d, {0, false, 1}), frame + "</svg>\n");
    EXPECT_EQ(schq::exportSvg(d, {0b1010, false, 1}),
              frame +
                  "<g id=\"wires\">\n</g>\n<g id=\"pin-names\">\n"
                  "<text x=\"10\" y=\"20\" fill=\"#252d36\" text-anchor=\"start\" font-size=\"1\" dy=\"0em\" "
                  "transform=\"rotate(0 10 20)\">t</text>\n</g>\n</svg>\n");

    // A window of the sheet: its own frame, only what meets it.
    EXPECT_EQ(
        schq::writeSvg(d, {5.5, 3, 40, 50}, {0b1000, false, 1}),
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"34.5\" height=\"47\" viewBox=\"5.5 3 34.5 47\">\n"
        "<rect x=\"5.5\" y=\"3\" width=\"34.5\" height=\"47\" fill=\"white\"/>\n"
        "<g id=\"pin-names\">\n"
        "<text x=\"10\" y=\"20\" fill=\"#252d36\" text-anchor=\"start\" font-size=\"1\" dy=\"0em\" "
        "transform=\"rotate(0 10 20)\">t</text>\n</g>\n</svg>\n");
}

// A small sheet with every kind of record that the reader draws, exported whole.
TEST(SchqSvg, ExactSheetExport) {
    kgtest::SchDocBuilder b;
    b.setSheet("|RECORD=31|SHEETSTYLE=0|SIZE2=12");
    b.add("|RECORD=27|LOCATIONCOUNT=2|X1=10|Y1=700|X2=50|Y2=700|COLOR=128");
    b.add("|RECORD=29|LOCATION.X=50|LOCATION.Y=700");
    b.add("|RECORD=25|TEXT=NET&1|LOCATION.X=20|LOCATION.Y=702");
    b.add("|RECORD=1|CURRENTPARTID=1");  // index 5
    b.add("|RECORD=13|OWNERINDEX=4|OWNERPARTID=1|LOCATION.X=200|LOCATION.Y=600|CORNER.X=260|CORNER.Y=600");
    b.add("|RECORD=13|OWNERINDEX=4|OWNERPARTID=2|LOCATION.X=200|LOCATION.Y=610|CORNER.X=260|CORNER.Y=610");
    b.add(
        "|RECORD=2|OWNERINDEX=4|OWNERPARTID=1|LOCATION.X=190|LOCATION.Y=600|PINCONGLOMERATE=26|PINLENGTH=10"
        "|NAME=A|DESIGNATOR=1");
    b.add("|RECORD=2|OWNERINDEX=4|OWNERPARTID=2|LOCATION.X=300|LOCATION.Y=600|PINCONGLOMERATE=24|NAME=B");
    b.add("|RECORD=17|STYLE=7|ORIENTATION=0|TEXT=VCC|LOCATION.X=400|LOCATION.Y=700");
    b.add("|RECORD=17|STYLE=2|ORIENTATION=1|TEXT=GND|LOCATION.X=500|LOCATION.Y=700");
    b.add("|RECORD=17|STYLE=4|TEXT=+5V|LOCATION.X=600|LOCATION.Y=700|SHOWNETNAME=T");
    b.add("|RECORD=4|TEXT=X~1Y|ORIENTATION=1|JUSTIFICATION=4|LOCATION.X=700|LOCATION.Y=700|FONTID=2");
    const auto file = b.write();
    const schq::Document d = schq::readSchDoc(file->path());

    const std::string expected =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1150\" height=\"760\" viewBox=\"0 0 1150 760\">\n"
        "<rect x=\"0\" y=\"0\" width=\"1150\" height=\"760\" fill=\"white\"/>\n"
        "<g id=\"graphics\">\n"
        "<line x1=\"200\" y1=\"160\" x2=\"260\" y2=\"160\" stroke=\"#24272c\" stroke-width=\"0.6\"/>\n"
        "</g>\n"
        "<g id=\"wires\">\n"
        "<polyline points=\"10,60 50,60 \" fill=\"none\" stroke=\"#800000\" stroke-width=\"0.6\" "
        "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n"
        "<ellipse cx=\"50\" cy=\"60\" rx=\"1.85\" ry=\"1.85\" fill=\"#802020\" stroke=\"#802020\" "
        "stroke-width=\"0\"/>\n"
        "</g>\n"
        "<g id=\"pins\">\n"
        "<line x1=\"190\" y1=\"160\" x2=\"180\" y2=\"160\" stroke=\"#303743\" stroke-width=\"0.56\"/>\n"
        "</g>\n"
        "<g id=\"pin-names\">\n"
        "<text x=\"194\" y=\"162.1\" fill=\"#243044\" text-anchor=\"start\" font-size=\"6.7\" "
        "dy=\"0.25em\">A</text>\n"
        "<text x=\"185.5\" y=\"158\" fill=\"#5a6170\" text-anchor=\"middle\" font-size=\"5.8\" "
        "dy=\"0.25em\">1</text>\n"
        "</g>\n"
        "<g id=\"labels\">\n"
        "<text x=\"20\" y=\"58\" fill=\"#000000\" text-anchor=\"start\" font-size=\"8.1\" "
        "dy=\"0em\">NET&amp;1</text>\n"
        "<line x1=\"400\" y1=\"60\" x2=\"410\" y2=\"60\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<polyline points=\"405,62.5 410,60 405,57.5 \" fill=\"none\" stroke=\"#000000\" "
        "stroke-width=\"0.8\" "
        "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n"
        "<text x=\"415\" y=\"60\" fill=\"#000000\" text-anchor=\"start\" font-size=\"7.8\" "
        "dy=\"0.32em\">VCC</text>\n"
        "<line x1=\"500\" y1=\"60\" x2=\"500\" y2=\"50\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<line x1=\"505\" y1=\"50\" x2=\"495\" y2=\"50\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<text x=\"500\" y=\"45\" fill=\"#000000\" text-anchor=\"middle\" font-size=\"7.8\" "
        "dy=\"0em\">GND</text>\n"
        "<line x1=\"600\" y1=\"60\" x2=\"610\" y2=\"60\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<line x1=\"610\" y1=\"70\" x2=\"610\" y2=\"50\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<line x1=\"613\" y1=\"67\" x2=\"613\" y2=\"53\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<line x1=\"616\" y1=\"64\" x2=\"616\" y2=\"56\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<line x1=\"619\" y1=\"61\" x2=\"619\" y2=\"59\" stroke=\"#000000\" stroke-width=\"0.8\"/>\n"
        "<text x=\"625\" y=\"60\" fill=\"#000000\" text-anchor=\"start\" font-size=\"7.8\" "
        "dy=\"0.32em\">+5V</text>\n"
        "<text x=\"700\" y=\"60\" fill=\"#000000\" text-anchor=\"middle\" font-size=\"9.72\" dy=\"0.32em\" "
        "transform=\"rotate(-90 700 60)\">X</text>\n"
        "<text x=\"700\" y=\"71.47\" fill=\"#000000\" text-anchor=\"middle\" font-size=\"9.72\" "
        "dy=\"0.32em\" "
        "transform=\"rotate(-90 700 71.47)\">Y</text>\n"
        "</g>\n"
        "</svg>\n";
    EXPECT_EQ(schq::exportSvg(d, {0x1F, false, 1}), expected);
}

TEST(SchqSvg, FilledShapesAndUtf8Values) {
    kgtest::SchDocBuilder b;
    b.add("|RECORD=14|LOCATION.X=50|LOCATION.Y=60|CORNER.X=10|CORNER.Y=100|ISSOLID=T|COLOR=255");
    b.add("|RECORD=7|LOCATIONCOUNT=3|X1=0|Y1=0|X2=10|Y2=0|X3=0|Y3=10|ISSOLID=T|AREACOLOR=65280");
    b.add("|RECORD=8|LOCATION.X=100|LOCATION.Y=100|RADIUS=10|SECONDARYRADIUS=5|LINEWIDTH=1");
    // A malformed UTF-8 value and a Windows-1251 one.
    b.add("|RECORD=4|%UTF8%TEXT=\xE2\x82|TEXT=x|LOCATION.X=1|LOCATION.Y=1");
    b.add("|RECORD=4|TEXT=\xC0\xE1|LOCATION.X=1|LOCATION.Y=1");
    // Texts that would break the XML if written as they stand.
    b.add("|RECORD=4|%UTF8%TEXT=]]>\x01\x1b\r<&\"'\xEF\xBF\xBF\xED\xA0\x80\xC3|LOCATION.X=5|LOCATION.Y=5");
    const auto file = b.write();
    const std::string svg = schq::exportSvg(schq::readSchDoc(file->path()), {0x1F, false, 1});
    EXPECT_NE(svg.find(">]]&gt;&lt;&amp;&quot;&apos;"
                       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD</text>"),
              std::string::npos);
    // scripts/test checks every file of this folder with an XML parser.
    if (const char* out = std::getenv("KG_SVG_OUT"); out && *out) {
        std::filesystem::create_directories(out);
        std::ofstream(std::filesystem::path(out) / "schdoc_synthetic_texts.svg", std::ios::binary) << svg;
    }
    EXPECT_NE(
        svg.find("<rect x=\"10\" y=\"660\" width=\"40\" height=\"40\" fill=\"#fcf5b0\" stroke=\"#ff0000\" "
                 "stroke-width=\"0.6\"/>\n"),
        std::string::npos);
    EXPECT_NE(svg.find("<polygon points=\"0,760 10,760 0,750 \" fill=\"#00ff00\""), std::string::npos);
    EXPECT_NE(svg.find("<ellipse cx=\"100\" cy=\"660\" rx=\"10\" ry=\"5\" fill=\"none\" stroke=\"#303b45\" "
                       "stroke-width=\"0.95\"/>\n"),
              std::string::npos);
    EXPECT_NE(svg.find("dy=\"0em\">\xEF\xBF\xBD</text>"), std::string::npos);
    EXPECT_NE(svg.find("dy=\"0em\">\xD0\x90\xD0\xB1</text>"), std::string::npos);
}

}  // namespace
