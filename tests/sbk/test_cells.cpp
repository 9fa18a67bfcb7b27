// Symbol cells: the table of contents, the name index and cell geometry.
#include "sbk/compound_file.h"
#include "sbk/document.h"
#include "sbk/scan.h"
#include "support/sbk_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> namesOf(const kgtest::SbkFileBuilder& b) {
    kgtest::TempFile f(b.bytes(), ".SBK");
    return sbk::readCellNames(sbk::CompoundFile::open(f.path()));
}

Bytes tocBytes(uint16_t count, const std::vector<std::string>& entries) {
    Bytes toc;
    kgtest::putU16(toc, count);
    for (const auto& e : entries) {
        toc.push_back(static_cast<uint8_t>(e.size()));
        toc.insert(toc.end(), e.begin(), e.end());
    }
    return toc;
}

TEST(SbkCells, NamesAreCutAtTheLastSemicolon) {
    kgtest::SbkFileBuilder b;
    b.addPage(kgtest::CircuitBuilder().bytes());
    b.addCellName("R;1");
    b.addCellName("A;B;C");
    b.addCellName(";");
    b.addCellName("Plain");
    b.addCellName("Caf\xE9;2");
    EXPECT_EQ(namesOf(b), (std::vector<std::string>{"R", "A;B", "", "Plain", "Caf\xC3\xA9"}));
}

TEST(SbkCells, TableOfContentsEndsAtTheFirstBadEntry) {
    auto namesFromToc = [](Bytes toc) {
        kgtest::SbkFileBuilder b;
        b.addPage(kgtest::CircuitBuilder().bytes());
        b.setTableOfContents(std::move(toc));
        return namesOf(b);
    };
    EXPECT_TRUE(namesFromToc({2, 0}).empty());
    EXPECT_TRUE(namesFromToc(tocBytes(0, {"A", "B"})).empty());
    EXPECT_EQ(namesFromToc(tocBytes(5, {"A", "", "B"})), (std::vector<std::string>{"A"}));
    EXPECT_EQ(namesFromToc(tocBytes(5, {"A", std::string(129, 'x'), "B"})), (std::vector<std::string>{"A"}));
    EXPECT_EQ(namesFromToc(tocBytes(5, {"A", std::string(128, 'x')})).size(), 2u);
    // The count limits the entries read, and an entry longer than what is
    // left ends the list.
    EXPECT_EQ(namesFromToc(tocBytes(1, {"A", "B"})), (std::vector<std::string>{"A"}));
    Bytes cut = tocBytes(3, {"A", "LONGNAME"});
    cut.resize(cut.size() - 1);
    EXPECT_EQ(namesFromToc(cut), (std::vector<std::string>{"A"}));
    std::vector<std::string> many(4100, "N");
    EXPECT_EQ(namesFromToc(tocBytes(5000, many)).size(), 4096u);
    // No table at all.
    kgtest::SbkFileBuilder none;
    none.addPage(kgtest::CircuitBuilder().bytes());
    EXPECT_TRUE(namesOf(none).empty());
}

TEST(SbkCells, NameIndexIsCaseInsensitiveAndFirstWins) {
    std::vector<std::string> names = {"R", "C", "Gnd", "X", "Y", "GND", "\xC3\x84rde"};
    sbk::CellNameIndex index = sbk::buildCellNameIndex(names);
    EXPECT_EQ(sbk::findCell(index, "gnd"), 2);
    EXPECT_EQ(sbk::findCell(index, "GND"), 2);
    EXPECT_EQ(sbk::findCell(index, "Gnd"), 2);
    EXPECT_EQ(sbk::findCell(index, "c"), 1);
    EXPECT_EQ(sbk::findCell(index, "missing"), -1);
    // Only ASCII letters fold; other bytes must match exactly.
    EXPECT_EQ(sbk::findCell(index, "\xC3\x84RDE"), 6);
    EXPECT_EQ(sbk::findCell(index, "\xC3\xA4rde"), -1);
    EXPECT_EQ(sbk::toLower("AbZ@[`az\x80\xC4"), "abz@[`az\x80\xC4");
}

TEST(SbkCells, CellsWithoutStreamsAreNotLoaded) {
    kgtest::SbkFileBuilder b;
    b.addPage(kgtest::CircuitBuilder().bytes());
    kgtest::CellBuilder cell;
    cell.geometry(0x80, 8, {0, 0, 10, 10});
    for (int i = 0; i < 6; ++i) {
        if (i == 3)
            b.addCellName("MISSING");
        else
            b.addCell("CELL" + std::to_string(i), i == 4 ? Bytes{} : cell.bytes());
    }
    kgtest::TempFile f(b.bytes(), ".SBK");
    sbk::PageStats st = sbk::loadPage(f.path(), 0).stats();
    EXPECT_EQ(st.cellNames, 6u);
    EXPECT_EQ(st.cellsLoaded, 5u);  // an empty stream is still a loaded cell
    auto cells = sbk::loadCells(sbk::CompoundFile::open(f.path()), 6);
    EXPECT_EQ(cells.count(3), 0u);
    ASSERT_EQ(cells.count(4), 1u);
    EXPECT_TRUE(cells.at(4).primitives.empty());
    EXPECT_EQ(cells.at(5).primitives.size(), 1u);
}

std::vector<sbk::CellPrimitive> geometry(uint8_t tag, uint8_t kind, const std::vector<int32_t>& values) {
    return sbk::parseCellGeometry(kgtest::CellBuilder().geometry(tag, kind, values).bytes());
}

TEST(SbkCells, CellStreamsSharingOneChainReadNoMoreThanTheFile) {
    // Sixty-four directory entries all pointing at one 6 KB chain: reading
    // each would scan the same data again for every entry.
    kgtest::CellBuilder big;
    std::vector<int32_t> values(512, 7);
    for (int i = 0; i < 3; ++i) big.geometry(0x80, 8, values);
    kgtest::SbkFileBuilder b;
    b.addPage(kgtest::CircuitBuilder().bytes());
    b.addCell("BIG", big.bytes());
    constexpr int kCells = 64;
    for (int i = 1; i < kCells; ++i) b.addCell("SMALL" + std::to_string(i), Bytes{1});
    kgtest::CompoundFileImage img = b.build();
    const auto& shared = img.stream("Celltypes/0");
    ASSERT_FALSE(shared.mini);
    for (int i = 1; i < kCells; ++i) {
        const uint64_t at = img.dirEntryOffset(img.entryIndex("Celltypes/" + std::to_string(i)));
        img.setU32(at + kgtest::cfb::kEntryStart, shared.chain.front());
        img.setU64(at + kgtest::cfb::kEntrySize, shared.size);
    }
    kgtest::TempFile f(img.bytes, ".SBK");
    auto cells = sbk::loadCells(sbk::CompoundFile::open(f.path()), kCells);
    ASSERT_EQ(cells.count(0), 1u);
    EXPECT_EQ(cells.at(0).primitives.size(), 3u);
    EXPECT_LE(cells.size() * shared.size, img.bytes.size());
    EXPECT_GE(cells.size(), 1u);
}

TEST(SbkCells, GeometryShapes) {
    auto curve = geometry(0x82, 24, {9, 1, 2, 3, 4, 5, 6});
    ASSERT_EQ(curve.size(), 1u);
    EXPECT_EQ(curve[0].shape, 1);
    EXPECT_EQ(curve[0].tag, 0x82);
    ASSERT_EQ(curve[0].points.size(), 3u);
    EXPECT_EQ(curve[0].points[0].x, 1);
    EXPECT_EQ(curve[0].points[0].y, 2);
    EXPECT_EQ(curve[0].points[1].x, 3);
    EXPECT_EQ(curve[0].points[2].y, 6);

    EXPECT_TRUE(geometry(0x83, 24, {9, 1, 2, 3, 4, 5, 6}).empty());  // odd count, no curve tag
    auto poly = geometry(0x82, 24, {1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(poly.size(), 1u);
    EXPECT_EQ(poly[0].shape, 0);
    EXPECT_EQ(poly[0].points.size(), 4u);

    auto ellipse = geometry(0x8F, 48, {-10, -20, 10, 20});
    ASSERT_EQ(ellipse.size(), 1u);
    EXPECT_EQ(ellipse[0].shape, 2);
    EXPECT_EQ(ellipse[0].points[0].x, -10);
    EXPECT_EQ(ellipse[0].points[1].y, 20);
    auto notEllipse = geometry(0x80, 48, {0, 0, 1, 1, 2, 2});
    ASSERT_EQ(notEllipse.size(), 1u);
    EXPECT_EQ(notEllipse[0].shape, 0);
    EXPECT_EQ(notEllipse[0].points.size(), 3u);
}

TEST(SbkCells, GeometryRecordTests) {
    EXPECT_EQ(geometry(0x80, 8, {30000, -30000, 0, 0}).size(), 1u);
    EXPECT_TRUE(geometry(0x80, 8, {30001, 0, 0, 0}).empty());
    EXPECT_TRUE(geometry(0x80, 8, {0, 0, 0, -30001}).empty());
    EXPECT_TRUE(geometry(0x80, 9, {0, 0, 1, 1}).empty());
    EXPECT_TRUE(geometry(0x90, 8, {0, 0, 1, 1}).empty());
    EXPECT_TRUE(geometry(0x7F, 8, {0, 0, 1, 1}).empty());
    EXPECT_TRUE(geometry(0x80, 8, {0, 0, 1}).empty());  // fewer than 4 values
    EXPECT_EQ(geometry(0x80, 80, std::vector<int32_t>(512, 3)).size(), 1u);
    EXPECT_TRUE(geometry(0x80, 80, std::vector<int32_t>(513, 3)).empty());
    for (uint8_t kind : {8, 10, 12, 14, 16, 24, 26, 27, 28, 32, 40, 48, 60, 62, 80})
        EXPECT_EQ(geometry(0x85, kind, {0, 0, 5, 5}).size(), 1u) << int(kind);

    // Values that would run past the end of the stream are not read.
    Bytes rec = kgtest::sbkGeometryRecord(0x80, 8, {0, 0, 1, 1});
    rec.pop_back();
    EXPECT_TRUE(sbk::parseCellGeometry(rec).empty());
    rec = kgtest::sbkGeometryRecord(0x80, 8, {0, 0, 1, 1});
    EXPECT_EQ(sbk::parseCellGeometry(rec).size(), 1u);  // ending exactly at the end
    EXPECT_TRUE(sbk::parseCellGeometry(Bytes{0x80, 0x01, 0x08, 0x00, 0x04, 0, 0}).empty());

    // Records in stream order; a dropped one does not hide the next.
    Bytes two = kgtest::sbkGeometryRecord(0x80, 8, {0, 0, 40000, 0});
    Bytes b1 = kgtest::sbkGeometryRecord(0x81, 8, {1, 1, 2, 2});
    Bytes b2 = kgtest::sbkGeometryRecord(0x84, 10, {3, 3, 4, 4});
    two.insert(two.end(), b1.begin(), b1.end());
    two.insert(two.end(), b2.begin(), b2.end());
    auto prims = sbk::parseCellGeometry(two);
    ASSERT_EQ(prims.size(), 2u);
    EXPECT_EQ(prims[0].tag, 0x81);
    EXPECT_EQ(prims[1].tag, 0x84);
}

}  // namespace
