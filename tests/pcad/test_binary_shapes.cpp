// Lines, circles, their classes, page rectangles of multi-sheet files and junction dots.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;
using kgtest::pcadBinaryFile;
using kgtest::PcadShape;

namespace {

std::vector<pcad::Page> read(const PcadBinaryBuilder& b) {
    return pcad::readBinary(b.bytes.data(), b.bytes.size());
}

PcadShape dot(double x, kgtest::PcadRect rect) {
    return PcadShape{.x1 = x, .y1 = x, .x2 = x, .y2 = x, .rect = rect};
}

PcadShape line(double x1, double y1, double x2, double y2, std::uint16_t sheet = 1, std::uint8_t wire = 0) {
    return PcadShape{
        .x1 = x1, .y1 = y1, .x2 = x2, .y2 = y2, .sheet = sheet, .wireFlag = wire, .rect = {0, 0, 1, 1}};
}

kgtest::PcadGraphic point(double x, double y, kgtest::PcadRect rect = {0, 0, 1, 1}, std::uint16_t sheet = 1) {
    return kgtest::PcadGraphic{.x = x, .y = y, .sheet = sheet, .rect = rect};
}

// centre x, centre y, diameter, width, class, filled
auto summary(const pcad::Circle& c) {
    return std::make_tuple(c.x, c.y, c.diameter, c.width, c.itemClass, c.filled);
}

}  // namespace

TEST(BinaryShapes, CirclesTakeCentreAndWidthFromTheirChain) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).shape(dot(5, {4, 4, 6, 6}));
    b.circleChain(20000, 10, 20).shape(dot(1, {0, 0, 4, 2}));
    b.circleChain(1000, 30, 30).shape(dot(1, {0, 0, 2, 2}));  // 0.01 as a float lies below 0.01
    b.circleChain(500000, 40, 40).shape(dot(1, {0, 0, 2, 2}));
    b.circleChain(500001, 50, 50).shape(dot(1, {0, 0, 2, 2}));
    b.circleChain(20000, 60, 60).fill(1).shape(dot(7, {6, 6, 8, 8}));  // chain not adjacent
    b.shape(dot(1, {0, 0, 0.05, 2}));                                  // too narrow: neither circle nor line
    b.shape(dot(1, {0, 0, 2, 200.5}));                                 // too tall
    const auto pages = read(b);
    const auto& c = pages.at(0).circles;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(pages[0].lines.empty());
    const std::uint8_t sym = pcad::ClassSymbolGraphics, open = 0;
    EXPECT_EQ(summary(c[0]), std::make_tuple(5.0, 5.0, 2.0f, 0.25f, sym, open));
    EXPECT_EQ(summary(c[1]), std::make_tuple(10.0, 20.0, 3.0f, 0.2f, sym, open));
    EXPECT_EQ(c[2].width, 0.25f);
    EXPECT_EQ(c[3].width, 5.0f);
    EXPECT_EQ(c[4].width, 0.25f);
    EXPECT_EQ(summary(c[5]), std::make_tuple(7.0, 7.0, 2.0f, 0.25f, sym, open));
}

TEST(BinaryShapes, LineWidthsDecideWireOrBus) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40);
    b.lineWidth(60000).shape(line(0, 0, 10, 0, 1, 1));
    b.lineWidth(59999).shape(line(0, 1, 10, 1, 1, 1));
    b.shape(line(0, 2, 10, 2, 1, 1));
    b.lineWidth(2000).shape(line(0, 3, 10, 3));
    b.lineWidth(2001).shape(line(0, 4, 10, 4));
    b.lineWidth(500000).shape(line(0, 5, 10, 5));
    b.lineWidth(499999).shape(line(-500, 6, 10, 5000));
    b.shape(line(-500.5, 0, 10, 0));  // implausible coordinates are dropped
    b.shape(line(0, 0, 10, 5000.5));
    b.shape(line(-10, -5000.5, 10, 0));
    const auto pages = read(b);
    std::vector<std::pair<float, int>> got;
    for (const pcad::Line& l : pages.at(0).lines) got.emplace_back(l.width, l.itemClass);
    // Without the anchor every line that is no wire is symbol graphics.
    const int sym = pcad::ClassSymbolGraphics;
    const std::vector<std::pair<float, int>> want = {{0.6f, pcad::ClassBus},  {0.59999f, pcad::ClassWire},
                                                     {0.3f, pcad::ClassWire}, {0.3f, sym},
                                                     {0.02001f, sym},         {0.3f, sym},
                                                     {4.99999f, sym}};
    EXPECT_EQ(got, want);
    const pcad::Line& last = pages[0].lines.back();
    EXPECT_EQ(std::make_tuple(last.x1, last.y1, last.x2, last.y2),
              std::make_tuple(-500.0, 6.0, 10.0, 5000.0));
}

TEST(BinaryShapes, OneSheetClassesFollowTheAnchor) {
    // Anchor at 10150: scan start 10000, frame lines below 18500.
    auto classAt = [](std::size_t offset, double x1, double y1) {
        PcadBinaryBuilder b = pcadBinaryFile();
        b.padTo(9000).shape(line(1, 1, 2, 2));  // before the scan start: not read
        b.padTo(10150).anchor().padTo(offset).shape(line(x1, y1, 300, 200)).fill(20);
        const auto pages = read(b);
        return pages.at(0).lines.size() == 1 ? pages[0].lines[0].itemClass : -1;
    };
    EXPECT_EQ(classAt(18499, 230, 130), pcad::ClassFrame);
    EXPECT_EQ(classAt(18500, 225, 120), pcad::ClassLargeGraphics);
    EXPECT_EQ(classAt(18500, 224.99, 130), pcad::ClassSymbolGraphics);
    EXPECT_EQ(classAt(18500, 230, 119.99), pcad::ClassSymbolGraphics);
}

TEST(BinaryShapes, SeveralSheetsUseRangesAndLineBounds) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "A");
    b.padTo(120).shape(line(10, 5, 400, 100, 1));  // inside sheet 1's range [100, 180): frame
    b.padTo(180).sheet(3, "C");
    b.padTo(200).sheet(2, "B");
    b.padTo(300).shape(line(50, 290, 60, 280, 1));  // outside: symbol graphics
    b.padTo(400).shape(line(0, 0, 100, 50, 2));     // inside sheet 2's range [200, 10200)
    b.shape(line(20, 20, 30, 20, 1, 1));            // wire
    b.shape(line(20, 20, 30, 20, 4));               // no such sheet
    b.graphic(point(101.9, 30, {0, 0, 1, 1}, 2));   // no junction mark
    b.junctionMark().graphic(point(101.9, 31, {0, 0, 1, 1}, 2));
    b.junctionMark().graphic(point(102.1, 32, {0, 0, 1, 1}, 2));
    b.padTo(10300).shape(line(20, 10, 30, 60, 2)).fill(10);  // past sheet 2's range
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 3u);
    auto classes = [](const pcad::Page& p) {
        std::vector<int> v;
        for (const pcad::Line& l : p.lines) v.push_back(l.itemClass);
        return v;
    };
    auto rect = [](const pcad::Page& p) { return std::make_tuple(p.originX, p.originY, p.width, p.height); };
    EXPECT_EQ(classes(pages[0]),
              (std::vector<int>{pcad::ClassFrame, pcad::ClassSymbolGraphics, pcad::ClassWire}));
    EXPECT_EQ(rect(pages[0]), std::make_tuple(10.0, 5.0, 390.0, 285.0));
    EXPECT_EQ(pages[2].name, "B");
    EXPECT_EQ(classes(pages[2]), (std::vector<int>{pcad::ClassFrame, pcad::ClassSymbolGraphics}));
    EXPECT_EQ(rect(pages[2]), std::make_tuple(0.0, 0.0, 100.0, 60.0));
    // Junctions are tested against the rectangle of the lines.
    ASSERT_EQ(pages[2].circles.size(), 1u);
    EXPECT_EQ(pages[2].circles[0].y, 31);
    EXPECT_TRUE(pages[1].lines.empty());
    EXPECT_EQ(rect(pages[1]), std::make_tuple(0.0, 0.0, 421.0, 298.0));
}

TEST(BinaryShapes, JunctionDotsInsideTheWidenedPage) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40);
    b.junctionMark().graphic(point(-2, 100, {0, 0, 0.5, 0.4}));
    b.junctionMark().graphic(point(-2.01, 100));
    b.junctionMark().graphic(point(423, 300, {0, 0, 12, 12}));
    b.junctionMark().graphic(point(10, 10, {0, 0, 0.19, 1}));
    b.junctionMark().graphic(point(20, 20, {5, 5, 4, 4}));
    b.raw({0x2F, 0x00, 0x01}).graphic(point(30, 30));
    const auto pages = read(b);
    const auto& c = pages.at(0).circles;
    ASSERT_EQ(c.size(), 4u);
    const std::uint8_t junction = pcad::ClassJunction, filled = 1;
    EXPECT_EQ(summary(c[0]), std::make_tuple(-2.0, 100.0, 0.4f, 0.0f, junction, filled));
    EXPECT_EQ(summary(c[1]), std::make_tuple(423.0, 300.0, 0.9f, 0.0f, junction, filled));
    EXPECT_EQ(c[2].diameter, 0.9f);
    EXPECT_EQ(c[3].diameter, 0.9f);
}

TEST(BinaryShapes, ArcsAboutTheirChainAndPolygonsAsClosedOutlines) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).circleChain(20000, 10, 10).shape(line(15, 10, 10, 15));  // a quarter turn
    b.circleChain(20000, 10, 10).shape(line(10, 15, 15, 10));            // three quarters
    b.polygon({{0, 0}, {10, 0}, {5, 8}});
    b.padTo(9000).shape(line(230, 130, 300, 200));  // no anchor: no large graphics
    const auto pages = read(b);
    const auto& l = pages.at(0).lines;
    ASSERT_EQ(l.size(), 28u + 84u + 3u + 1u);
    double minX = 10;
    for (std::size_t k = 0; k < 112; ++k) {
        EXPECT_NEAR(std::hypot(l[k].x2 - 10, l[k].y2 - 10), 5, 1e-9);
        EXPECT_EQ(std::make_tuple(l[k].width, l[k].itemClass),
                  std::make_tuple(0.2f, pcad::ClassSymbolGraphics));
        if (k > 0 && k != 28) {
            EXPECT_EQ(std::make_tuple(l[k].x1, l[k].y1), std::make_tuple(l[k - 1].x2, l[k - 1].y2));
        }
        if (k >= 28) minX = std::min(minX, l[k].x2);
    }
    EXPECT_EQ(std::make_tuple(l[0].x1, l[0].y1), std::make_tuple(15.0, 10.0));
    EXPECT_GT(l[13].x2, 13.5);  // counter-clockwise through the upper right
    EXPECT_NEAR(l[27].x2, 10, 1e-9);
    EXPECT_EQ(std::make_tuple(l[28].x1, l[28].y1), std::make_tuple(10.0, 15.0));
    EXPECT_NEAR(minX, 5, 1e-9);  // the long way round passes the left
    EXPECT_NEAR(l[111].y2, 10, 1e-9);

    // The polygon is closed, without its last edge a second time.
    auto ends = [&](std::size_t k) { return std::make_tuple(l[k].x1, l[k].y1, l[k].x2, l[k].y2); };
    EXPECT_EQ(ends(112), std::make_tuple(0.0, 0.0, 10.0, 0.0));
    EXPECT_EQ(ends(113), std::make_tuple(10.0, 0.0, 5.0, 8.0));
    EXPECT_EQ(ends(114), std::make_tuple(5.0, 8.0, 0.0, 0.0));
    EXPECT_EQ(l[115].itemClass, pcad::ClassSymbolGraphics);
}

TEST(BinaryShapes, TitleSheetIsOnEveryPageAndItsTextsAloneAreTitleTexts) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "A").sheet(2, "B");
    b.padTo(20000).shape(line(0, 0, 420, 0, 0)).shape(line(420, 297, 0, 297, 0));
    b.shape({.x1 = 5, .y1 = 5, .x2 = 5, .y2 = 5, .sheet = 0, .rect = {4, 4, 6, 6}});
    b.shape(line(100, 100, 150, 100, 1));
    b.anchoredText("Title", {0, 0}, {.x = 400, .y = 10, .sheet = 0, .rect = {0, 0, 1, 1}});
    b.anchoredText("R1", {0, 0}, {.x = 10, .y = 150, .sheet = 1, .rect = {0, 0, 1, 1}});  // near the edge
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 2u);
    for (const pcad::Page& p : pages) {
        EXPECT_EQ(std::make_tuple(p.originX, p.originY, p.width, p.height),
                  std::make_tuple(0.0, 0.0, 420.0, 297.0));
        ASSERT_GE(p.lines.size(), 2u);
        EXPECT_EQ(p.lines[1].itemClass, pcad::ClassFrame);
        ASSERT_EQ(p.circles.size(), 1u);
        EXPECT_EQ(p.circles[0].itemClass, pcad::ClassFrame);
        EXPECT_EQ(p.texts.at(0).itemClass, pcad::ClassTitleText);
    }
    EXPECT_EQ(pages[0].lines.size(), 3u);
    EXPECT_EQ(pages[1].lines.size(), 2u);
    ASSERT_EQ(pages[0].texts.size(), 2u);
    EXPECT_EQ(pages[0].texts[1].itemClass, pcad::ClassFreeText);
    EXPECT_EQ(pages[1].texts.size(), 1u);
}
