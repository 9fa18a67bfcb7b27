#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pcad/ascii.h"
#include "pcad/page.h"
#include "tests/pcad/page_grid_access.h"

using namespace pcad;
using Grid = pcad::PageGridAccess;

namespace {

Line line(double x1, double y1, double x2, double y2) { return {x1, y1, x2, y2}; }

std::vector<std::uint32_t> found(const Page& p, double x0, double y0, double x1, double y1) {
    std::vector<std::uint32_t> out;
    p.query(x0, y0, x1, y1, [&out](const Item& it) { out.push_back(it.index); });
    return out;
}

}  // namespace

TEST(PcadIndex, GridSizeFollowsPageAndIsCapped) {
    Page p;
    p.buildIndex();
    EXPECT_EQ(Grid::cols(p), 22);
    EXPECT_EQ(Grid::rows(p), 15);
    EXPECT_EQ(Grid::cells(p).size(), 22u * 15u);
    EXPECT_EQ(Grid::maxX(p), 421);
    EXPECT_EQ(Grid::maxY(p), 298);

    p.width = 10000;
    p.height = std::numeric_limits<double>::quiet_NaN();
    p.buildIndex();
    EXPECT_EQ(Grid::cols(p), 128);
    EXPECT_EQ(Grid::rows(p), 1);

    p.width = -50;
    p.height = std::numeric_limits<double>::infinity();
    p.buildIndex();
    EXPECT_EQ(Grid::cols(p), 1);
    EXPECT_EQ(Grid::rows(p), 128);
}

TEST(PcadIndex, ItemsGetBoxesAndLandInCells) {
    Page p;
    p.lines.push_back(line(30, 50, 10, 5));
    p.circles.push_back({100, 100, 4});
    p.texts.emplace_back();
    p.lines.push_back(line(-50, -50, -40, -40));  // wholly off the page
    p.buildIndex();

    ASSERT_EQ(p.items.size(), 4u);
    EXPECT_EQ(p.items[0].kind, 0);
    EXPECT_EQ(p.items[0].minX, 10);
    EXPECT_EQ(p.items[0].maxY, 50);
    EXPECT_EQ(p.items[1].kind, 0);
    EXPECT_EQ(p.items[1].index, 1u);
    EXPECT_EQ(p.items[2].kind, 1);
    EXPECT_EQ(p.items[2].minX, 98);
    EXPECT_EQ(p.items[3].kind, 2);

    // Line 0 spans columns 0..1 and rows 0..2, and nothing else.
    std::size_t cellsWithLine0 = 0;
    for (const auto& cell : Grid::cells(p)) {
        for (std::uint32_t n : cell) cellsWithLine0 += (n == 0);
    }
    EXPECT_EQ(cellsWithLine0, 6u);
    EXPECT_EQ(Grid::cells(p)[2 * 22 + 1], std::vector<std::uint32_t>{0});

    // The off-page line is in no cell and never found, however large the rectangle.
    EXPECT_EQ(found(p, -1e300, -1e300, 1e300, 1e300), (std::vector<std::uint32_t>{0, 0, 0}));
}

TEST(PcadIndex, QueryReturnsEachMeetingItemOnceInWalkOrder) {
    Page p;
    p.lines.push_back(line(300, 200, 320, 200));  // upper right
    p.lines.push_back(line(0, 0, 421, 298));      // spans the whole grid
    p.lines.push_back(line(5, 5, 6, 6));          // lower left
    p.buildIndex();

    // Bottom row first, so line 1 (found in cell 0) then line 2, then line 0.
    std::vector<Item> all;
    p.query(0, 0, 421, 298, [&all](const Item& it) { all.push_back(it); });
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].index, 1u);
    EXPECT_EQ(all[1].index, 2u);
    EXPECT_EQ(all[2].index, 0u);

    // Touching an edge counts; a hair beyond does not.
    EXPECT_EQ(found(p, 6, 6, 7, 7), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(found(p, 320, 200, 330, 210), (std::vector<std::uint32_t>{0, 1}));
    EXPECT_EQ(found(p, 6.001, 0, 7, 1), (std::vector<std::uint32_t>{1}));

    // Rectangles past the page clamp to the outer cells; ones beside it find nothing.
    EXPECT_EQ(found(p, 319, 199, 1e9, 1e9).size(), 2u);
    EXPECT_TRUE(found(p, 500, 0, 600, 10).empty());
    EXPECT_TRUE(found(p, -10, -10, -1, -1).empty());
}

TEST(PcadIndex, DegenerateInputsNeverMisbehave) {
    Page fresh;
    fresh.lines.push_back(line(1, 1, 2, 2));
    EXPECT_TRUE(found(fresh, -1e9, -1e9, 1e9, 1e9).empty());  // not built yet

    Page flat;
    flat.width = 0;
    flat.lines.push_back(line(0, 10, 0, 200));
    flat.lines.push_back(line(0, 5, 1, 5));
    flat.buildIndex();
    EXPECT_EQ(Grid::cols(flat), 1);
    EXPECT_EQ(found(flat, 0, 0, 0, 298).size(), 2u);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Page odd;
    odd.lines.push_back(line(nan, 1, 2, nan));
    odd.lines.push_back(line(-inf, 10, inf, 10));
    odd.circles.push_back({nan, 0, 2});
    odd.buildIndex();
    EXPECT_EQ(found(odd, -inf, -inf, inf, inf), (std::vector<std::uint32_t>{1}));
    EXPECT_TRUE(found(odd, nan, nan, nan, nan).empty());
    EXPECT_EQ(found(odd, 1e300, 9, 1e301, 11), (std::vector<std::uint32_t>{}));
    EXPECT_EQ(found(odd, 400, 9, 1e301, 11), (std::vector<std::uint32_t>{1}));
}

TEST(PcadIndex, ItemsOverManyCellsKeepTheWalkOrder) {
    // A 200 by 200 page has 10 by 10 cells. Lines 1 and 4 cover many cells each; the
    // query must still return them where the row-major walk meets them first, in index
    // order with the other items of that cell.
    Page p;
    p.width = 200;
    p.height = 200;
    p.lines.push_back(line(25, 25, 26, 26));    // row 1, column 1
    p.lines.push_back(line(0, 0, 200, 200));    // every cell
    p.lines.push_back(line(5, 5, 6, 6));        // row 0, column 0
    p.lines.push_back(line(65, 25, 66, 26));    // row 1, column 3
    p.lines.push_back(line(50, 30, 190, 190));  // rows 1-9, columns 2-9
    p.buildIndex();
    EXPECT_EQ(found(p, 0, 0, 200, 200), (std::vector<std::uint32_t>{1, 2, 0, 4, 3}));
    EXPECT_EQ(found(p, 60, 0, 200, 200), (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_EQ(found(p, 60, 21, 200, 200), (std::vector<std::uint32_t>{1, 3, 4}));
    EXPECT_EQ(found(p, 100, 100, 120, 120), (std::vector<std::uint32_t>{1, 4}));
    EXPECT_EQ(found(p, 0, 150, 20, 200), (std::vector<std::uint32_t>{1}));  // by its box

    // Thousands of page-wide diagonals do not fill every cell with thousands of entries.
    Page big;
    big.width = 5000;
    big.height = 5000;
    for (int k = 0; k < 2000; ++k) big.lines.push_back(line(k, 0, 5000 - k, 5000));
    big.buildIndex();
    std::size_t entries = 0;
    for (const auto& cell : Grid::cells(big)) entries += cell.size();
    EXPECT_EQ(entries, 0u);
    EXPECT_EQ(found(big, 2490, 2490, 2510, 2510).size(), 2000u);
}

// The grid's memory follows what a page holds: the thousand sheets of 128 by 128 cells that a
// file may have cost next to nothing when empty, and a page of many items no more than a list
// per cell would.
TEST(PcadIndex, GridMemoryFollowsTheItems) {
    std::string s =
        "ACCEL_ASCII \"m.sch\"\n(schematicDesign \"D\" (schDesignHeader (workspaceSize 5000 5000)) (sheet "
        "\"S\" (line (pt 1 1) (pt 30 40)))";
    for (int k = 1; k < 1000; ++k) s += " (sheet)";
    s += ")";
    const std::vector<Page> pages = readAscii(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    ASSERT_EQ(pages.size(), 1000u);
    ASSERT_EQ(pages[0].items.size(), 1u);
    std::size_t bytes = 0;
    for (const Page& p : pages) bytes += Grid::gridBytes(p);
    EXPECT_LT(bytes, 256u);  // the few cells of one line

    Page full;
    full.width = full.height = 10000;  // 128 by 128 cells
    for (int k = 0; k < 100000; ++k) full.lines.push_back(line(k % 9973, k % 9967, k % 9973 + 50, k % 9967));
    full.buildIndex();
    std::size_t entries = 0;
    for (const auto& cell : Grid::cells(full)) entries += cell.size();
    EXPECT_LE(Grid::gridBytes(full), 128 * 128 * sizeof(std::vector<std::uint32_t>) + entries * 4);
}
