// Tests of drawing an SBK page through a sink and writing it as SVG.
#include "sbk/document.h"

#include "sbk/document_access.h"

#include "support/compound_file_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <system_error>

namespace {

constexpr uint8_t kFrame = static_cast<uint8_t>(sbk::Layer::Frame);
constexpr uint8_t kWires = static_cast<uint8_t>(sbk::Layer::Wires);
constexpr uint8_t kBuses = static_cast<uint8_t>(sbk::Layer::Buses);
constexpr uint8_t kSymbols = static_cast<uint8_t>(sbk::Layer::Symbols);
constexpr uint8_t kRefs = static_cast<uint8_t>(sbk::Layer::Refs);
constexpr uint8_t kTitles = static_cast<uint8_t>(sbk::Layer::Titles);

struct Recorder : sbk::DrawSink {
    struct Line {
        uint8_t shape;
        std::vector<sbk::Point> points;
        sbk::Pen pen;
    };
    struct Label {
        sbk::Point at;
        std::string text;
        float height;
        uint32_t colour;
        uint8_t anchor;
    };
    std::vector<Line> lines;
    std::vector<Label> labels;
    std::vector<char> order;  // 'p' or 't' per call

    void polyline(uint8_t shape, const sbk::Point* points, size_t count, sbk::Pen pen) override {
        lines.push_back({shape, std::vector<sbk::Point>(points, points + count), pen});
        order.push_back('p');
    }
    void text(const sbk::Point& at, const std::string& text, float height, uint32_t colour,
              uint8_t anchor) override {
        labels.push_back({at, text, height, colour, anchor});
        order.push_back('t');
    }
};

// The viewer's own settings.
sbk::DrawOptions viewerOptions(uint32_t mask = 0xFFFFFFFF) { return sbk::DrawOptions{mask, 3.3, 0.65, true}; }

sbk::View viewAt(double scale) {
    // Document (0, 0) at pixel (400, 300); a 800 x 600 viewport.
    return sbk::View{800, 600, scale, 400, 300};
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string svgOf(const sbk::Document& doc, uint32_t mask) {
    kgtest::TempFile f(".svg");
    sbk::writePageSvg(doc, f.path(), mask);
    return readFile(f.path());
}

const std::string kHead =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"-1000.000 -1000.000 2000.000 2000.000\" "
    "width=\"1600\" height=\"1240\">\n"
    "<rect x=\"-1000.000\" y=\"-1000.000\" width=\"2000.000\" height=\"2000.000\" fill=\"#000\"/>\n";

}  // namespace

TEST(SbkDraw, SizeLimitsAndPens) {
    sbk::Document doc;
    doc.addPolyline(kSymbols, 0, {{0, 0}, {5, 5}}, 0);
    doc.addPolyline(kWires, 0, {{0, 0}, {5, 5}}, 0);
    doc.addPolyline(kFrame, 0, {{0, 0}, {100, 0}}, 0);
    doc.addPolyline(kBuses, 0, {{0, 0}, {100, 0}}, 0);
    doc.addText(kRefs, 0, 0, "R1", 30, 0);
    doc.buildIndex();

    Recorder at01;
    doc.draw(viewAt(0.1), at01, viewerOptions());
    ASSERT_EQ(at01.lines.size(), 3u);  // the 0.5-pixel symbol is skipped, the wire is not
    EXPECT_FLOAT_EQ(at01.lines[0].pen.width, 0.8f);
    EXPECT_EQ(at01.lines[0].pen.colour, 0x09E52Cu);
    EXPECT_FLOAT_EQ(at01.lines[1].pen.width, 1.6f);
    EXPECT_FLOAT_EQ(at01.lines[2].pen.width, 1.4f);
    EXPECT_TRUE(at01.labels.empty());  // 3 pixels high

    Recorder at02;
    doc.draw(viewAt(0.2), at02, viewerOptions());
    ASSERT_EQ(at02.lines.size(), 4u);
    EXPECT_EQ(at02.lines[0].pen.colour, 0x0CE7E4u);
    EXPECT_FLOAT_EQ(at02.lines[0].pen.width, 1.0f);

    Recorder at012;
    doc.draw(viewAt(0.12), at012, viewerOptions());
    ASSERT_EQ(at012.labels.size(), 1u);
    EXPECT_FLOAT_EQ(at012.labels[0].height, static_cast<float>(30 * 0.12));
}

TEST(SbkDraw, MapsPointsAndDrawsPolylinesBeforeTexts) {
    sbk::Document doc;
    doc.addText(kTitles, 10, 20, "Title", 50, 1);
    doc.addPolyline(kWires, 0, {{10, 20}, {-30, 40}}, 5);
    doc.addPolyline(kSymbols, 2, {{0, 0}, {40, 20}}, 0x80);
    doc.buildIndex();

    Recorder r;
    doc.draw(viewAt(2), r, viewerOptions());
    EXPECT_EQ(std::string(r.order.begin(), r.order.end()), "ppt");
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].shape, 0);
    EXPECT_DOUBLE_EQ(r.lines[0].points[0].x, 420);
    EXPECT_DOUBLE_EQ(r.lines[0].points[0].y, 260);
    EXPECT_DOUBLE_EQ(r.lines[0].points[1].x, 340);
    EXPECT_DOUBLE_EQ(r.lines[0].points[1].y, 220);
    EXPECT_EQ(r.lines[1].shape, 2);
    ASSERT_EQ(r.labels.size(), 1u);
    EXPECT_DOUBLE_EQ(r.labels[0].at.x, 420);
    EXPECT_DOUBLE_EQ(r.labels[0].at.y, 260);
    EXPECT_EQ(r.labels[0].text, "Title");
    EXPECT_EQ(r.labels[0].colour, 0xFFED25u);
    EXPECT_EQ(r.labels[0].anchor, 1);
    EXPECT_FLOAT_EQ(r.labels[0].height, 100.0f);

    Recorder wiresOnly;
    doc.draw(viewAt(2), wiresOnly, viewerOptions(1u << kWires));
    EXPECT_EQ(std::string(wiresOnly.order.begin(), wiresOnly.order.end()), "p");
}

TEST(SbkDraw, CullsToTheViewUnlessAskedNotTo) {
    sbk::Document doc;
    doc.addPolyline(kWires, 0, {{0, 0}, {100, 0}}, 0);              // inside
    doc.addPolyline(kWires, 0, {{50000, 0}, {50100, 0}}, 0);        // far right
    doc.addPolyline(kSymbols, 0, {{-9000, 0}, {-8999.5, 0}}, 0);    // far left and tiny
    doc.addPolyline(kFrame, 0, {{-9000, -9000}, {9000, 9000}}, 0);  // reaches into the view
    doc.addText(kRefs, 0, 0, "in", 40, 0);
    doc.addText(kRefs, 50000, 0, "out", 40, 0);
    doc.buildIndex();

    // At scale 1 the view shows x -400..400 and y -300..300.
    Recorder culled;
    doc.draw(viewAt(1), culled, viewerOptions());
    ASSERT_EQ(culled.lines.size(), 2u);
    EXPECT_DOUBLE_EQ(culled.lines[0].points[0].x, 400);
    EXPECT_EQ(culled.lines[1].pen.colour, 0x00ECEEu);
    ASSERT_EQ(culled.labels.size(), 1u);
    EXPECT_EQ(culled.labels[0].text, "in");

    Recorder all;
    auto options = viewerOptions();
    options.cullToView = false;
    doc.draw(viewAt(1), all, options);
    EXPECT_EQ(all.lines.size(), 3u);  // the tiny symbol still fails the size test
    EXPECT_EQ(all.labels.size(), 2u);
}

TEST(SbkDraw, NothingForAnUnusableScale) {
    sbk::Document doc;
    doc.addPolyline(kWires, 0, {{0, 0}, {100, 0}}, 0);
    doc.addText(kRefs, 0, 0, "R", 40, 0);
    doc.buildIndex();
    for (double s :
         {0.0, -1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        Recorder r;
        auto options = viewerOptions();
        options.minShapePx = 0;
        options.minTextPx = 0;
        doc.draw(viewAt(s), r, options);
        EXPECT_TRUE(r.order.empty()) << s;
    }
}

TEST(SbkSvg, EmptyPageAndMaskZero) {
    sbk::Document empty;
    EXPECT_EQ(svgOf(empty, 0xFFFFFFFF), kHead + "</svg>\n");

    sbk::Document doc;
    doc.addPolyline(kWires, 0, {{0, 0}, {1, 1}}, 0);
    doc.addText(kRefs, 0, 0, "R", 40, 0);
    EXPECT_EQ(svgOf(doc, 0), kHead + "</svg>\n");
}

TEST(SbkSvg, ExactElements) {
    sbk::Document doc;
    auto& rec = sbk::DocumentAccess::record(doc);
    rec.minX = 0;
    rec.minY = -100;
    rec.maxX = 1000;
    rec.maxY = 500;  // y mirrors as 400 - y
    doc.addPolyline(kWires, 0, {{0, 0}, {10.5, 20}, {-3, 400}}, 5);
    doc.addPolyline(kSymbols, 1, {{0, 0}, {10, 10}, {20, 0}}, 0x82);
    doc.addPolyline(kSymbols, 1, {{0, 0}, {10, 10}, {20, 0}, {30, 10}}, 0x82);  // not a curve
    doc.addPolyline(kFrame, 2, {{30, 40}, {10, 20}}, 0);
    doc.addPolyline(kBuses, 2, {{0, 0}, {1, 1}, {2, 2}}, 0);  // not an ellipse
    doc.addPolyline(20, 0, {{0, 0}, {1, 1}}, 0);
    doc.addText(kRefs, 5, 6, "R&D<1> \"a\" 'b'", 45, 0);
    doc.addText(kTitles, 1, 2, "End", 50.25, 1);

    const std::string expected =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0.000 -100.000 1000.000 600.000\" "
        "width=\"1600\" "
        "height=\"1240\">\n"
        "<rect x=\"0.000\" y=\"-100.000\" width=\"1000.000\" height=\"600.000\" fill=\"#000\"/>\n"
        "<g fill=\"none\" stroke=\"#09e52c\" stroke-width=\"5\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<polyline points=\"0.000,400.000 10.500,380.000 -3.000,0.000 \"/></g>\n"
        "<g fill=\"none\" stroke=\"#0ce7e4\" stroke-width=\"5\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<path d=\"M 0.000,400.000 Q 10.000,390.000 20.000,400.000\"/></g>\n"
        "<g fill=\"none\" stroke=\"#0ce7e4\" stroke-width=\"5\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<polyline points=\"0.000,400.000 10.000,390.000 20.000,400.000 30.000,390.000 \"/></g>\n"
        "<g fill=\"none\" stroke=\"#00ecee\" stroke-width=\"16\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<ellipse cx=\"20.000\" cy=\"370.000\" rx=\"10.000\" ry=\"10.000\"/></g>\n"
        "<g fill=\"none\" stroke=\"#ffe91a\" stroke-width=\"14\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<polyline points=\"0.000,400.000 1.000,399.000 2.000,398.000 \"/></g>\n"
        "<g fill=\"none\" stroke=\"#ffffff\" stroke-width=\"5\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\">"
        "<polyline points=\"0.000,400.000 1.000,399.000 \"/></g>\n"
        "<text x=\"5.000\" y=\"394.000\" fill=\"#ffe91a\" font-family=\"DejaVu Sans,Arial,sans-serif\" "
        "font-size=\"45.000\" text-anchor=\"start\" dominant-baseline=\"alphabetic\">"
        "R&amp;D&lt;1&gt; &quot;a&quot; &apos;b&apos;</text>\n"
        "<text x=\"1.000\" y=\"398.000\" fill=\"#ffed25\" font-family=\"DejaVu Sans,Arial,sans-serif\" "
        "font-size=\"50.250\" text-anchor=\"end\" dominant-baseline=\"alphabetic\">End</text>\n"
        "</svg>\n";
    EXPECT_EQ(svgOf(doc, 0xFFFFFFFF), expected);

    // Layer 20 is bit 20; the mask keeps only it.
    const std::string only20 = svgOf(doc, 1u << 20);
    EXPECT_NE(only20.find("#ffffff"), std::string::npos);
    EXPECT_EQ(only20.find("<text"), std::string::npos);
    EXPECT_EQ(only20.find("#09e52c"), std::string::npos);
}

TEST(SbkSvg, HugeCoordinatesAreWrittenInFull) {
    sbk::Document doc;
    doc.addText(kRefs, 1e300, -std::numeric_limits<double>::max(), "x", 1e22, 0);
    const std::string svg = svgOf(doc, 0xFFFFFFFF);
    std::ostringstream x, size;
    x << std::fixed;
    x.precision(3);
    x << 1e300;
    size << std::fixed;
    size.precision(3);
    size << 1e22;
    EXPECT_NE(svg.find("<text x=\"" + x.str() + "\" y=\""), std::string::npos);
    EXPECT_NE(svg.find("font-size=\"" + size.str() + "\""), std::string::npos);
    // y mirrors to 0 - (-max) = max, which has 309 digits before the point.
    EXPECT_NE(svg.find("y=\"17976931348623157"), std::string::npos);
}

TEST(SbkSvg, EscapingAndColours) {
    EXPECT_EQ(sbk::xmlEscape("R&D<1>"), "R&amp;D&lt;1&gt;");
    EXPECT_EQ(sbk::xmlEscape("\xC3\xA9\t\n\r"), "\xC3\xA9\t\n\r");
    // Control bytes that XML forbids are dropped.
    EXPECT_EQ(sbk::xmlEscape(std::string("a\0b\x01\x08\x0B\x0C\x0E\x1F\x7F"
                                         "c",
                                         11)),
              "ab\x7F"
              "c");

    std::ostringstream out;
    out << std::dec << 255 << ' ';
    sbk::writeColour(out, 0x0A0B0C);
    out << ' ' << 255 << ' ';
    sbk::writeColour(out, 0);
    out << ' ';
    sbk::writeColour(out, 0xFFFFFF);
    EXPECT_EQ(out.str(), "255 #0a0b0c 255 #000000 #ffffff");
}

TEST(SbkSvg, Failures) {
    sbk::Document doc;
    const std::string bad = "/nonexistent-folder/x.svg";
    try {
        sbk::writePageSvg(doc, bad, ~0u);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot create SVG file: /nonexistent-folder/x.svg");
    }
    try {
        sbk::writePageSvg(doc, "/nonexistent-folder/\xED\xA0\x80.svg", ~0u);  // a surrogate
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::illegal_byte_sequence);
    }
    if (std::filesystem::exists("/dev/full")) {
        for (int i = 0; i < 2000; ++i) doc.addPolyline(kWires, 0, {{0, 0}, {1, 1}}, 0);
        try {
            sbk::writePageSvg(doc, "/dev/full", ~0u);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Cannot finish writing SVG");
        }
    }
}

TEST(SbkSvg, ReplacesAnExistingFileAndWritesAWellFormedSample) {
    sbk::Document doc;
    auto& rec = sbk::DocumentAccess::record(doc);
    rec.minX = -100;
    rec.minY = -100;
    rec.maxX = 11100;
    rec.maxY = 8600;
    doc.addPolyline(kFrame, 0, {{0, 0}, {11000, 0}, {11000, 8500}, {0, 8500}, {0, 0}}, 0x80);
    doc.addPolyline(kWires, 0, {{1000, 1000}, {3000, 1000}}, 5);
    doc.addPolyline(kSymbols, 1, {{2000, 2000}, {2100, 2200}, {2200, 2000}}, 0x82);
    doc.addPolyline(kSymbols, 2, {{4000, 4000}, {4200, 4300}}, 0x80);
    doc.addText(kRefs, 2000, 2300, "U1 <\x01> & \xE2\x82\xAC", 45, 0);
    doc.addText(kTitles, 10900, 100, "Sheet 1", 50, 1);

    kgtest::TempFile f(".svg");
    { std::ofstream(f.path(), std::ios::binary) << std::string(100000, 'x'); }
    sbk::writePageSvg(doc, f.path(), ~0u);
    const std::string text = readFile(f.path());
    EXPECT_EQ(text.rfind("<svg ", 0), 0u);
    EXPECT_EQ(text.size() - text.rfind("</svg>\n"), 7u);
    EXPECT_EQ(text.find('x', text.find("</svg>")), std::string::npos);

    if (const char* dir = std::getenv("KG_SVG_OUT")) {
        std::filesystem::create_directories(dir);
        sbk::writePageSvg(doc, (std::filesystem::path(dir) / "sbk_sample.svg").string(), ~0u);
    }
}
