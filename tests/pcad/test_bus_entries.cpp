#include <gtest/gtest.h>

#include <limits>

#include "pcad/page.h"

using namespace pcad;

namespace {

Line seg(double x1, double y1, double x2, double y2, float width, std::uint8_t cls) {
    return {x1, y1, x2, y2, width, cls};
}

void expectLine(const Line& l, double x1, double y1, double x2, double y2, float width) {
    EXPECT_NEAR(l.x1, x1, 1e-9);
    EXPECT_NEAR(l.y1, y1, 1e-9);
    EXPECT_NEAR(l.x2, x2, 1e-9);
    EXPECT_NEAR(l.y2, y2, 1e-9);
    EXPECT_EQ(l.width, width);
    EXPECT_EQ(l.itemClass, 4);
}

// A vertical bus at x 7.46 from y 40 to 60 plus the given lines.
Page pageWithBus(std::initializer_list<Line> more) {
    Page p;
    p.lines.push_back(seg(7.46, 40, 7.46, 60, 0.8f, 3));
    p.lines.insert(p.lines.end(), more);
    return p;
}

}  // namespace

TEST(PcadBusEntries, EntryRisesAwayFromTheWireSide) {
    Page right = pageWithBus({seg(10, 50, 30, 50, 0.3f, 4)});
    right.addBusEntries();
    ASSERT_EQ(right.lines.size(), 3u);
    expectLine(right.lines[2], 10, 50, 7.46, 52.54, 0.3f);

    Page left = pageWithBus({seg(-15.08, 50, 4.92, 50, 0.3f, 4)});
    left.originX = -20;
    left.addBusEntries();
    ASSERT_EQ(left.lines.size(), 3u);
    expectLine(left.lines[2], 4.92, 50, 7.46, 47.46, 0.3f);

    // A wire between two buses gets an entry at each end, appended after all old lines;
    // the new lines are not wires that are considered again.
    Page both = pageWithBus(
        {seg(10, 50, 20, 50, 0.3f, 4), seg(22.54, 30, 22.54, 70, 1.0f, 4), seg(100, 100, 120, 100, 0.3f, 4)});
    both.addBusEntries();
    ASSERT_EQ(both.lines.size(), 6u);
    expectLine(both.lines[4], 10, 50, 7.46, 52.54, 0.3f);
    expectLine(both.lines[5], 20, 50, 22.54, 47.46, 0.3f);
}

TEST(PcadBusEntries, LinesThatTakeNoPart) {
    Page none;
    none.lines.push_back(seg(10, 50, 30, 50, 0.3f, 4));
    none.lines.push_back(seg(7.46, 40, 7.46, 60, 0.59f, 3));   // too thin for a bus
    none.lines.push_back(seg(7.46, 40, 7.46, 40.9, 0.8f, 3));  // too short
    none.lines.push_back(seg(7.46, 40, 7.46, 60, 0.8f, 2));    // wrong class
    none.addBusEntries();
    EXPECT_EQ(none.lines.size(), 4u);

    Page thick = pageWithBus({seg(10, 50, 30, 50, 0.56f, 4)});
    thick.addBusEntries();
    EXPECT_EQ(thick.lines.size(), 2u);

    Page shortWire = pageWithBus({seg(10, 50, 10.2, 50, 0.3f, 4)});
    shortWire.addBusEntries();
    EXPECT_EQ(shortWire.lines.size(), 2u);

    // Two wires meeting at the end beside the bus: that end gets nothing.
    Page meet = pageWithBus({seg(10, 50, 30, 50, 0.3f, 4), seg(10, 50, -20, 50, 0.3f, 4)});
    meet.originX = -30;
    meet.addBusEntries();
    EXPECT_EQ(meet.lines.size(), 3u);
}

TEST(PcadBusEntries, ToleranceOfDistanceAndPage) {
    Page near = pageWithBus({seg(10.06, 50, 30, 50, 0.3f, 4)});  // 2.60 beside
    near.addBusEntries();
    EXPECT_EQ(near.lines.size(), 3u);

    Page far = pageWithBus({seg(10.07, 50, 30, 50, 0.3f, 4)});  // 2.61 beside
    far.addBusEntries();
    EXPECT_EQ(far.lines.size(), 2u);

    // Entry point below the page bottom.
    Page low = pageWithBus({seg(4.92, 41, -15, 41, 0.3f, 4)});
    low.lines[0] = seg(7.46, 37, 7.46, 60, 0.8f, 3);
    low.originX = -20;
    low.originY = 39;
    low.addBusEntries();
    EXPECT_EQ(low.lines.size(), 2u);

    // Entry point beyond the bus end plus 0.05.
    Page off = pageWithBus({seg(10, 57.6, 30, 57.6, 0.3f, 4)});
    off.addBusEntries();
    EXPECT_EQ(off.lines.size(), 2u);
}

TEST(PcadBusEntries, BusPiecesAtOneX) {
    // Pieces 40..50 and 50.04..60: an entry point at 50.03 lands on the bus.
    Page near;
    near.lines.push_back(seg(7.46, 40, 7.46, 50, 0.8f, 3));
    near.lines.push_back(seg(7.46, 60, 7.46, 50.04, 0.8f, 3));
    near.lines.push_back(seg(10, 47.49, 30, 47.49, 0.3f, 4));
    near.addBusEntries();
    ASSERT_EQ(near.lines.size(), 4u);
    EXPECT_NEAR(near.lines[3].y2, 50.03, 1e-9);

    // Pieces 40..50 and 50.2..60: each reaches 0.05 beyond its ends, the middle is free.
    Page gap;
    gap.lines.push_back(seg(7.46, 40, 7.46, 50, 0.8f, 3));
    gap.lines.push_back(seg(7.46, 50.2, 7.46, 60, 0.8f, 3));
    gap.lines.push_back(seg(10, 47.5, 30, 47.5, 0.3f, 4));    // 50.04: first piece
    gap.lines.push_back(seg(10, 47.56, 40, 47.56, 0.3f, 4));  // 50.10: neither
    gap.lines.push_back(seg(10, 47.62, 50, 47.62, 0.3f, 4));  // 50.16: second piece
    gap.addBusEntries();
    ASSERT_EQ(gap.lines.size(), 7u);
    EXPECT_NEAR(gap.lines[5].y2, 50.04, 1e-9);
    EXPECT_NEAR(gap.lines[6].y2, 50.16, 1e-9);
}

TEST(PcadBusEntries, NonFiniteCoordinatesAreHarmless) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Page p = pageWithBus({seg(inf, 50, 30, 50, 0.3f, 4), seg(1e300, 40, -1e300, 40, 0.3f, 4),
                          seg(1e12, 10, 1e12, inf, 0.8f, 3), seg(nan, 1, 2, 1, 0.3f, 4)});
    p.addBusEntries();
    EXPECT_EQ(p.lines.size(), 5u);
}

TEST(PcadBusEntries, DenseBusesAndManyPiecesPickTheSameEntries) {
    // Buses every 0.01 across the whole page: of those about 2.54 beside the end, the
    // lowest x qualifies first (7.40 lies 2.60 left of 10; 7.39 at 2.61 is too far).
    Page dense;
    for (int k = 0; k <= 2000; ++k) dense.lines.push_back(seg(k / 100.0, 0, k / 100.0, 100, 0.8f, 3));
    dense.lines.push_back(seg(10, 50, 10.3, 50, 0.3f, 4));
    dense.addBusEntries();
    ASSERT_EQ(dense.lines.size(), 2004u);
    expectLine(dense.lines[2002], 10, 50, 7.40, 52.54, 0.3f);
    expectLine(dense.lines[2003], 10.3, 50, 7.70, 52.54, 0.3f);

    // Only buses to the right: the nearest one within reach, 12.48 (2.48 beside 10).
    Page right;
    for (int k = 1200; k <= 1300; ++k) right.lines.push_back(seg(k / 100.0, 0, k / 100.0, 100, 0.8f, 3));
    right.lines.push_back(seg(-5, 50, 10, 50, 0.3f, 4));
    right.originX = -10;
    right.addBusEntries();
    ASSERT_EQ(right.lines.size(), 103u);
    expectLine(right.lines[102], 10, 50, 12.48, 47.46, 0.3f);

    // One bus x made of a hundred pieces [2k, 2k + 1], in scrambled order.
    Page pieces;
    for (int k = 0; k < 100; ++k) {
        const double y = 2.0 * (k * 37 % 100);
        pieces.lines.push_back(seg(7.46, y + 1, 7.46, y, 0.8f, 3));
    }
    const double ends[] = {47.99, 48.52, 49.40, 49.42};  // entry points 50.53, 51.06, 51.94, 51.96
    for (double y : ends) pieces.lines.push_back(seg(10, y, 10 + y, y, 0.3f, 4));
    pieces.addBusEntries();
    ASSERT_EQ(pieces.lines.size(), 104u + 2u);
    EXPECT_NEAR(pieces.lines[104].y2, 50.53, 1e-9);
    EXPECT_NEAR(pieces.lines[105].y2, 51.96, 1e-9);
}
