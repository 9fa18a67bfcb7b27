#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "schq/document.h"
#include "schq/document_state.h"

namespace {

using schq::Document;
using schq::DocumentAccess;
using schq::Primitive;
using schq::Rect;
using schq::RenderOptions;

Primitive boxed(double x0, double y0, double x1, double y1, schq::Layer layer = schq::Graphics,
                schq::PrimitiveKind kind = schq::Line, double fontSize = 8) {
    Primitive p;
    p.kind = kind;
    p.layer = layer;
    p.minX = x0;
    p.minY = y0;
    p.maxX = x1;
    p.maxY = y1;
    p.fontSize = fontSize;
    return p;
}

Document makeDocument(double width, double height, std::vector<Primitive> primitives) {
    Document d;
    Document::State& s = DocumentAccess::state(d);
    s.width = width;
    s.height = height;
    s.primitives = std::move(primitives);
    d.buildIndex();
    return d;
}

using Indices = std::vector<std::uint32_t>;

const RenderOptions kAll{0x1F, false, 1.0};

TEST(SchqDocument, EmptyDocumentAndBadRectanglesFindNothing) {
    const Document empty = makeDocument(1150, 760, {});
    EXPECT_TRUE(empty.query({-1e9, -1e9, 1e9, 1e9}, kAll).empty());
    EXPECT_EQ(empty.stats().primitives, 0u);

    const Document d = makeDocument(1150, 760, {boxed(10, 10, 20, 20)});
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

TEST(SchqDocument, CellSizeFollowsTheLongerSide) {
    struct Case {
        double w, h, cell;
    } cases[] = {{100, 100, 16}, {4680, 3310, 73.125}, {1150, 760, 17.96875}, {760, 1150, 17.96875}};
    for (const Case& c : cases) {
        Document d = makeDocument(c.w, c.h, {});
        EXPECT_DOUBLE_EQ(DocumentAccess::state(d).cellSize, c.cell) << c.w << "x" << c.h;
    }
    Document fresh;
    EXPECT_EQ(DocumentAccess::state(fresh).cellSize, 32);
}

TEST(SchqDocument, PrimitivesOverMoreThan256CellsAreKeptApart) {
    // Sheet 1024: cells of 16 units. 256 cells in one row, then 257.
    Document d = makeDocument(1024, 1024,
                              {boxed(0, 0, 4095.9, 15), boxed(0, 0, 4111.9, 15), boxed(0, 0, 255.9, 255.9),
                               boxed(0, 0, 256, 255.9)});
    const Document::State& s = DocumentAccess::state(d);
    EXPECT_EQ(s.largePrimitives, (Indices{1, 3}));
    std::size_t cellsWith0 = 0, cellsWith2 = 0;
    for (const auto& [key, list] : s.cells) {
        for (std::uint32_t i : list) {
            EXPECT_NE(i, 1u);
            EXPECT_NE(i, 3u);
        }
        cellsWith0 += std::count(list.begin(), list.end(), 0u);
        cellsWith2 += std::count(list.begin(), list.end(), 2u);
    }
    EXPECT_EQ(cellsWith0, 256u);
    EXPECT_EQ(cellsWith2, 256u);
    // Cell keys: high half cx, low half cy, negative values as unsigned bits.
    Document neg = makeDocument(1024, 1024, {boxed(-20, -1, -17, -1)});
    EXPECT_EQ(DocumentAccess::state(neg).cells.count(0xFFFFFFFEFFFFFFFFull), 1u);
    EXPECT_EQ(neg.query({-18, -2, -18, 0}, kAll), Indices{0});
}

TEST(SchqDocument, ResultIsAscendingUniqueAndFiltered) {
    const Document d = makeDocument(1150, 760,
                                    {boxed(0, 0, 200, 200, schq::Graphics), boxed(5, 5, 6, 6, schq::Wires),
                                     boxed(0, 0, 1150, 760, schq::Pins), boxed(300, 300, 310, 310, schq::Labels),
                                     boxed(1, 1, 2, 2, schq::PinNames, schq::Text)});
    EXPECT_EQ(d.query({0, 0, 1150, 760}, kAll), (Indices{0, 1, 2, 3, 4}));
    EXPECT_EQ(d.query({0, 0, 100, 100}, kAll), (Indices{0, 1, 2, 4}));
    EXPECT_TRUE(d.query({0, 0, 1150, 760}, {0, false, 1}).empty());
    EXPECT_EQ(d.query({0, 0, 1150, 760}, {0b11110, false, 1}), (Indices{1, 2, 3, 4}));
    EXPECT_EQ(d.query({0, 0, 1150, 760}, {0b00100, false, 1}), (Indices{2}));
}

TEST(SchqDocument, SmallTextsAreCulledOnlyWhenAsked) {
    const Document d = makeDocument(1150, 760,
                                    {boxed(0, 0, 10, 10, schq::PinNames, schq::Text, 6.7),
                                     boxed(0, 0, 10, 10, schq::Labels, schq::Text, 7.8),
                                     // A line on the pin-name layer is culled by its font size too.
                                     boxed(0, 0, 10, 10, schq::PinNames, schq::Line, 6.7),
                                     boxed(0, 0, 10, 10, schq::Graphics, schq::Line, 1)});
    const Rect all{0, 0, 100, 100};
    EXPECT_EQ(d.query(all, {0x1F, true, 0.74}), (Indices{1, 3}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.75}), (Indices{0, 1, 2, 3}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.41}), (Indices{3}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.42}), (Indices{1, 3}));
    EXPECT_EQ(d.query(all, {0x1F, true, 0.66}), (Indices{1, 3}));
    EXPECT_EQ(d.query(all, {0x1F, false, 0.01}), (Indices{0, 1, 2, 3}));
    const Document label = makeDocument(1150, 760, {boxed(0, 0, 10, 10, schq::Labels, schq::Text, 7.8)});
    EXPECT_TRUE(label.query(all, {0x1F, true, 0.41}).empty());
    EXPECT_EQ(label.query(all, {0x1F, true, 0.42}), Indices{0});
}

TEST(SchqDocument, HugeQueriesSearchTheSheetCellsOnly) {
    const Document d = makeDocument(1150, 760,
                                    {boxed(10, 10, 20, 20), boxed(-50, -50, -40, -40),
                                     boxed(-5000, -5000, -100, -100), boxed(1160, 770, 1170, 780)});
    EXPECT_EQ(d.query({-1e300, -1e300, 1e300, 1e300}, kAll), (Indices{0, 2, 3}));
    // A query of at most 250,000 cells finds the small primitive at negative coordinates.
    EXPECT_EQ(d.query({-60, -60, 0, 0}, kAll), (Indices{1}));
    EXPECT_EQ(d.query({-200, -200, 0, 0}, kAll), (Indices{1, 2}));
}

TEST(SchqDocument, CountersAndMoves) {
    Document d = makeDocument(1150, 760,
                              {boxed(0, 0, 1, 1, schq::Labels, schq::Text), boxed(0, 0, 1, 1),
                               boxed(0, 0, 1, 1, schq::PinNames, schq::Text)});
    EXPECT_EQ(d.stats().primitives, 3u);
    EXPECT_EQ(d.stats().texts, 2u);
    Document moved = std::move(d);
    EXPECT_EQ(moved.primitives().size(), 3u);
    EXPECT_EQ(moved.width(), 1150);
    EXPECT_EQ(moved.query({0, 0, 1, 1}, kAll).size(), 3u);
    // The moved-from document reads as empty instead of crashing.
    EXPECT_TRUE(d.primitives().empty()); // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(d.query({0, 0, 1, 1}, kAll).empty());
}

} // namespace
