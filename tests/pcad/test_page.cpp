#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pcad/page.h"
#include "tests/pcad/page_grid_access.h"

using namespace pcad;

TEST(PcadPage, DefaultsOfPageAndText) {
    Page p;
    EXPECT_EQ(p.name, "Sheet 1");
    EXPECT_EQ(p.number, 1);
    EXPECT_TRUE(p.width == 421 && p.height == 298 && p.originX == 0 && p.originY == 0);
    EXPECT_TRUE(pcad::PageGridAccess::cols(p) == 0 && pcad::PageGridAccess::rows(p) == 0 &&
                pcad::PageGridAccess::maxX(p) == 0 && pcad::PageGridAccess::cells(p).empty());

    Text t;
    EXPECT_EQ(t.height, 2.7f);
    EXPECT_GT(static_cast<double>(t.height), 2.7);  // single precision, widened
    EXPECT_EQ(t.itemClass, 6);
    EXPECT_TRUE(t.rotation == 0 && t.justify == 0 && t.hasBox == 0 && t.hasExtent == 0);
    EXPECT_TRUE(t.x == 0 && t.y == 0 && t.boxX1 == 0 && t.extentHeight == 0);
}

TEST(PcadPage, ViewMapsWorldToTargetAndBack) {
    const View v{800, 600, 2, 100, 50};
    Point a = v.toScreen(100, 50);
    EXPECT_DOUBLE_EQ(a.x, 400);
    EXPECT_DOUBLE_EQ(a.y, 300);
    Point b = v.toScreen(101, 51);
    EXPECT_DOUBLE_EQ(b.x, 402);
    EXPECT_DOUBLE_EQ(b.y, 298);
    Rect r = v.visibleRect();
    EXPECT_DOUBLE_EQ(r.minX, -100);
    EXPECT_DOUBLE_EQ(r.minY, -100);
    EXPECT_DOUBLE_EQ(r.maxX, 300);
    EXPECT_DOUBLE_EQ(r.maxY, 200);
}

TEST(PcadPage, TextBoundsFromLengthJustificationAndRotation) {
    Text t;
    t.x = 10;
    t.y = 20;
    t.height = 2;
    t.text = "abc";
    Rect r = textBounds(t);
    EXPECT_NEAR(r.minX, 10, 1e-9);
    EXPECT_NEAR(r.minY, 20, 1e-9);
    EXPECT_NEAR(r.maxX, 11.98, 1e-9);
    EXPECT_NEAR(r.maxY, 22, 1e-9);

    t.justify = 5;
    r = textBounds(t);
    EXPECT_NEAR(r.minX, 9.01, 1e-9);
    EXPECT_NEAR(r.minY, 19, 1e-9);
    EXPECT_NEAR(r.maxX, 10.99, 1e-9);
    EXPECT_NEAR(r.maxY, 21, 1e-9);

    t.justify = 0;
    t.rotation = 90;
    r = textBounds(t);
    EXPECT_NEAR(r.minX, 8, 1e-9);
    EXPECT_NEAR(r.minY, 20, 1e-9);
    EXPECT_NEAR(r.maxX, 10, 1e-9);
    EXPECT_NEAR(r.maxY, 21.98, 1e-9);

    // Unknown codes place the box like "Left": left edge on the anchor, centred vertically.
    t.rotation = 0;
    t.justify = 9;
    Rect r9 = textBounds(t);
    t.justify = 4;
    Rect r4 = textBounds(t);
    EXPECT_EQ(r9.minX, r4.minX);
    EXPECT_EQ(r9.maxY, r4.maxY);
    EXPECT_NEAR(r9.minX, 10, 1e-9);
    EXPECT_NEAR(r9.minY, 19, 1e-9);

    // Code 3 hangs the box below the anchor, code 6 to its left.
    t.justify = 3;
    r = textBounds(t);
    EXPECT_NEAR(r.maxY, 20, 1e-9);
    t.justify = 6;
    r = textBounds(t);
    EXPECT_NEAR(r.maxX, 10, 1e-9);
}

TEST(PcadPage, TextBoundsFromBoxExtentOrMinimumWidth) {
    Text t;
    t.hasBox = 1;
    t.rotation = 30;
    t.boxX0 = 5;
    t.boxY0 = 7;
    t.boxX1 = 1;
    t.boxY1 = 2;
    Rect r = textBounds(t);
    EXPECT_EQ(r.minX, 1);
    EXPECT_EQ(r.minY, 2);
    EXPECT_EQ(r.maxX, 5);
    EXPECT_EQ(r.maxY, 7);

    Text e;
    e.text = "long text that the extent overrides";
    e.hasExtent = 1;
    e.extentWidth = 10;
    e.extentHeight = 3;
    r = textBounds(e);
    EXPECT_NEAR(r.maxX - r.minX, 8, 1e-9);
    EXPECT_NEAR(r.maxY - r.minY, 3, 1e-9);

    Text empty;
    r = textBounds(empty);
    EXPECT_NEAR(r.maxX - r.minX, 0.4, 1e-12);

    // Multi-byte text is measured in bytes.
    Text cyr;
    cyr.height = 1;
    cyr.text = "\xD0\x90";
    r = textBounds(cyr);
    EXPECT_NEAR(r.maxX - r.minX, 0.66, 1e-9);

    // A NaN rotation gives an empty box rather than a partly valid one.
    Text bad;
    bad.rotation = std::numeric_limits<float>::quiet_NaN();
    r = textBounds(bad);
    EXPECT_GT(r.minX, r.maxX);
}
