// Tests of the SBK page document: added polylines and texts, layers, box and grid query.
#include "sbk/document.h"

#include "sbk/document_access.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <type_traits>

namespace {

constexpr uint8_t kWires = static_cast<uint8_t>(sbk::Layer::Wires);
constexpr uint8_t kSymbols = static_cast<uint8_t>(sbk::Layer::Symbols);

void addLine(sbk::Document& doc, uint8_t layer, double x0, double y0, double x1, double y1) {
    doc.addPolyline(layer, 0, {{x0, y0}, {x1, y1}}, 0);
}

// Number of grid cells that list polyline i.
size_t cellsHolding(const sbk::Document& doc, uint32_t i) {
    size_t n = 0;
    for (const auto& [key, list] : sbk::DocumentAccess::record(doc).grid)
        for (uint32_t j : list) n += j == i;
    return n;
}

bool listsCell(const sbk::Document& doc, int32_t cx, int32_t cy, uint32_t i) {
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
    const auto it = sbk::DocumentAccess::record(doc).grid.find(key);
    if (it == sbk::DocumentAccess::record(doc).grid.end()) return false;
    for (uint32_t j : it->second)
        if (j == i) return true;
    return false;
}

std::vector<uint32_t> bruteForce(const sbk::Document& doc, const sbk::Rect& r, uint32_t mask) {
    std::vector<uint32_t> out;
    const auto& pls = doc.polylines();
    for (uint32_t i = 0; i < pls.size(); ++i) {
        const auto& p = pls[i];
        if ((mask & (1u << (p.layer % 32))) && r.minX <= p.maxX && p.minX <= r.maxX && r.minY <= p.maxY &&
            p.minY <= r.maxY)
            out.push_back(i);
    }
    return out;
}

}  // namespace

static_assert(!std::is_copy_constructible_v<sbk::Document>);
static_assert(std::is_nothrow_move_constructible_v<sbk::Document>);

TEST(SbkDocument, StartsEmptyWithTheDefaultBox) {
    sbk::Document doc;
    const auto b = doc.bounds();
    EXPECT_EQ(b.minX, -1000);
    EXPECT_EQ(b.minY, -1000);
    EXPECT_EQ(b.maxX, 1000);
    EXPECT_EQ(b.maxY, 1000);
    EXPECT_EQ(doc.pageCount(), 1u);
    const auto s = doc.stats();
    EXPECT_EQ(s.pageCount, 1u);
    EXPECT_EQ(s.pageIndex, 0u);
    EXPECT_EQ(s.polylineCount + s.textCount + s.symbols + s.wires + s.terminals, 0u);
    EXPECT_FALSE(s.hasFrame);
    EXPECT_EQ(sbk::DocumentAccess::record(doc).cellSize, 500);

    sbk::DocumentAccess::record(doc).stats.headerWord = 0xCAFEBABE;
    sbk::DocumentAccess::record(doc).stats.pageCount = 3;
    sbk::DocumentAccess::record(doc).stats.pageIndex = 2;
    sbk::DocumentAccess::record(doc).stats.symbols = 7;
    sbk::DocumentAccess::record(doc).stats.hasFrame = true;
    sbk::Document moved = std::move(doc);
    EXPECT_EQ(moved.stats().headerWord, 0xCAFEBABEu);
    EXPECT_EQ(moved.stats().symbols, 7u);
    EXPECT_TRUE(moved.stats().hasFrame);
    EXPECT_EQ(moved.pageCount(), 3u);
    EXPECT_EQ(moved.stats().pageIndex, 2u);
}

TEST(SbkDocument, PolylineAndTextBoxes) {
    sbk::Document doc;
    doc.addPolyline(kSymbols, 0, {{5, 5}}, 1);  // one point: dropped
    doc.addPolyline(kSymbols, 0, {}, 1);
    EXPECT_TRUE(doc.polylines().empty());

    doc.addPolyline(kSymbols, 1, {{10, -3}, {-4, 8}, {6, 20}}, 0x82);
    ASSERT_EQ(doc.polylines().size(), 1u);
    const auto& p = doc.polylines()[0];
    EXPECT_EQ(p.shape, 1);
    EXPECT_EQ(p.style, 0x82);
    EXPECT_EQ(p.minX, -4);
    EXPECT_EQ(p.minY, -3);
    EXPECT_EQ(p.maxX, 10);
    EXPECT_EQ(p.maxY, 20);
    EXPECT_EQ(p.points.size(), 3u);

    doc.addText(7, 10, 20, "", 10, 0);  // empty: dropped
    doc.addText(7, 10, 20, "ab", 10, 0);
    doc.addText(7, 10, 20, "ab", 10, 1);
    doc.addText(7, 0, 0, "x", 1, 0);
    ASSERT_EQ(doc.texts().size(), 3u);
    const auto& t0 = doc.texts()[0];
    EXPECT_DOUBLE_EQ(t0.minX, 10);
    EXPECT_DOUBLE_EQ(t0.minY, 14);
    EXPECT_DOUBLE_EQ(t0.maxX, 25);
    EXPECT_DOUBLE_EQ(t0.maxY, 34);
    const auto& t1 = doc.texts()[1];
    EXPECT_DOUBLE_EQ(t1.minX, -5);
    EXPECT_DOUBLE_EQ(t1.maxX, 10);
    EXPECT_EQ(t1.anchor, 1);
    const auto& t2 = doc.texts()[2];  // 0.75 wide, raised to 1
    EXPECT_DOUBLE_EQ(t2.maxX - t2.minX, 1);
    // Counts are the reader's to set; appending leaves them alone.
    EXPECT_EQ(doc.stats().polylineCount, 0u);
    EXPECT_EQ(doc.stats().textCount, 0u);
}

TEST(SbkDocument, LayerTableEnds) {
    EXPECT_STREQ(sbk::layerName(12), "annotations");
    EXPECT_EQ(sbk::layerColour(12), 0xEE27CFu);
    for (uint8_t i : {uint8_t{13}, uint8_t{255}}) {
        EXPECT_STREQ(sbk::layerName(i), "unknown");
        EXPECT_EQ(sbk::layerColour(i), 0xFFFFFFu);
        EXPECT_EQ(sbk::layerStrokeWidth(i), 5);
    }
}

TEST(SbkDocument, GridCellsAndOversizeList) {
    sbk::Document doc;
    addLine(doc, kSymbols, 0, 0, 1000, 1000);  // 3 x 3 cells
    addLine(doc, kSymbols, -1, -1, 0, 0);      // cells -1..0 by -1..0
    addLine(doc, kSymbols, 0, 0, 6000, 0);     // 13 cells
    addLine(doc, kSymbols, 0, 0, 6000, 5000);  // 13 x 11 = 143 cells: oversize
    addLine(doc, kSymbols, -64000, 0, 0, 0);   // 129 cells: oversize
    addLine(doc, kSymbols, -63500, 0, 0, 0);   // 128 cells: grid
    doc.buildIndex();

    EXPECT_EQ(cellsHolding(doc, 0), 9u);
    EXPECT_TRUE(listsCell(doc, 2, 2, 0));
    EXPECT_EQ(cellsHolding(doc, 1), 4u);
    EXPECT_TRUE(listsCell(doc, -1, -1, 1));
    EXPECT_TRUE(listsCell(doc, 0, 0, 1));
    EXPECT_EQ(cellsHolding(doc, 2), 13u);
    EXPECT_EQ(cellsHolding(doc, 3), 0u);
    EXPECT_EQ(cellsHolding(doc, 4), 0u);
    EXPECT_EQ(cellsHolding(doc, 5), 128u);
    EXPECT_EQ(sbk::DocumentAccess::record(doc).oversize, (std::vector<uint32_t>{3, 4}));

    // Rebuilding starts over.
    doc.buildIndex();
    EXPECT_EQ(cellsHolding(doc, 0), 9u);
    EXPECT_EQ(sbk::DocumentAccess::record(doc).oversize.size(), 2u);
}

TEST(SbkDocument, QueryByMaskAndRectangle) {
    sbk::Document doc;
    addLine(doc, kSymbols, 0, 0, 100, 100);        // 0
    addLine(doc, kWires, 50, 50, 200, 50);         // 1
    addLine(doc, kWires, 0, 0, 20000, 20000);      // 2: oversize, meets everything near 0
    addLine(doc, kWires, 3000, 3000, 3100, 3000);  // 3: far away
    addLine(doc, 40, 10, 10, 20, 20);              // 4: layer 40 uses bit 8
    doc.buildIndex();

    EXPECT_EQ(doc.query({0, 0, 150, 150}, 0xFFFFFFFF), (std::vector<uint32_t>{0, 1, 2, 4}));
    EXPECT_EQ(doc.query({0, 0, 150, 150}, 2), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(doc.query({0, 0, 150, 150}, 1u << 8), (std::vector<uint32_t>{4}));
    EXPECT_EQ(doc.query({0, 0, 150, 150}, 0), std::vector<uint32_t>{});
    // Touching edges meet.
    EXPECT_EQ(doc.query({200, 50, 300, 60}, 2), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(doc.query({2990, 2990, 3010, 2995}, 2), (std::vector<uint32_t>{2}));  // boxes, not lines
    EXPECT_EQ(doc.query({2990, 2990, 3010, 3005}, 2), (std::vector<uint32_t>{2, 3}));
}

TEST(SbkDocument, QueryMatchesALinearScan) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> pos(-20000, 20000);
    std::uniform_real_distribution<double> len(0, 1500);
    std::uniform_int_distribution<int> layer(0, 14);
    sbk::Document doc;
    for (int i = 0; i < 600; ++i) {
        const double x = pos(rng), y = pos(rng);
        const double big = i % 50 == 0 ? 15000 : 1;
        doc.addPolyline(static_cast<uint8_t>(layer(rng)), 0,
                        {{x, y}, {x + len(rng) * big, y - len(rng)}, {x - len(rng), y + len(rng) * big}}, 0);
    }
    doc.buildIndex();
    const sbk::Rect rects[] = {
        {-1000, -1000, 1000, 1000},
        {-250, 10, -249, 11},
        {5000, -20000, 9000, 20000},
        {-50000, -50000, 50000, 50000},  // more than 30000 cells: the linear path
        {-1e300, -1e300, 1e300, 1e300},
        {std::numeric_limits<double>::lowest(), 0, std::numeric_limits<double>::max(), 1},
    };
    for (const auto& r : rects) {
        for (uint32_t mask : {0xFFFFFFFFu, 0x2u, 0x1FFFu, 0x6008u}) {
            SCOPED_TRACE(::testing::Message() << r.minX << "," << r.minY << " " << mask);
            EXPECT_EQ(doc.query(r, mask), bruteForce(doc, r, mask));
        }
    }
}

TEST(SbkDocument, QueryRejectsNonFiniteRectangles) {
    sbk::Document doc;
    addLine(doc, kWires, 0, 0, 100, 100);
    addLine(doc, kWires, 0, 0, 100000, 100000);  // oversize
    doc.buildIndex();
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(doc.query({-inf, -inf, inf, inf}, ~0u).empty());
    EXPECT_TRUE(doc.query({nan, 0, 100, 100}, ~0u).empty());
    EXPECT_TRUE(doc.query({0, 0, 100, nan}, ~0u).empty());
    // An inverted rectangle spans no cells.
    EXPECT_TRUE(doc.query({100000, 100000, -100000, -100000}, ~0u).empty());
}

TEST(SbkDocument, NonFiniteGeometryStaysOutOfTheGrid) {
    sbk::Document doc;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    doc.addPolyline(kWires, 0, {{0, 0}, {inf, 0}}, 0);
    doc.addPolyline(kWires, 0, {{nan, 0}, {5, 5}}, 0);
    doc.addPolyline(kWires, 0, {{0, 0}, {1e30, 1e30}}, 0);
    doc.buildIndex();
    EXPECT_EQ(sbk::DocumentAccess::record(doc).oversize.size(), 3u);
    EXPECT_EQ(doc.query({-10, -10, 10, 10}, ~0u), (std::vector<uint32_t>{0, 2}));
}
