#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "pcad/ascii_primitives.h"
#include "pcad/page.h"
#include "pcad/sexpr.h"

namespace {

using pcad::Placement;

// The first top-level list of the text.
pcad::SExpr list(std::string_view text) {
    pcad::SExprParser parser(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    pcad::SExpr root = parser.parseAll();
    return std::move(root.children.at(0));
}

pcad::Page arc(std::string_view text, const Placement& placement = {}) {
    pcad::Page page;
    pcad::addArc(page, list(text), 2, placement);
    return page;
}

pcad::Page text(std::string_view src, const Placement& placement = {}, double offset = 0) {
    pcad::Page page;
    pcad::StyleTable styles{{"Big", 4.0f}};
    pcad::addText(page, list(src), 6, styles, placement, offset, std::nullopt);
    return page;
}

TEST(AsciiPlacement, MirrorRotateMove) {
    const Placement identity;
    const pcad::AsciiPoint same = identity.apply({10.1, -3.7});
    EXPECT_EQ(same.x, 10.1);
    EXPECT_EQ(same.y, -3.7);

    const Placement p{100, 50, 90, 1};
    const pcad::AsciiPoint q = p.apply({10, 0});
    EXPECT_NEAR(q.x, 100, 1e-9);
    EXPECT_NEAR(q.y, 40, 1e-9);
}

TEST(AsciiLine, PointsAndWidth) {
    pcad::Page page;
    pcad::addLine(page, list("(line (pt 1 2))"), 1, {});
    EXPECT_TRUE(page.lines.empty());

    pcad::addLine(page, list("(line (pt 0 0) (pt 10) (pt 99 99) (width 2mm))"), 4, {});
    pcad::addLine(page, list("(line (pt 0 0) (pt 1 1) (width wide))"), 4, {5, 6, 0, 0});
    ASSERT_EQ(page.lines.size(), 2u);
    const pcad::Line& l = page.lines[0];
    EXPECT_EQ(l.x2, 10);
    EXPECT_EQ(l.y2, 0);
    EXPECT_EQ(l.width, 2.0f);
    EXPECT_EQ(l.itemClass, 4);
    EXPECT_EQ(page.lines[1].width, 0.25f);
    EXPECT_EQ(page.lines[1].x1, 5);
    EXPECT_EQ(page.lines[1].y2, 7);
}

TEST(AsciiArc, DotsAndDegenerateArcs) {
    const pcad::Page dot = arc("(triplePointArc (pt 3 4) (pt 1 1) (pt 1.00005 1))", {10, 0, 0, 0});
    ASSERT_EQ(dot.circles.size(), 1u);
    EXPECT_TRUE(dot.lines.empty());
    EXPECT_EQ(dot.circles[0].x, 13);
    EXPECT_EQ(dot.circles[0].diameter, 0.7f);
    EXPECT_EQ(dot.circles[0].filled, 1);
    EXPECT_EQ(dot.circles[0].width, 0.0f);
    EXPECT_EQ(arc("(triplePointArc (pt 3 4) (pt 1 1) (pt 1 1) (width 0.2))").circles[0].diameter, 0.5f);
    EXPECT_EQ(arc("(triplePointArc (pt 3 4) (pt 1 1) (pt 1 1) (width 2))").circles[0].diameter, 2.0f);

    EXPECT_EQ(arc("(triplePointArc (pt 0 0) (pt 1 1))").lines.size(), 0u);
    EXPECT_EQ(arc("(triplePointArc (pt 0 0) (pt 1 1) (pt 2 2))").lines.size(), 0u);
    // Values that overflow or are not numbers leave no circle to draw.
    EXPECT_EQ(arc("(triplePointArc (pt 1e200 0) (pt 0 1e200) (pt -1e200 0))").lines.size(), 0u);
    EXPECT_EQ(arc("(triplePointArc (pt nan 0) (pt 0 1) (pt -1 0))").lines.size(), 0u);
    EXPECT_EQ(arc("(triplePointArc (pt 1e999 0) (pt 0 1) (pt -1 0))").lines.size(), 0u);
}

TEST(AsciiArc, SweepDirectionAndSegments) {
    const pcad::Page ccw = arc("(triplePointArc (pt 1 0) (pt 0 1) (pt -1 0) (width 0.1))");
    ASSERT_EQ(ccw.lines.size(), 56u);
    EXPECT_EQ(ccw.lines.front().x1, 1);
    EXPECT_EQ(ccw.lines.front().y1, 0);
    EXPECT_NEAR(ccw.lines.back().x2, -1, 1e-9);
    EXPECT_NEAR(ccw.lines.back().y2, 0, 1e-9);
    EXPECT_NEAR(ccw.lines[27].x2, 0, 0.03);  // halfway: the top of the circle
    EXPECT_NEAR(ccw.lines[27].y2, 1, 1e-3);
    EXPECT_EQ(ccw.lines[0].width, 0.1f);
    EXPECT_EQ(ccw.lines[1].x1, ccw.lines[0].x2);

    // Reversed, the arc still passes over the top, now clockwise.
    const pcad::Page cw = arc("(triplePointArc (pt -1 0) (pt 0 1) (pt 1 0))");
    ASSERT_EQ(cw.lines.size(), 56u);
    EXPECT_GT(cw.lines[0].y2, 0);
    EXPECT_LT(cw.lines[0].x2, -0.9);
    EXPECT_NEAR(cw.lines.back().x2, 1, 1e-9);
    EXPECT_EQ(cw.lines[0].width, 0.25f);

    const pcad::Page small =
        arc("(triplePointArc (pt 10 0) (pt 9.95004165 0.998334166) (pt 9.80066578 1.98669331))");
    EXPECT_EQ(small.lines.size(), 8u);

    // Placed: rotated a quarter turn about (5, 5).
    const pcad::Page placed = arc("(triplePointArc (pt 1 0) (pt 0 1) (pt -1 0))", {5, 5, 90, 0});
    EXPECT_NEAR(placed.lines.front().y1, 6, 1e-9);
    EXPECT_NEAR(placed.lines.back().y2, 4, 1e-9);
}

TEST(AsciiText, DroppedWithoutPointOrString) {
    EXPECT_TRUE(text("(text \"a\")").texts.empty());
    EXPECT_TRUE(text("(text (pt 1) \"a\")").texts.empty());
    EXPECT_TRUE(text("(text (pt 1 2) (rotation 5))").texts.empty());
    EXPECT_TRUE(text("(text (pt 1 2) \"\" \"later\")").texts.empty());

    pcad::Page page;
    pcad::addText(page, list("(attr \"Name\" (pt 1 2))"), 7, {}, {}, 0, std::string("shown"));
    pcad::addText(page, list("(attr \"Name\" (pt 1 2))"), 7, {}, {}, 0, std::string());
    ASSERT_EQ(page.texts.size(), 1u);
    EXPECT_EQ(page.texts[0].text, "shown");
    EXPECT_EQ(page.texts[0].itemClass, 7);
}

TEST(AsciiText, FieldsFromTheList) {
    const pcad::Page p = text(
        "(text (pt 1 2) (x) \"hello\" (textStyleRef \"Big\") (rotation 350) (justify Center)"
        " (extent 8 3))",
        {10, 20, 90, 1}, 20);
    ASSERT_EQ(p.texts.size(), 1u);
    const pcad::Text& t = p.texts[0];
    EXPECT_EQ(t.text, "hello");
    EXPECT_NEAR(t.x, 8, 1e-9);  // mirrored (-1, 2), turned a quarter: (-2, -1)
    EXPECT_NEAR(t.y, 19, 1e-9);
    EXPECT_EQ(t.height, 4.0f);
    EXPECT_NEAR(t.rotation, 10.0f, 1e-4);
    EXPECT_EQ(t.justify, 5);
    EXPECT_EQ(t.hasExtent, 1);
    EXPECT_EQ(t.extentHeight, 3);

    const pcad::Text d =
        text("(text (pt 1 2) \"x\" (rotation -90) (justify center) (textStyleRef \"No\") (extent 8))")
            .texts.at(0);
    EXPECT_EQ(d.rotation, 270.0f);
    EXPECT_EQ(d.justify, 0);
    EXPECT_EQ(d.height, 2.7f);
    EXPECT_EQ(d.hasExtent, 0);

    // Far below -3600 stays negative; a non-number stays a non-number.
    EXPECT_EQ(text("(text (pt 0 0) \"r\" (rotation -3700))").texts.at(0).rotation, -100.0f);
    EXPECT_TRUE(std::isnan(text("(text (pt 0 0) \"r\" (rotation inf))").texts.at(0).rotation));
}

TEST(AsciiNonFinite, ItemsLeftOutAndWidthsThin) {
    // Overflowing numbers, infinities and not-a-numbers never reach a page as positions.
    pcad::Page page;
    pcad::addLine(page, list("(line (pt 1e400 0) (pt 1 1))"), 1, {});
    pcad::addLine(page, list("(line (pt 0 0) (pt 1 NaN))"), 1, {});
    pcad::addLine(page, list("(line (pt 0 0) (pt 1 1))"), 1, {std::nan(""), 0, 0, 0});
    EXPECT_TRUE(page.lines.empty());
    EXPECT_TRUE(arc("(triplePointArc (pt -Infinity 0) (pt 1 1) (pt 1 1))").circles.empty());
    EXPECT_TRUE(arc("(triplePointArc (pt 1 0) (pt 0 1) (pt -1 0))",
                    {0, std::numeric_limits<double>::infinity(), 0, 0})
                    .lines.empty());
    EXPECT_TRUE(text("(text (pt inf 0) \"t\")").texts.empty());

    // A width that is not finite is the thinnest; so is a dot's diameter the smallest.
    pcad::addLine(page, list("(line (pt 0 0) (pt 1 1) (width 1e400))"), 1, {});
    pcad::addLine(page, list("(line (pt 0 0) (pt 1 1) (width nan))"), 1, {});
    ASSERT_EQ(page.lines.size(), 2u);
    EXPECT_EQ(page.lines[0].width, 0.0f);
    EXPECT_EQ(page.lines[1].width, 0.0f);
    EXPECT_EQ(arc("(triplePointArc (pt 0 0) (pt 1 1) (pt 1 1) (width Infinity))").circles.at(0).diameter,
              0.5f);
    const pcad::Text t = text("(text (pt 1 1) \"t\" (extent 1e400 2))").texts.at(0);
    EXPECT_EQ(t.hasExtent, 0);
}

}  // namespace
