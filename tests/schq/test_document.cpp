// The grid index and the rectangle query, on documents that the reader makes from synthetic
// files. Line records drawn 3 units wide have a box margin of exactly 4, so their boxes are
// known to the bit.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "schq/document.h"
#include "schq/reader.h"
#include "support/schdoc_builder.h"

namespace {

using schq::Document;
using schq::Rect;
using schq::RenderOptions;

std::string num(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// A sheet of width w and height h holding one record per body.
Document readSheet(double w, double h, const std::vector<std::string>& bodies) {
    kgtest::SchDocBuilder b;
    b.setSheet("|RECORD=31|USECUSTOMSHEET=T|CUSTOMX=" + num(w) + "|CUSTOMY=" + num(h));
    for (const std::string& body : bodies) b.add(body);
    const auto file = b.write();
    return schq::readSchDoc(file->path());
}

// A line record on a sheet of height h whose primitive has the box (x0, y0, x1, y1); each side
// must be at least 8 long.
std::string boxed(double h, double x0, double y0, double x1, double y1) {
    return "|RECORD=13|LINEWIDTH=3|LOCATION.X=" + num(x0 + 4) + "|LOCATION.Y=" + num(h - (y0 + 4)) +
           "|CORNER.X=" + num(x1 - 4) + "|CORNER.Y=" + num(h - (y1 - 4));
}

// The same box drawn as a two-point wire (layer Wires).
std::string wire(double h, double x0, double y0, double x1, double y1) {
    return "|RECORD=27|LINEWIDTH=3|LOCATIONCOUNT=2|X1=" + num(x0 + 4) + "|Y1=" + num(h - (y0 + 4)) +
           "|X2=" + num(x1 - 4) + "|Y2=" + num(h - (y1 - 4));
}

using Indices = std::vector<std::uint32_t>;

const RenderOptions kAll{0x1F, false, 1.0};
constexpr double kHuge = 1e300;

TEST(SchqDocument, EmptyDocumentAndBadRectanglesFindNothing) {
    const Document empty = readSheet(1150, 760, {});
    EXPECT_TRUE(empty.primitives().empty());
    EXPECT_TRUE(empty.query({-1e9, -1e9, 1e9, 1e9}, kAll).empty());
    EXPECT_TRUE(empty.query({0, 0, 0, 0}, kAll).empty());
    EXPECT_EQ(empty.stats().primitives, 0u);

    const Document d = readSheet(1150, 760, {boxed(760, 10, 10, 20, 20)});
    ASSERT_EQ(d.primitives().size(), 1u);
    EXPECT_EQ(d.primitives()[0].minX, 10);
    EXPECT_EQ(d.primitives()[0].maxY, 20);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(d.query({nan, 0, 100, 100}, kAll).empty());
    EXPECT_TRUE(d.query({0, 0, inf, 100}, kAll).empty());
    EXPECT_TRUE(d.query({-inf, 0, 100, 100}, kAll).empty());
    EXPECT_TRUE(d.query({0, 0, 100, nan}, kAll).empty());
    EXPECT_TRUE(d.query({100, 0, 0, 100}, kAll).empty());
    EXPECT_TRUE(d.query({0, 100, 100, 0}, kAll).empty());
    // Edges count: a point query on a corner of the box finds it.
    EXPECT_EQ(d.query({20, 20, 20, 20}, kAll), Indices{0});
    EXPECT_EQ(d.query({10, 10, 10, 10}, kAll), Indices{0});
    EXPECT_TRUE(d.query({20.001, 20, 30, 30}, kAll).empty());
}

// A query over more than 250,000 cells searches the cells 0 to ceil(side / cell) + 1 of each
// axis; where that range ends shows the cell size.
TEST(SchqDocument, CellSizeFollowsTheLongerSide) {
    struct Case {
        double w, h;
        double lastCellStart;  // of the last searched cell along the longer side
        double cell;
    } cases[] = {
        {100, 100, 8 * 16.0, 16},
        {4680, 3310, 65 * 73.125, 73.125},
        {1150, 760, 65 * 17.96875, 17.96875},
        {760, 1150, 65 * 17.96875, 17.96875},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(num(c.w) + " x " + num(c.h));
        const bool wide = c.w >= c.h;
        const double in0 = c.lastCellStart + 1, in1 = c.lastCellStart + c.cell - 1;
        const double out0 = c.lastCellStart + c.cell + 1, out1 = c.lastCellStart + 2 * c.cell - 1;
        const Document d =
            wide ? readSheet(c.w, c.h, {boxed(c.h, in0, 10, in1, 20), boxed(c.h, out0, 10, out1, 20)})
                 : readSheet(c.w, c.h, {boxed(c.h, 10, in0, 20, in1), boxed(c.h, 10, out0, 20, out1)});
        ASSERT_EQ(d.primitives().size(), 2u);
        EXPECT_EQ(d.query({-kHuge, -kHuge, kHuge, kHuge}, kAll), Indices{0});
        // A query of ordinary size finds both.
        EXPECT_EQ(d.query({0, 0, out1, out1}, kAll), (Indices{0, 1}));
    }
}

// Primitives whose box spans more than 256 cells are candidates of every query, also of a huge
// one that searches only the sheet's cells; those of up to 256 cells are found through their
// cells only. Sheet 1024 by 1024: cells of 16 units.
TEST(SchqDocument, PrimitivesOverMoreThan256CellsAreKeptApart) {
    const double h = 1024;
    const Document d = readSheet(1024, h,
                                 {
                                     boxed(h, -4096, -15, -0.5, -1),      // 256 cells in one row
                                     boxed(h, -4112, -15, -0.5, -1),      // 257 cells
                                     boxed(h, -256, -256, -0.5, -0.5),    // 16 x 16 cells
                                     boxed(h, -256.5, -256, -0.5, -0.5),  // 17 x 16 cells
                                 });
    ASSERT_EQ(d.primitives().size(), 4u);
    EXPECT_EQ(d.query({-kHuge, -kHuge, kHuge, kHuge}, kAll), (Indices{1, 3}));
    EXPECT_EQ(d.query({-5000, -300, 0, 0}, kAll), (Indices{0, 1, 2, 3}));
    // Every cell of a small primitive holds it, the first and the last included.
    EXPECT_EQ(d.query({-4090, -10, -4090, -10}, kAll), (Indices{0, 1}));
    EXPECT_EQ(d.query({-1, -2, -1, -2}, kAll), (Indices{0, 1, 2, 3}));
    EXPECT_EQ(d.query({-250, -250, -250, -250}, kAll), (Indices{2, 3}));
    // Cells at negative coordinates: the index and the query agree on their keys.
    const Document neg = readSheet(1024, h, {boxed(h, -28, -12, -17, -1)});
    EXPECT_EQ(neg.query({-18, -2, -18, 0}, kAll), Indices{0});
}

// Sheet order after sorting: graphics, wires, pins, pin names, labels.
TEST(SchqDocument, ResultIsAscendingUniqueAndFiltered) {
    const double h = 760;
    const Document d = readSheet(
        1150, h,
        {
            "|RECORD=4|TEXT=T|LOCATION.X=300|LOCATION.Y=" + num(h - 300),
            "|RECORD=2|PINCONGLOMERATE=8|NAME=N|PINLENGTH=1000|LOCATION.X=50|LOCATION.Y=" + num(h - 380),
            wire(h, 5, 5, 15, 15),
            boxed(h, 0, 0, 200, 200),
        });
    ASSERT_EQ(d.primitives().size(), 5u);
    EXPECT_EQ(d.primitives()[0].layer, schq::Graphics);
    EXPECT_EQ(d.primitives()[1].layer, schq::Wires);
    EXPECT_EQ(d.primitives()[2].layer, schq::Pins);
    EXPECT_EQ(d.primitives()[3].layer, schq::PinNames);
    EXPECT_EQ(d.primitives()[4].layer, schq::Labels);
    // The pin line and the graphic span many cells, yet each index comes once.
    EXPECT_EQ(d.query({0, 0, 1150, 760}, kAll), (Indices{0, 1, 2, 3, 4}));
    EXPECT_EQ(d.query({0, 0, 100, 100}, kAll), (Indices{0, 1}));
    EXPECT_EQ(d.query({40, 370, 60, 390}, kAll), (Indices{2, 3}));
    EXPECT_EQ(d.query({299, 299, 301, 301}, kAll), Indices{4});
    EXPECT_TRUE(d.query({0, 0, 1150, 760}, {0, false, 1}).empty());
    EXPECT_EQ(d.query({0, 0, 1150, 760}, {0b11110, false, 1}), (Indices{1, 2, 3, 4}));
    EXPECT_EQ(d.query({0, 0, 1150, 760}, {0b00100, false, 1}), (Indices{2}));
}

// Small queries sort their few candidates, large ones mark them in a table: both give what a
// test of every primitive's box gives, ascending and each once.
TEST(SchqDocument, SmallAndLargeQueriesAgreeWithEveryBox) {
    const double h = 760;
    std::vector<std::string> bodies;
    for (int i = 0; i < 96; ++i) {
        const double x = (i * 37) % 1000 + 10;
        const double y = (i * 53) % 600 + 10;
        // Some boxes span many cells, so that an index is met in several of them.
        const double side = i % 5 == 0 ? 120 : 10;
        bodies.push_back(i % 2 ? wire(h, x, y, x + side, y + 12) : boxed(h, x, y, x + side, y + 12));
    }
    const Document d = readSheet(1150, h, bodies);
    ASSERT_EQ(d.primitives().size(), bodies.size());
    for (const Rect area : {Rect{300, 200, 310, 210}, Rect{0, 0, 60, 60}, Rect{100, 100, 700, 500},
                            Rect{0, 0, 1150, 760}, Rect{-kHuge, -kHuge, kHuge, kHuge}}) {
        Indices expected;
        for (std::uint32_t i = 0; i < d.primitives().size(); ++i) {
            const schq::Primitive& p = d.primitives()[i];
            if (p.maxX >= area.x0 && p.minX <= area.x1 && p.maxY >= area.y0 && p.minY <= area.y1)
                expected.push_back(i);
        }
        EXPECT_EQ(d.query(area, kAll), expected) << area.x0 << ' ' << area.y0 << ' ' << area.x1;
    }
}

// A pin (line, name of size 6.7) and a power port (stub, name of size 7.8).
TEST(SchqDocument, SmallTextsAreCulledOnlyWhenAsked) {
    const Document d =
        readSheet(1150, 760,
                  {
                      "|RECORD=2|PINCONGLOMERATE=8|NAME=N|PINLENGTH=10|LOCATION.X=50|LOCATION.Y=700",
                      "|RECORD=17|STYLE=5|TEXT=VCC|LOCATION.X=60|LOCATION.Y=700",
                  });
    ASSERT_EQ(d.primitives().size(), 5u);
    ASSERT_EQ(d.primitives()[1].layer, schq::PinNames);
    ASSERT_EQ(d.primitives()[4].kind, schq::Text);
    const Rect all{0, 0, 200, 200};
    EXPECT_EQ(d.query(all, {0x1F, true, 0.74}), (Indices{0, 2, 3, 4}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.75}), (Indices{0, 1, 2, 3, 4}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.41}), (Indices{0, 2, 3}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.42}), (Indices{0, 2, 3, 4}));
    // Pin names go below 5 pixels, other texts only below 3.2.
    EXPECT_EQ(d.query(all, {0x1F, true, 0.66}), (Indices{0, 2, 3, 4}));
    // Lines are never culled, however small the scale.
    EXPECT_EQ(d.query(all, {0x1F, true, 0.01}), (Indices{0, 2, 3}));
    EXPECT_EQ(d.query(all, {0x1F, false, 0.01}), (Indices{0, 1, 2, 3, 4}));
}

TEST(SchqDocument, HugeQueriesSearchTheSheetCellsOnly) {
    const double h = 760;
    const Document d = readSheet(1150, h,
                                 {
                                     boxed(h, 10, 10, 20, 20),
                                     boxed(h, -50, -50, -40, -40),
                                     boxed(h, -5000, -5000, -100, -100),
                                     boxed(h, 1160, 770, 1170, 780),
                                 });
    EXPECT_EQ(d.query({-kHuge, -kHuge, kHuge, kHuge}, kAll), (Indices{0, 2, 3}));
    // A query of at most 250,000 cells finds the small primitive at negative coordinates.
    EXPECT_EQ(d.query({-60, -60, 0, 0}, kAll), (Indices{1}));
    EXPECT_EQ(d.query({-200, -200, 0, 0}, kAll), (Indices{1, 2}));
}

// Cells away from the sheet are kept apart from its dense grid, in a table that grows.
TEST(SchqDocument, CellsOffTheSheetAreFound) {
    std::vector<std::string> bodies;
    for (int i = 0; i < 100; ++i)
        bodies.push_back(boxed(760, -1000 - 40.0 * i, 2000 + 30.0 * i, -992 - 40.0 * i, 2008 + 30.0 * i));
    const Document d = readSheet(1150, 760, bodies);
    ASSERT_EQ(d.primitives().size(), 100u);
    for (std::uint32_t i = 0; i < 100; ++i) {
        const auto& p = d.primitives()[i];
        EXPECT_EQ(d.query({p.minX, p.minY, p.maxX, p.maxY}, kAll), Indices{i});
    }
    EXPECT_TRUE(d.query({-10000, -10000, 1e9, 1e9}, kAll).empty()) << "a huge query sees the sheet only";

    // A primitive across the sheet's left edge is found from either side of it.
    const Document edge = readSheet(1150, 760, {boxed(760, -40, 100, 40, 110), boxed(760, 10, 300, 20, 310)});
    EXPECT_EQ(edge.query({-40, 100, -30, 110}, kAll), Indices{0});
    EXPECT_EQ(edge.query({30, 100, 40, 110}, kAll), Indices{0});
    EXPECT_EQ(edge.query({-1e9, 0, 1e9, 760}, kAll), (Indices{0, 1}));
}

TEST(SchqDocument, CountersAndMoves) {
    Document d = readSheet(1150, 760,
                           {
                               "|RECORD=4|TEXT=A|LOCATION.X=10|LOCATION.Y=10",
                               boxed(760, 0, 0, 10, 10),
                               "|RECORD=2|PINCONGLOMERATE=8|NAME=N|PINLENGTH=10|LOCATION.X=50|LOCATION.Y=50",
                           });
    EXPECT_EQ(d.stats().primitives, 4u);
    EXPECT_EQ(d.stats().texts, 2u);
    Document moved = std::move(d);
    EXPECT_EQ(moved.primitives().size(), 4u);
    EXPECT_EQ(moved.width(), 1150);
    EXPECT_EQ(moved.query({0, 0, 1150, 760}, kAll).size(), 4u);
    // The moved-from document reads as empty instead of crashing.
    EXPECT_TRUE(d.primitives().empty());  // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(d.query({0, 0, 1150, 760}, kAll).empty());
}

}  // namespace
