// Byte access of the binary reader: bounds, pattern search and the two composite records.
#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>
#include <vector>

#include "pcad/binary.h"
#include "pcad/binary_passes.h"
#include "support/pcad_binary_builder.h"

using kgtest::PcadBinaryBuilder;

TEST(BinaryBytes, ReadsAndSearchesStayInsideTheSpan) {
    PcadBinaryBuilder b;
    b.raw({0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2});
    const pcad::ByteSpan s{b.bytes.data(), b.bytes.size()};
    EXPECT_EQ(s.readU16(0), 0x1234);
    EXPECT_EQ(s.readU16(6), 0x0201);  // ends exactly at the end
    EXPECT_DOUBLE_EQ(s.coord(2), -0.00001);
    EXPECT_THROW(s.readU16(7), std::runtime_error);
    EXPECT_THROW(s.point(2), std::runtime_error);
    try {
        s.readU32(static_cast<std::size_t>(-2));  // an offset that would wrap around
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Truncated P-CAD record");
    }
    EXPECT_EQ(s.find({0xFF, 0xFF}, 3), 3u);
    EXPECT_EQ(s.find({1, 2, 3}, 0), 8u);  // only partly present at the end
    EXPECT_EQ(s.find({2}, 100), 8u);
    EXPECT_EQ(s.find({}, 0), 8u);
    EXPECT_TRUE(s.matchesAt(6, {1, 2}));
    EXPECT_FALSE(s.matchesAt(7, {2, 0}));
    EXPECT_FALSE(s.matchesAt(static_cast<std::size_t>(-1), {1}));
    EXPECT_EQ(pcad::ByteSpan{}.find({1}, 0), 0u);
}

TEST(BinaryBytes, GraphicRecordUpToTheLastByte) {
    PcadBinaryBuilder b;
    b.fill(5, 0xAA).pointTag(12.5, -3).attrTag(0, 7, 0x0203).rectTagRaw(100000, 0, 0, 100000);
    pcad::ByteSpan s{b.bytes.data(), b.bytes.size()};
    pcad::GraphicRecord g;
    ASSERT_TRUE(s.matchGraphic(5, g));
    EXPECT_EQ(g.offset, 5u);
    EXPECT_EQ(g.x, 12.5);
    EXPECT_EQ(g.y, -3);
    EXPECT_EQ(g.sheet, 0x0203);
    EXPECT_EQ(g.anchorFlag, 7);
    // Stored top, bottom, left, right.
    EXPECT_EQ(g.y1, 1.0);
    EXPECT_EQ(g.y0, 0.0);
    EXPECT_EQ(g.x0, 0.0);
    EXPECT_EQ(g.x1, 1.0);

    s.size -= 1;
    pcad::GraphicRecord untouched;
    untouched.sheet = 99;
    EXPECT_FALSE(s.matchGraphic(5, untouched));
    EXPECT_FALSE(s.matchGraphic(static_cast<std::size_t>(-3), untouched));
    EXPECT_EQ(untouched.sheet, 99);
}

TEST(BinaryBytes, ShapeRecordHoldsAGraphicRecord) {
    PcadBinaryBuilder b;
    b.shape({.x1 = 1,
             .y1 = 2,
             .x2 = 3,
             .y2 = 4,
             .sheet = 5,
             .wireFlag = 1,
             .anchorFlag = 6,
             .rect = {.x0 = 10, .y0 = 20, .x1 = 30, .y1 = 40}});
    const pcad::ByteSpan s{b.bytes.data(), b.bytes.size()};
    pcad::ShapeRecord r;
    ASSERT_TRUE(s.matchShape(0, r));
    EXPECT_EQ(std::make_tuple(r.p1.x, r.p1.y, r.p2.x, r.p2.y), std::make_tuple(1.0, 2.0, 3.0, 4.0));
    EXPECT_EQ(std::make_tuple(r.x0, r.y0, r.x1, r.y1), std::make_tuple(10.0, 20.0, 30.0, 40.0));
    EXPECT_EQ(r.sheet, 5);
    EXPECT_EQ(r.wireFlag, 1);
    pcad::GraphicRecord g;
    ASSERT_TRUE(s.matchGraphic(11, g));
    EXPECT_EQ(g.anchorFlag, 6);
    const pcad::ByteSpan cut{s.data, 57};
    EXPECT_FALSE(cut.matchShape(0, r));
}

TEST(BinaryBytes, CandidateOffsetsInOrderWithinTheirRange) {
    const std::vector<std::uint8_t> bytes = {7, 1, 7, 7, 0, 7};
    const pcad::ByteSpan s{bytes.data(), bytes.size()};
    auto hits = [&](std::size_t from, std::size_t end, std::uint8_t b) {
        std::vector<std::size_t> out;
        pcad::binary::forEachByte(s, from, end, b, [&](std::size_t i) { out.push_back(i); });
        return out;
    };
    EXPECT_EQ(hits(0, 6, 7), (std::vector<std::size_t>{0, 2, 3, 5}));
    EXPECT_EQ(hits(1, 5, 7), (std::vector<std::size_t>{2, 3}));    // end excluded
    EXPECT_EQ(hits(3, 100, 7), (std::vector<std::size_t>{3, 5}));  // end past the span
    EXPECT_TRUE(hits(6, 9, 7).empty());
    EXPECT_TRUE(hits(0, 6, 9).empty());
}
