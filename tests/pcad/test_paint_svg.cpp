#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "pcad/paint.h"
#include "pcad/svg.h"

using namespace pcad;

namespace {

struct Call {
    char kind;  // 'l', 'c', 't'
    double a, b, c, d, stroke;
    std::uint32_t colour;
    bool filled;
    std::string text;
};

class Recorder : public Canvas {
public:
    std::vector<Call> calls;
    void line(double x1, double y1, double x2, double y2, double w, std::uint32_t col) override {
        calls.push_back({'l', x1, y1, x2, y2, w, col, false, {}});
    }
    void circle(double cx, double cy, double r, double w, std::uint32_t col, bool f) override {
        calls.push_back({'c', cx, cy, r, 0, w, col, f, {}});
    }
    void text(double left, double top, const Text& t, const double& x0, const double& y0, const double& x1,
              const double& y1, std::uint32_t col) override {
        EXPECT_EQ(left, x0);
        EXPECT_EQ(top, y0);
        calls.push_back({'t', x0, y0, x1, y1, 0, col, false, t.text});
    }
};

Line seg(double x1, double y1, double x2, double y2, float w, std::uint8_t cls) {
    return {x1, y1, x2, y2, w, cls};
}

Circle dot(double x, double y, float dia, float w, std::uint8_t cls, bool filled) {
    return {x, y, dia, w, cls, static_cast<std::uint8_t>(filled)};
}

Text label(double x, double y, std::string s, std::uint8_t cls) {
    Text t;
    t.x = x;
    t.y = y;
    t.text = std::move(s);
    t.height = 2;
    t.itemClass = cls;
    return t;
}

View viewOf(const Page& p, double scale) {
    return {(p.width + 8) * scale, (p.height + 8) * scale, scale, p.width * 0.5 + p.originX,
            p.height * 0.5 + p.originY};
}

// A 12 by 8 sheet holding one of each kind of element.
Page samplePage() {
    Page p;
    p.width = 12;
    p.height = 8;
    p.lines.push_back(seg(0, 0, 10, 0, 0.3f, 4));
    p.lines.push_back(seg(0, 0, 0, 8, 1.5f, 0));
    p.lines.push_back(seg(-10, -10, -9, -10, 1, 1));  // off the page: never drawn
    p.circles.push_back(dot(10, 0, 1, 0, 10, true));
    p.circles.push_back(dot(4, 4, 2, 0.25f, 2, false));
    p.texts.push_back(label(2, 6, "A<&", 7));
    Text hi = label(0, 0, "Hi", 11);
    hi.hasBox = 1;
    hi.boxX0 = 9;
    hi.boxY0 = 1;
    hi.boxX1 = 7;
    hi.boxY1 = 3;
    hi.rotation = 90;
    p.texts.push_back(hi);
    p.buildIndex();
    return p;
}

// Writes the document where the test run checks every SVG for well-formedness.
void keep(const std::string& name, const std::string& svg) {
    const char* dir = std::getenv("KG_SVG_OUT");
    if (dir == nullptr || *dir == 0) return;
    std::filesystem::create_directories(dir);
    std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << svg;
}

std::string textElement(const Page& page) {
    const std::string svg = renderSvg(page, 2, false);
    const auto start = svg.find("<svg x=");
    if (start == std::string::npos) return {};
    return svg.substr(start, svg.find('\n', start) - start);
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(PcadPaint, DrawOrderIsStableByKey) {
    Page p;
    p.width = 100;
    p.height = 100;
    p.lines.push_back(seg(1, 1, 2, 1, 0, 4));
    p.lines.push_back(seg(1, 2, 2, 2, 0, 0));
    p.texts.push_back(label(1, 3, "t", 6));
    p.circles.push_back(dot(5, 5, 1, 0, 2, false));
    p.circles.push_back(dot(6, 6, 1, 0, 10, true));
    p.lines.push_back(seg(1, 4, 2, 4, 0, 4));
    p.lines.push_back(seg(1, 5, 2, 5, 0, 9));
    p.lines.push_back(seg(1, 6, 2, 6, 0, 5));
    p.buildIndex();

    std::vector<int> keys;
    for (const Item& it : p.items) keys.push_back(drawOrderKey(p, it));
    EXPECT_EQ(keys, (std::vector<int>{4, 0, 4, 6, 5, 12, 15, 20}));

    Recorder r;
    PaintStats s = paint(p, viewOf(p, 1), r, false);
    EXPECT_EQ(s.items, 8u);
    EXPECT_EQ(s.lines, 5u);
    EXPECT_EQ(s.circles, 2u);
    EXPECT_EQ(s.texts, 1u);
    std::string order;
    std::vector<double> lineYs;
    for (const Call& c : r.calls) {
        order += c.kind;
        if (c.kind == 'l') lineYs.push_back(c.b);
    }
    EXPECT_EQ(order, "lllllcct");
    // Target y = 104 - world y: class 0, both class 4 in query order, class 5, class 9.
    EXPECT_EQ(lineYs, (std::vector<double>{102, 103, 100, 98, 99}));
    EXPECT_FALSE(r.calls[5].filled);
    EXPECT_TRUE(r.calls[6].filled);
}

TEST(PcadPaint, StrokesColoursAndCulling) {
    Page p;
    p.lines.push_back(seg(10, 10, 20, 10, 0.1f, 1));
    p.circles.push_back(dot(30, 30, 3, 0, 4, false));
    p.buildIndex();

    Recorder r2;
    paint(p, viewOf(p, 2), r2, false);
    ASSERT_EQ(r2.calls.size(), 2u);
    EXPECT_EQ(r2.calls[0].stroke, 1.0);
    EXPECT_EQ(r2.calls[0].colour, 0xFF141414u);
    EXPECT_EQ(r2.calls[1].stroke, 1.0);
    EXPECT_EQ(r2.calls[1].c, 3.0);  // radius at scale 2

    Recorder r40;
    paint(p, viewOf(p, 40), r40, true);
    EXPECT_NEAR(r40.calls[0].stroke, 4.0, 1e-6);
    EXPECT_EQ(r40.calls[0].colour, 0xFFECE6E0u);

    // A width that is not finite is drawn as the thinnest stroke.
    Page odd;
    odd.lines.push_back(seg(10, 10, 20, 10, std::numeric_limits<float>::quiet_NaN(), 1));
    odd.circles.push_back(dot(30, 30, 3, std::numeric_limits<float>::infinity(), 4, false));
    odd.buildIndex();
    Recorder rOdd;
    paint(odd, viewOf(odd, 2), rOdd, false);
    ASSERT_EQ(rOdd.calls.size(), 2u);
    EXPECT_EQ(rOdd.calls[0].stroke, 1.0);
    EXPECT_EQ(rOdd.calls[1].stroke, 1.0);

    EXPECT_EQ(itemColour(4, false), itemColour(10, false));
    EXPECT_EQ(svgColour(itemColour(4, true)), "#23e136");
    EXPECT_EQ(svgColour(itemColour(10, true)), "#2de232");
    EXPECT_EQ(svgColour(itemColour(200, false)), "#141414");
    EXPECT_EQ(svgColour(itemColour(200, true)), "#e0e6ec");
    EXPECT_EQ(svgColour(0x00010203), "#030201");

    // A view that shows none of the items draws nothing.
    View away = viewOf(p, 2);
    away.centerX = 5000;
    Recorder none;
    PaintStats s = paint(p, away, none, false);
    EXPECT_TRUE(none.calls.empty());
    EXPECT_EQ(s.items + s.lines + s.circles + s.texts, 0u);
}

TEST(PcadSvg, WholeDocumentInBothThemes) {
    const Page p = samplePage();
    const std::string body =
        "<path d=\"M8.000 24.000 L8.000 8.000\" stroke=\"#L0\" stroke-width=\"3.000\" fill=\"none\"/>\n"
        "<path d=\"M8.000 24.000 L28.000 24.000\" stroke=\"#L4\" stroke-width=\"1.000\" fill=\"none\"/>\n"
        "<circle cx=\"16.000\" cy=\"16.000\" r=\"2.000\" fill=\"none\" stroke=\"#L2\" "
        "stroke-width=\"1.000\"/>\n"
        "<circle cx=\"28.000\" cy=\"24.000\" r=\"1.000\" fill=\"#L10\" stroke=\"#L10\" "
        "stroke-width=\"1.000\"/>\n"
        "<svg x=\"12.000\" y=\"8.000\" width=\"3.960\" height=\"4.000\" viewBox=\"0 0 100 100\" "
        "preserveAspectRatio=\"none\" overflow=\"hidden\"><text transform=\"scale(0.641,1)\" x=\"0\" "
        "y=\"84\" font-family=\"Arial, sans-serif\" font-size=\"90.000\" "
        "fill=\"#L7\">A&lt;&amp;</text></svg>\n"
        "<svg x=\"22.000\" y=\"18.000\" width=\"4.000\" height=\"4.000\" viewBox=\"0 0 100 100\" "
        "preserveAspectRatio=\"none\" overflow=\"hidden\"><g transform=\"translate(100,0) rotate(90)\">"
        "<text transform=\"scale(0.962,1)\" x=\"0\" y=\"84\" font-family=\"Arial, sans-serif\" "
        "font-size=\"90.000\" fill=\"#L11\">Hi</text></g></svg>\n";
    auto themed = [&body](const char* bg, std::vector<std::pair<std::string, std::string>> cols) {
        std::string s =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40.000\" height=\"32.000\" "
            "viewBox=\"0 0 40.000 32.000\">\n<rect width=\"100%\" height=\"100%\" fill=\"" +
            std::string(bg) + "\"/>\n" + body + "</svg>\n";
        for (const auto& [from, to] : cols) {
            for (auto at = s.find(from + "\""); at != std::string::npos; at = s.find(from + "\"")) {
                s.replace(at, from.size(), to);
            }
        }
        return s;
    };
    const std::string light = themed("#ffffff", {{"#L0", "#696969"},
                                                 {"#L4", "#09831d"},
                                                 {"#L2", "#2c2c2c"},
                                                 {"#L10", "#09831d"},
                                                 {"#L7", "#005169"},
                                                 {"#L11", "#282828"}});
    const std::string dark = themed("#080a0d", {{"#L0", "#787d84"},
                                                {"#L4", "#23e136"},
                                                {"#L2", "#aeb8c3"},
                                                {"#L10", "#2de232"},
                                                {"#L7", "#69d7f5"},
                                                {"#L11", "#ccd1d7"}});
    EXPECT_EQ(renderSvg(p, 2, false), light);
    EXPECT_EQ(renderSvg(p, 2, true), dark);
    keep("pcad_sample_light.svg", light);
    keep("pcad_sample_dark.svg", dark);
}

TEST(PcadSvg, SizeMarginAndScaleClamp) {
    Page p;
    p.lines.push_back(seg(0, 0, 1, 0, 0, 1));
    p.buildIndex();
    const std::string svg = renderSvg(p, 2, true);
    EXPECT_NE(svg.find("width=\"858.000\" height=\"612.000\" viewBox=\"0 0 858.000 612.000\""),
              std::string::npos);
    EXPECT_NE(svg.find("d=\"M8.000 604.000 L10.000 604.000\""), std::string::npos);
    EXPECT_NE(renderSvg(p, 100, true).find("width=\"17160.000\""), std::string::npos);
    EXPECT_NE(renderSvg(p, 0, true).find("width=\"85.800\""), std::string::npos);
}

TEST(PcadSvg, TextRotationSqueezeAndEscaping) {
    Page p;
    p.texts.push_back(label(100, 100, "abcd", 6));
    p.buildIndex();
    auto rotated = [&p](float deg) {
        p.texts[0].rotation = deg;
        return textElement(p);
    };
    EXPECT_NE(rotated(89.6f).find("<g transform=\"translate(100,0) rotate(90)\">"), std::string::npos);
    EXPECT_EQ(rotated(359.6f).find("<g"), std::string::npos);
    EXPECT_EQ(rotated(0.4f).find("<g"), std::string::npos);
    EXPECT_NE(rotated(-90).find("\"translate(0,100) rotate(-90)\""), std::string::npos);
    EXPECT_NE(rotated(180).find("\"translate(100,100) rotate(180)\""), std::string::npos);
    EXPECT_NE(rotated(45).find("\"translate(50,50) rotate(45) translate(-50,-50)\""), std::string::npos);
    EXPECT_NE(rotated(-45.5f).find("rotate(314)"), std::string::npos);
    EXPECT_NE(rotated(1e30f).find("<svg x="), std::string::npos);
    EXPECT_EQ(rotated(std::numeric_limits<float>::infinity()).find("<g"), std::string::npos);

    p.texts[0].rotation = 0;
    EXPECT_NE(textElement(p).find("scale(0.481,1)"), std::string::npos);
    p.texts[0].text = "\xD0\x90\xD0\x91\xD0\x92\xD0\x93";  // four Cyrillic letters
    EXPECT_NE(textElement(p).find("scale(0.481,1)"), std::string::npos);

    // A line feed parts the text into lines, each in its own element.
    p.texts[0].text = "a<b&c\td\r\ne\"'>\x7F";
    const std::string escaped = renderSvg(p, 2, false);
    EXPECT_NE(escaped.find(">a&lt;b&amp;cd</text></g><g "), std::string::npos);
    EXPECT_NE(escaped.find(">e&quot;&apos;&gt;\x7F</text></g></svg>\n"), std::string::npos);

    // U+FFFF from the decoder is not allowed in XML: U+FFFD takes its place.
    p.texts[0].text = "x\xEF\xBF\xBFy\xEF\xBF";
    EXPECT_NE(textElement(p).find(">x\xEF\xBF\xBDy\xEF\xBF</text>"), std::string::npos);
    EXPECT_EQ(xmlEscape("\xEF\xBF\xBE"), "\xEF\xBF\xBE");

    // Texts that cannot be placed are left out.
    p.texts[0].text = "";
    EXPECT_EQ(textElement(p), "");
    p.texts[0].text = "\x80\x80";  // continuation bytes only: no code points
    EXPECT_EQ(textElement(p), "");
    p.texts[0].text = "abc";
    p.texts[0].hasBox = 1;
    p.texts[0].boxX0 = p.texts[0].boxX1 = 100;
    p.texts[0].boxY0 = 100;
    p.texts[0].boxY1 = 101;
    p.buildIndex();
    EXPECT_EQ(textElement(p), "");
}

TEST(PcadSvg, ExportToFiles) {
    const Page p = samplePage();
    const auto dir = std::filesystem::temp_directory_path() / "kg_pcad_svg";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string name = dir.string() + "/\xD0\xBB\xD0\xB8\xD1\x81\xD1\x82.svg";
    std::ofstream(std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.c_str()))))
        << std::string(100000, 'x');
    exportSvg(p, name, 2, false);
    EXPECT_EQ(readFile(std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(name.c_str())))),
              renderSvg(p, 2, false));

    const std::string missing = dir.string() + "/no/such/folder.svg";
    try {
        exportSvg(p, missing, 2, false);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create SVG: " + missing);
    }
    EXPECT_THROW(exportSvg(p, dir.string() + "/\xC3(.svg", 2, false), std::system_error);
    std::filesystem::remove_all(dir);
}

TEST(PcadSvg, WriteFailureIsReported) {
#ifdef __linux__
    try {
        exportSvg(samplePage(), "/dev/full", 2, true);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to write SVG file");
    }
#else
    GTEST_SKIP() << "needs /dev/full";
#endif
}
