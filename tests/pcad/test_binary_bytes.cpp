// Byte access of the binary reader: bounds, pattern search and the two composite records.
#include <gtest/gtest.h>

#include <stdexcept>

#include "pcad/binary.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;

namespace {

pcad::ByteSpan spanOf(const PcadBinaryBuilder& b) { return pcad::ByteSpan{b.bytes.data(), b.bytes.size()}; }

}  // namespace

TEST(BinaryBytes, ReadsAreBoundsCheckedLittleEndian) {
    PcadBinaryBuilder b;
    b.raw({0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF});
    const pcad::ByteSpan s = spanOf(b);
    EXPECT_EQ(s.readU16(0), 0x1234);
    EXPECT_EQ(s.readU16(4), 0xFFFF);  // size - 2 still fits
    EXPECT_EQ(s.readU32(2), 0xFFFFFFFFu);
    EXPECT_DOUBLE_EQ(s.coord(2), -0.00001);
    EXPECT_THROW(s.readU16(5), std::runtime_error);
    EXPECT_THROW(s.readU32(3), std::runtime_error);
    EXPECT_THROW(s.point(0), std::runtime_error);
    try {
        s.coord(static_cast<std::size_t>(-1));  // must not wrap around
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Truncated P-CAD record");
    }
    const pcad::ByteSpan empty{nullptr, 0};
    EXPECT_THROW(empty.readU16(0), std::runtime_error);
    EXPECT_EQ(empty.find({1}, 0), 0u);
}

TEST(BinaryBytes, FindAndMatchesAtStayInsideTheSpan) {
    PcadBinaryBuilder b;
    b.raw({1, 2, 3, 1, 2, 3, 4, 1, 2});
    const pcad::ByteSpan s = spanOf(b);
    EXPECT_EQ(s.find({1, 2, 3}, 0), 0u);
    EXPECT_EQ(s.find({1, 2, 3}, 1), 3u);
    EXPECT_EQ(s.find({1, 2, 3, 4}, 0), 3u);
    EXPECT_EQ(s.find({1, 2, 9}, 0), 9u);   // only partly present at the end
    EXPECT_EQ(s.find({1, 2}, 8), 9u);      // pattern longer than what is left
    EXPECT_EQ(s.find({1}, 9), 9u);
    EXPECT_EQ(s.find({1}, 100), 9u);
    EXPECT_EQ(s.find({}, 0), 9u);
    EXPECT_TRUE(s.matchesAt(7, {1, 2}));
    EXPECT_FALSE(s.matchesAt(7, {1, 2, 3}));
    EXPECT_FALSE(s.matchesAt(static_cast<std::size_t>(-1), {1}));
}

TEST(BinaryBytes, GraphicRecordFieldsAndEndOfFile) {
    PcadBinaryBuilder b;
    b.fill(5, 0xAA).graphic({.x = 12.5, .y = -3, .sheet = 0x0203, .anchorFlag = 7,
                             .rect = {.x0 = 1, .y0 = 2, .x1 = 30, .y1 = 40}});
    pcad::ByteSpan s = spanOf(b);
    pcad::GraphicRecord g;
    ASSERT_TRUE(s.matchGraphic(5, g));
    EXPECT_EQ(g.offset, 5u);
    EXPECT_DOUBLE_EQ(g.x, 12.5);
    EXPECT_DOUBLE_EQ(g.y, -3);
    EXPECT_EQ(g.sheet, 0x0203);
    EXPECT_EQ(g.anchorFlag, 7);
    EXPECT_DOUBLE_EQ(g.x0, 1);
    EXPECT_DOUBLE_EQ(g.y0, 2);
    EXPECT_DOUBLE_EQ(g.x1, 30);
    EXPECT_DOUBLE_EQ(g.y1, 40);

    // The record's last byte is the file's last byte: matched; one byte short: not.
    s.size -= 1;
    pcad::GraphicRecord untouched;
    untouched.sheet = 99;
    EXPECT_FALSE(s.matchGraphic(5, untouched));
    EXPECT_EQ(untouched.sheet, 99);
    EXPECT_FALSE(s.matchGraphic(static_cast<std::size_t>(-3), untouched));
    s.size += 1;
    b.bytes[5 + 28 + 2] = 0x01;  // broken rectangle tag
    s.data = b.bytes.data();
    EXPECT_FALSE(s.matchGraphic(5, untouched));
}

TEST(BinaryBytes, RectangleIsStoredTopBottomLeftRight) {
    PcadBinaryBuilder b;
    b.pointTag(0, 0).attrTag(0, 0, 1).rectTagRaw(100000, 0, 0, 100000);
    pcad::GraphicRecord g;
    ASSERT_TRUE(spanOf(b).matchGraphic(0, g));
    EXPECT_DOUBLE_EQ(g.y1, 1.0);
    EXPECT_DOUBLE_EQ(g.y0, 0.0);
    EXPECT_DOUBLE_EQ(g.x0, 0.0);
    EXPECT_DOUBLE_EQ(g.x1, 1.0);
}

TEST(BinaryBytes, ShapeRecordHoldsAGraphicRecord) {
    PcadBinaryBuilder b;
    b.shape({.x1 = 1, .y1 = 2, .x2 = 3, .y2 = 4, .sheet = 5, .wireFlag = 1, .anchorFlag = 6,
             .rect = {.x0 = 10, .y0 = 20, .x1 = 30, .y1 = 40}});
    const pcad::ByteSpan s = spanOf(b);
    ASSERT_EQ(s.size, 58u);
    pcad::ShapeRecord r;
    ASSERT_TRUE(s.matchShape(0, r));
    EXPECT_DOUBLE_EQ(r.p1.x, 1);
    EXPECT_DOUBLE_EQ(r.p1.y, 2);
    EXPECT_DOUBLE_EQ(r.p2.x, 3);
    EXPECT_DOUBLE_EQ(r.p2.y, 4);
    EXPECT_EQ(r.sheet, 5);
    EXPECT_EQ(r.wireFlag, 1);
    EXPECT_DOUBLE_EQ(r.x0, 10);
    EXPECT_DOUBLE_EQ(r.y0, 20);
    EXPECT_DOUBLE_EQ(r.x1, 30);
    EXPECT_DOUBLE_EQ(r.y1, 40);

    pcad::GraphicRecord g;
    ASSERT_TRUE(s.matchGraphic(11, g));
    EXPECT_DOUBLE_EQ(g.x, 3);
    EXPECT_EQ(g.anchorFlag, 6);
    EXPECT_EQ(g.sheet, 5);
    EXPECT_FALSE(s.matchShape(1, r));
    const pcad::ByteSpan shortSpan{b.bytes.data(), 57};
    EXPECT_FALSE(shortSpan.matchShape(0, r));
}
