// Lines, circles, their classes, page rectangles of multi-sheet files and junction dots.
#include <gtest/gtest.h>

#include <vector>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;
using kgtest::PcadShape;
using kgtest::pcadBinaryFile;

namespace {

std::vector<pcad::Page> read(const PcadBinaryBuilder& b) { return pcad::readBinary(b.bytes.data(), b.bytes.size()); }

PcadShape dotShape(double x, double y, kgtest::PcadRect rect) {
    return PcadShape{.x1 = x, .y1 = y, .x2 = x, .y2 = y, .rect = rect};
}

PcadShape lineShape(double x1, double y1, double x2, double y2, std::uint16_t sheet = 1, std::uint8_t wire = 0) {
    return PcadShape{.x1 = x1, .y1 = y1, .x2 = x2, .y2 = y2, .sheet = sheet, .wireFlag = wire, .rect = {0, 0, 1, 1}};
}

}  // namespace

TEST(BinaryShapes, CirclesTakeCentreAndWidthFromTheirChain) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40).shape(dotShape(5, 5, {4, 4, 6, 6}));
    b.circleChain(20000, 10, 20).shape(dotShape(1, 1, {0, 0, 4, 2}));
    b.circleChain(1000, 30, 30).shape(dotShape(1, 1, {0, 0, 2, 2}));
    b.circleChain(500000, 40, 40).shape(dotShape(1, 1, {0, 0, 2, 2}));
    b.circleChain(500001, 50, 50).shape(dotShape(1, 1, {0, 0, 2, 2}));
    b.fill(3).circleChain(20000, 60, 60).fill(1).shape(dotShape(7, 7, {6, 6, 8, 8}));  // chain not adjacent
    b.shape(dotShape(1, 1, {0, 0, 0.05, 2}));   // too narrow: neither circle nor line
    b.shape(dotShape(1, 1, {0, 0, 2, 200.5}));  // too tall
    const auto pages = read(b);
    const auto& c = pages.at(0).circles;
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(pages[0].lines.empty());

    EXPECT_DOUBLE_EQ(c[0].x, 5);
    EXPECT_DOUBLE_EQ(c[0].y, 5);
    EXPECT_FLOAT_EQ(c[0].diameter, 2);
    EXPECT_EQ(c[0].width, 0.25f);
    EXPECT_EQ(c[0].itemClass, pcad::ClassSymbolGraphics);
    EXPECT_EQ(c[0].filled, 0);

    EXPECT_DOUBLE_EQ(c[1].x, 10);
    EXPECT_DOUBLE_EQ(c[1].y, 20);
    EXPECT_FLOAT_EQ(c[1].diameter, 3);
    EXPECT_EQ(c[1].width, 0.2f);

    EXPECT_EQ(c[2].width, 0.25f);  // 0.01 as a float lies just below 0.01
    EXPECT_EQ(c[3].width, 5.0f);
    EXPECT_EQ(c[4].width, 0.25f);
    EXPECT_DOUBLE_EQ(c[5].x, 7);
    EXPECT_EQ(c[5].width, 0.25f);
}

TEST(BinaryShapes, LineWidthsDecideWireOrBus) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40);
    b.lineWidth(60000).shape(lineShape(0, 0, 10, 0, 1, 1));
    b.lineWidth(59999).shape(lineShape(0, 1, 10, 1, 1, 1));
    b.shape(lineShape(0, 2, 10, 2, 1, 1));
    b.lineWidth(2000).shape(lineShape(0, 3, 10, 3));
    b.lineWidth(2001).shape(lineShape(0, 4, 10, 4));
    b.lineWidth(500000).shape(lineShape(0, 5, 10, 5));
    b.lineWidth(499999).shape(lineShape(0, 6, 10, 6));
    const auto pages = read(b);
    const auto& l = pages.at(0).lines;
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[0].width, 0.6f);
    EXPECT_EQ(l[0].itemClass, pcad::ClassBus);
    EXPECT_EQ(l[1].width, 0.59999f);
    EXPECT_EQ(l[1].itemClass, pcad::ClassWire);
    EXPECT_EQ(l[2].width, 0.3f);
    EXPECT_EQ(l[2].itemClass, pcad::ClassWire);
    EXPECT_EQ(l[3].width, 0.3f);
    EXPECT_EQ(l[3].itemClass, pcad::ClassFrame);
    EXPECT_EQ(l[4].width, 0.02001f);
    EXPECT_EQ(l[5].width, 0.3f);
    EXPECT_EQ(l[6].width, 4.99999f);
    EXPECT_DOUBLE_EQ(l[6].x2, 10);
    EXPECT_DOUBLE_EQ(l[6].y1, 6);
}

TEST(BinaryShapes, OneSheetClassesFollowTheAnchor) {
    // Anchor at 10150 puts the scan start at 10000 and the frame region below 18500.
    auto classAt = [](std::size_t offset, double x1, double y1) {
        PcadBinaryBuilder b = pcadBinaryFile();
        b.padTo(9000).shape(lineShape(1, 1, 2, 2));  // before the scan start: not read
        b.padTo(10150).anchor();
        b.padTo(offset).shape(lineShape(x1, y1, 300, 200)).fill(20);
        const auto pages = read(b);
        EXPECT_EQ(pages.at(0).lines.size(), 1u);
        return pages.at(0).lines.empty() ? -1 : pages[0].lines[0].itemClass;
    };
    EXPECT_EQ(classAt(18499, 230, 130), pcad::ClassFrame);
    EXPECT_EQ(classAt(18500, 230, 130), pcad::ClassLargeGraphics);
    EXPECT_EQ(classAt(18500, 225, 120), pcad::ClassLargeGraphics);
    EXPECT_EQ(classAt(18500, 224.99, 130), pcad::ClassSymbolGraphics);
    EXPECT_EQ(classAt(18500, 230, 119.99), pcad::ClassSymbolGraphics);
}

TEST(BinaryShapes, ImplausibleCoordinatesAreDropped) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40);
    b.shape(lineShape(-500.5, 0, 10, 0));
    b.shape(lineShape(0, 0, 10, 5000.5));
    b.shape(lineShape(-10, -5000.5, 10, 0));
    b.shape(lineShape(-500, 0, 10, 5000));
    const auto pages = read(b);
    ASSERT_EQ(pages.at(0).lines.size(), 1u);
    EXPECT_DOUBLE_EQ(pages[0].lines[0].x1, -500);
}

TEST(BinaryShapes, SeveralSheetsUseRangesAndLineBounds) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(100).sheet(1, "A");
    b.padTo(120).shape(lineShape(10, 5, 400, 100, 1));  // inside sheet 1's range: frame
    b.padTo(180).sheet(3, "C");
    b.padTo(200).sheet(2, "B");
    b.padTo(300).shape(lineShape(50, 290, 60, 280, 1));     // outside: symbol graphics
    b.padTo(400).shape(lineShape(0, 0, 100, 50, 2));        // inside sheet 2's range
    b.shape(lineShape(20, 20, 30, 20, 1, 1));               // wire
    b.shape(lineShape(20, 20, 30, 20, 4));                  // no such sheet
    b.graphic({.x = 101.9, .y = 30, .sheet = 2, .rect = {0, 0, 1, 1}});  // not a junction: no mark
    b.junctionMark().graphic({.x = 101.9, .y = 30, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.junctionMark().graphic({.x = 102.1, .y = 30, .sheet = 2, .rect = {0, 0, 1, 1}});
    b.padTo(10300).shape(lineShape(20, 10, 30, 60, 2));     // past sheet 2's range
    b.fill(10);
    const auto pages = read(b);
    ASSERT_EQ(pages.size(), 3u);

    const pcad::Page& a = pages[0];
    ASSERT_EQ(a.lines.size(), 3u);
    EXPECT_EQ(a.lines[0].itemClass, pcad::ClassFrame);
    EXPECT_EQ(a.lines[1].itemClass, pcad::ClassSymbolGraphics);
    EXPECT_EQ(a.lines[2].itemClass, pcad::ClassWire);
    EXPECT_DOUBLE_EQ(a.originX, 10);
    EXPECT_DOUBLE_EQ(a.originY, 5);
    EXPECT_DOUBLE_EQ(a.width, 390);
    EXPECT_DOUBLE_EQ(a.height, 285);

    const pcad::Page& bp = pages[2];
    EXPECT_EQ(bp.name, "B");
    ASSERT_EQ(bp.lines.size(), 2u);
    EXPECT_EQ(bp.lines[0].itemClass, pcad::ClassFrame);
    EXPECT_EQ(bp.lines[1].itemClass, pcad::ClassSymbolGraphics);
    EXPECT_DOUBLE_EQ(bp.originX, 0);
    EXPECT_DOUBLE_EQ(bp.width, 100);
    EXPECT_DOUBLE_EQ(bp.height, 60);
    // Junctions are tested against the rectangle of the lines.
    ASSERT_EQ(bp.circles.size(), 1u);
    EXPECT_DOUBLE_EQ(bp.circles[0].x, 101.9);

    const pcad::Page& c = pages[1];
    EXPECT_TRUE(c.lines.empty());
    EXPECT_DOUBLE_EQ(c.width, 421);
    EXPECT_DOUBLE_EQ(c.height, 298);
    EXPECT_DOUBLE_EQ(c.originX, 0);
}

TEST(BinaryShapes, JunctionDotsInsideTheWidenedPage) {
    PcadBinaryBuilder b = pcadBinaryFile();
    b.padTo(40);
    b.junctionMark().graphic({.x = -2, .y = 100, .rect = {0, 0, 0.5, 0.4}});
    b.junctionMark().graphic({.x = -2.01, .y = 100, .rect = {0, 0, 1, 1}});
    b.junctionMark().graphic({.x = 423, .y = 300, .rect = {0, 0, 12, 12}});
    b.junctionMark().graphic({.x = 10, .y = 10, .rect = {0, 0, 0.19, 1}});
    b.junctionMark().graphic({.x = 20, .y = 20, .rect = {5, 5, 4, 4}});
    b.raw({0x2F, 0x00, 0x01}).graphic({.x = 30, .y = 30, .rect = {0, 0, 1, 1}});
    const auto pages = read(b);
    const auto& c = pages.at(0).circles;
    ASSERT_EQ(c.size(), 4u);
    EXPECT_DOUBLE_EQ(c[0].x, -2);
    EXPECT_FLOAT_EQ(c[0].diameter, 0.4f);
    EXPECT_EQ(c[0].width, 0.0f);
    EXPECT_EQ(c[0].itemClass, pcad::ClassJunction);
    EXPECT_EQ(c[0].filled, 1);
    EXPECT_DOUBLE_EQ(c[1].x, 423);
    EXPECT_FLOAT_EQ(c[1].diameter, 0.9f);
    EXPECT_FLOAT_EQ(c[2].diameter, 0.9f);
    EXPECT_FLOAT_EQ(c[3].diameter, 0.9f);
}
