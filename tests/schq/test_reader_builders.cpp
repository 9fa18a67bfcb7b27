// The record builders on their own: property maps in, primitives out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "schq/sheet_builder.h"

namespace {

using schq::Point;
using schq::Primitive;
using schq::PropertyMap;

constexpr double kSheetHeight = 760;

struct Fixture {
    PropertyMap sheet{{"RECORD", "31"}};
    std::vector<Primitive> out;
    schq::SheetBuilder builder{kSheetHeight, sheet, out};
};

void expectPoints(const Primitive& p, const std::vector<Point>& expected) {
    ASSERT_EQ(p.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(p.points[i].x, expected[i].x, 1e-9) << "point " << i;
        EXPECT_NEAR(p.points[i].y, expected[i].y, 1e-9) << "point " << i;
    }
}

void expectBox(const Primitive& p, double x0, double y0, double x1, double y1) {
    EXPECT_NEAR(p.minX, x0, 1e-9);
    EXPECT_NEAR(p.minY, y0, 1e-9);
    EXPECT_NEAR(p.maxX, x1, 1e-9);
    EXPECT_NEAR(p.maxY, y1, 1e-9);
}

TEST(SchqGraphics, VertexListsAndUsablePoints) {
    EXPECT_EQ(schq::readVertices(PropertyMap{{"LOCATIONCOUNT", "6000"}}, 10).size(), 5000u);
    EXPECT_TRUE(schq::readVertices(PropertyMap{{"LOCATIONCOUNT", "-3"}}, 10).empty());
    const auto v = schq::readVertices(
        PropertyMap{{"LOCATIONCOUNT", "3"}, {"X1", "1"}, {"Y1", "2"}, {"X3", "5"}, {"Y3", "6"}}, 100);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].x, 1);
    EXPECT_EQ(v[0].y, 98);
    EXPECT_EQ(v[1].x, 0);  // a missing vertex is not skipped
    EXPECT_EQ(v[1].y, 100);
    EXPECT_EQ(v[2].y, 94);

    EXPECT_TRUE(schq::isUsablePoint({9999999.9, -9999999.9}));
    EXPECT_FALSE(schq::isUsablePoint({10000000, 0}));
    EXPECT_FALSE(schq::isUsablePoint({0, -10000000}));
    EXPECT_FALSE(schq::isUsablePoint({0, std::numeric_limits<double>::quiet_NaN()}));

    Fixture f;
    f.builder.addGraphic(PropertyMap{{"LOCATIONCOUNT", "1"}, {"X1", "5"}}, 6, 0xFF000001);
    f.builder.addGraphic(PropertyMap{{"LOCATIONCOUNT", "2"}, {"X1", "10000000"}, {"X2", "5"}}, 6, 0xFF000001);
    EXPECT_TRUE(f.out.empty());
    f.builder.addGraphic(PropertyMap{{"LOCATIONCOUNT", "2"}, {"X1", "9999999"}, {"X2", "5"}}, 6, 0xFF000001);
    EXPECT_EQ(f.out.size(), 1u);
}

TEST(SchqGraphics, PolylinesPolygonsAndWires) {
    Fixture f;
    const PropertyMap line{{"LOCATIONCOUNT", "2"}, {"X1", "10"}, {"Y1", "700"}, {"X2", "40"}, {"Y2", "660"}};
    f.builder.addGraphic(line, 6, 0xFF010203);
    PropertyMap wide = line;
    wide["LINEWIDTH"] = "3";
    wide["COLOR"] = "255";
    f.builder.addGraphic(wide, 27, 0xFF010203);
    for (const char* w : {"1", "2", "4"}) {
        PropertyMap r = line;
        r["LINEWIDTH"] = w;
        f.builder.addGraphic(r, 6, 0);
    }
    ASSERT_EQ(f.out.size(), 5u);
    const Primitive& p = f.out[0];
    EXPECT_EQ(p.kind, schq::Polyline);
    EXPECT_EQ(p.layer, schq::Graphics);
    EXPECT_EQ(p.stroke, 0xFF010203u);
    EXPECT_EQ(p.fill, 0x00FFFFFFu);
    EXPECT_DOUBLE_EQ(p.strokeWidth, 0.6);
    expectPoints(p, {{10, 60}, {40, 100}});
    expectBox(p, 8.4, 58.4, 41.6, 101.6);
    EXPECT_EQ(f.out[1].layer, schq::Wires);
    EXPECT_EQ(f.out[1].stroke, 0xFF0000FFu);
    EXPECT_DOUBLE_EQ(f.out[1].strokeWidth, 3.0);
    expectBox(f.out[1], 6, 56, 44, 104);
    EXPECT_DOUBLE_EQ(f.out[2].strokeWidth, 0.95);
    EXPECT_DOUBLE_EQ(f.out[3].strokeWidth, 1.7);
    EXPECT_DOUBLE_EQ(f.out[4].strokeWidth, 0.6);

    Fixture g;
    PropertyMap polygon = line;
    polygon["COLOR"] = "16777215";
    g.builder.addGraphic(polygon, 7, 0);
    polygon["ISSOLID"] = "T";
    g.builder.addGraphic(polygon, 7, 0);
    polygon["AREACOLOR"] = "65280";
    g.builder.addGraphic(polygon, 7, 0);
    polygon["ISSOLID"] = "t";
    g.builder.addGraphic(polygon, 7, 0);
    ASSERT_EQ(g.out.size(), 4u);
    EXPECT_EQ(g.out[0].kind, schq::Polygon);
    EXPECT_EQ(g.out[0].fill, 0x00FFFFFFu);
    EXPECT_EQ(g.out[1].fill, 0xFFFFFFFFu);  // the stroke colour
    EXPECT_EQ(g.out[2].fill, 0xFF00FF00u);
    EXPECT_EQ(g.out[3].fill, 0x00FFFFFFu);  // only an exact "T" is solid
}

TEST(SchqGraphics, LinesAndRectangles) {
    Fixture f;
    f.builder.addGraphic(
        PropertyMap{{"LOCATION.X", "10"}, {"LOCATION.Y", "20"}, {"CORNER.X", "30"}, {"CORNER.Y", "5"}}, 13,
        7);
    f.builder.addGraphic(
        PropertyMap{{"LOCATION.X", "10"}, {"LOCATION.Y", "20"}, {"CORNER.X", "10"}, {"CORNER.Y", "20"}}, 13,
        7);
    ASSERT_EQ(f.out.size(), 2u);
    EXPECT_EQ(f.out[0].kind, schq::Line);
    expectPoints(f.out[0], {{10, 740}, {30, 755}});
    expectPoints(f.out[1], {{10, 740}, {10, 740}});  // zero length is kept
    expectBox(f.out[1], 8.4, 738.4, 11.6, 741.6);

    Fixture r;
    const PropertyMap rect{
        {"LOCATION.X", "50"}, {"LOCATION.Y", "60"}, {"CORNER.X", "10"}, {"CORNER.Y", "100"}};
    r.builder.addGraphic(rect, 14, 5);
    PropertyMap solid = rect;
    solid["ISSOLID"] = "T";
    r.builder.addGraphic(solid, 14, 5);
    solid["TRANSPARENT"] = "T";
    r.builder.addGraphic(solid, 14, 5);
    solid["TRANSPARENT"] = "F";
    solid["AREACOLOR"] = "1";
    r.builder.addGraphic(solid, 14, 5);
    ASSERT_EQ(r.out.size(), 4u);
    EXPECT_EQ(r.out[0].kind, schq::Rectangle);
    expectPoints(r.out[0], {{50, 700}, {10, 660}});
    EXPECT_EQ(r.out[0].fill, 0x00FFFFFFu);
    EXPECT_EQ(r.out[1].fill, 0xFFB0F5FCu);
    EXPECT_EQ(r.out[2].fill, 0x00FFFFFFu);
    EXPECT_EQ(r.out[3].fill, 0xFF000001u);
}

TEST(SchqGraphics, EllipsesAndArcs) {
    auto arc = [](const char* start, const char* end) {
        Fixture f;
        PropertyMap r{{"LOCATION.X", "100"}, {"LOCATION.Y", "100"}, {"RADIUS", "10"}};
        if (start) r["STARTANGLE"] = start;
        if (end) r["ENDANGLE"] = end;
        f.builder.addGraphic(r, 12, 9);
        return f.out;
    };
    auto a = arc("0", "90");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].kind, schq::Polyline);
    EXPECT_EQ(a[0].points.size(), 19u);
    EXPECT_NEAR(a[0].points.front().x, 110, 1e-9);
    EXPECT_NEAR(a[0].points.front().y, 660, 1e-9);
    EXPECT_NEAR(a[0].points.back().x, 100, 1e-9);
    EXPECT_NEAR(a[0].points.back().y, 650, 1e-9);  // counter-clockwise in the file is upwards here
    EXPECT_EQ(arc("0", "10")[0].points.size(), 5u);
    const auto wrap = arc("350", "10");
    EXPECT_EQ(wrap[0].points.size(), 5u);
    EXPECT_NEAR(wrap[0].points[2].x, 110, 1e-9);  // through angle 0
    EXPECT_EQ(arc("0", "359")[0].points.size(), 73u);
    EXPECT_EQ(arc("45", "45")[0].kind, schq::Circle);
    EXPECT_EQ(arc(nullptr, nullptr)[0].kind, schq::Circle);
    EXPECT_EQ(arc("0", "359.995")[0].kind, schq::Circle);

    Fixture f;
    const PropertyMap full{{"LOCATION.X", "100"}, {"LOCATION.Y", "100"}, {"RADIUS", "10"}, {"ISSOLID", "T"}};
    f.builder.addGraphic(full, 11, 9);
    f.builder.addGraphic(full, 8, 9);
    PropertyMap coloured = full;
    coloured["AREACOLOR"] = "2";
    coloured["SECONDARYRADIUS"] = "4";
    f.builder.addGraphic(coloured, 8, 9);
    coloured["SECONDARYRADIUS"] = "0";
    f.builder.addGraphic(coloured, 8, 9);
    ASSERT_EQ(f.out.size(), 4u);
    EXPECT_EQ(f.out[0].fill, 0x00FFFFFFu);  // an arc record is never filled
    EXPECT_EQ(f.out[1].fill, 0xFFB0F5FCu);
    EXPECT_EQ(f.out[2].kind, schq::Ellipse);
    EXPECT_EQ(f.out[2].fill, 0xFF000002u);
    EXPECT_EQ(f.out[2].ry, 4);
    expectBox(f.out[2], 88.4, 654.4, 111.6, 665.6);
    EXPECT_EQ(f.out[3].kind, schq::Circle);
    EXPECT_EQ(f.out[3].ry, 10);

    Fixture g;
    g.builder.addGraphic(PropertyMap{{"RADIUS", "0"}}, 8, 9);
    g.builder.addGraphic(PropertyMap{{"RADIUS", "-5"}, {"ENDANGLE", "90"}}, 12, 9);
    g.builder.addGraphic(PropertyMap{{"RADIUS", "100001"}}, 8, 9);
    EXPECT_TRUE(g.out.empty());
    g.builder.addGraphic(PropertyMap{{"RADIUS", "100001"}, {"ENDANGLE", "90"}}, 12, 9);
    g.builder.addGraphic(PropertyMap{{"RADIUS", "100000"}}, 8, 9);
    ASSERT_EQ(g.out.size(), 2u);
    EXPECT_EQ(g.out[0].kind, schq::Polyline);
    EXPECT_EQ(g.out[1].kind, schq::Circle);
    // Angles whose difference overflows still make a closed ellipse.
    g.builder.addGraphic(PropertyMap{{"RADIUS", "5"}, {"STARTANGLE", "-1.7e308"}, {"ENDANGLE", "1.7e308"}},
                         12, 9);
    ASSERT_EQ(g.out.size(), 3u);
    EXPECT_EQ(g.out[2].kind, schq::Circle);
}

// One builder keeps the last arc's angles: arcs in a row, with the same or other angles, radii and
// centres, come out as each would alone.
TEST(SchqGraphics, ArcsInARowAsAlone) {
    const std::vector<PropertyMap> arcs = {
        {{"LOCATION.X", "100"}, {"LOCATION.Y", "100"}, {"RADIUS", "10"}, {"ENDANGLE", "90"}},
        {{"LOCATION.X", "7"},
         {"LOCATION.Y", "3"},
         {"RADIUS", "4"},
         {"SECONDARYRADIUS", "2"},
         {"ENDANGLE", "90"}},
        {{"LOCATION.X", "7"}, {"LOCATION.Y", "3"}, {"RADIUS", "4"}, {"STARTANGLE", "-0"}, {"ENDANGLE", "90"}},
        {{"LOCATION.X", "7"},
         {"LOCATION.Y", "3"},
         {"RADIUS", "4"},
         {"STARTANGLE", "10"},
         {"ENDANGLE", "100"}},
        {{"LOCATION.X", "7"},
         {"LOCATION.Y", "3"},
         {"RADIUS", "4"},
         {"STARTANGLE", "10"},
         {"ENDANGLE", "101"}},
        {{"LOCATION.X", "100"}, {"LOCATION.Y", "100"}, {"RADIUS", "10"}, {"ENDANGLE", "90"}},
    };
    Fixture row;
    for (const PropertyMap& arc : arcs) row.builder.addGraphic(arc, 12, 9);
    ASSERT_EQ(row.out.size(), arcs.size());
    for (std::size_t i = 0; i < arcs.size(); ++i) {
        Fixture alone;
        alone.builder.addGraphic(arcs[i], 12, 9);
        ASSERT_EQ(alone.out.size(), 1u);
        ASSERT_EQ(row.out[i].points.size(), alone.out[0].points.size()) << i;
        for (std::size_t k = 0; k < alone.out[0].points.size(); ++k) {
            EXPECT_EQ(row.out[i].points[k].x, alone.out[0].points[k].x) << i << " " << k;
            EXPECT_EQ(row.out[i].points[k].y, alone.out[0].points[k].y) << i << " " << k;
        }
    }
}

TEST(SchqTexts, TextMakerFiltersAndEstimatesExtent) {
    Fixture f;
    auto add = [&](std::string text, schq::TextAnchor anchor = schq::Start, double rotation = 0,
                   double size = 10) {
        const std::size_t before = f.out.size();
        f.builder.addText({0, 0}, std::move(text), schq::Labels, 0xFF112233, size, anchor, rotation, 0.32);
        return f.out.size() > before ? &f.out.back() : nullptr;
    };
    EXPECT_EQ(add(""), nullptr);
    EXPECT_EQ(add("*"), nullptr);
    EXPECT_EQ(add("=Value"), nullptr);
    EXPECT_EQ(add(std::string(10001, 'x')), nullptr);
    ASSERT_NE(add("**"), nullptr);
    ASSERT_NE(add(std::string(10000, 'x')), nullptr);
    f.builder.addText({1e7, 0}, "far", schq::Labels, 0, 10, schq::Start, 0, 0);
    EXPECT_EQ(f.out.size(), 2u);

    const Primitive* p = add("ABC");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->kind, schq::Text);
    EXPECT_EQ(p->stroke, 0xFF112233u);
    EXPECT_EQ(p->fill, 0x00FFFFFFu);
    EXPECT_DOUBLE_EQ(p->strokeWidth, 0.7);
    EXPECT_DOUBLE_EQ(p->dy, 0.32);
    expectBox(*p, -3, -19, 31.5, 19);
    expectBox(*add("ABC", schq::End), -31.5, -19, 3, 19);
    expectBox(*add("ABC", schq::Middle), -17.25, -19, 17.25, 19);
    expectBox(*add("ABC", schq::End, -90), -19, -31.5, 19, 31.5);
    expectBox(*add("ABC", schq::Start, -270), -19, -31.5, 19, 31.5);
    expectBox(*add("ABC", schq::Start, -180), -3, -19, 31.5, 19);
    expectBox(*add("\xCE\xA9"
                   "1"),
              -3, -19, 22, 19);             // two code points
    expectBox(*add("I"), -3, -19, 13, 19);  // at least one font size wide
    expectBox(*add(std::string(3000, 'x')), -3, -19, 20003, 19);
}

TEST(SchqTexts, TextRecordsSplitIntoLines) {
    Fixture f;
    f.sheet["SIZE3"] = "30";
    f.sheet["SIZE4"] = "4";
    auto lines = [&](PropertyMap r) {
        f.out.clear();
        r.emplace("LOCATION.X", "100");
        r.emplace("LOCATION.Y", "660");
        f.builder.addTextRecord(r, schq::Labels, "");
        return f.out;
    };
    auto out = lines({{"TEXT", "A~1B\\nC"}});
    ASSERT_EQ(out.size(), 3u);
    const double size = 8.1;  // no SIZE1 in the sheet: 10 x 0.81
    EXPECT_EQ(out[0].text, "A");
    EXPECT_EQ(out[1].text, "B");
    EXPECT_EQ(out[2].text, "C");
    EXPECT_DOUBLE_EQ(out[0].y, 100);
    EXPECT_DOUBLE_EQ(out[1].y, 100 + size * 1.18);
    EXPECT_DOUBLE_EQ(out[2].y, 100 + size * 1.18 * 2);
    EXPECT_DOUBLE_EQ(out[0].fontSize, size);
    EXPECT_EQ(out[0].layer, schq::Labels);
    EXPECT_EQ(out[0].stroke, 0xFF000000u);  // no COLOR: black
    EXPECT_EQ(out[0].anchor, schq::Start);
    EXPECT_EQ(out[0].rotation, 0);
    EXPECT_EQ(out[0].dy, 0);

    EXPECT_EQ(lines({{"TEXT", "A~1"}}).size(), 1u);
    out = lines({{"TEXT", "~1~1X"}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_DOUBLE_EQ(out[0].y, 100 + size * 1.18 * 2);
    EXPECT_TRUE(lines({{"TEXT", ""}}).empty());
    EXPECT_TRUE(lines({}).empty());

    // At most 30 line positions, empty ones included.
    std::string many;
    for (int i = 0; i < 35; ++i) {
        many += 'L';
        many += std::to_string(i);
        many += "~1";
    }
    out = lines({{"TEXT", many}});
    ASSERT_EQ(out.size(), 30u);
    EXPECT_EQ(out.back().text, "L29");
    std::string late;
    for (int i = 0; i < 29; ++i) late += "~1";
    out = lines({{"TEXT", late + "X~1Y"}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "X");
    EXPECT_TRUE(lines({{"TEXT", std::string(100000, '\n') + "late"}}).empty());

    EXPECT_DOUBLE_EQ(lines({{"TEXT", "T"}, {"FONTID", "3"}})[0].fontSize, 24.3);
    f.sheet["SIZE5"] = "200";
    EXPECT_DOUBLE_EQ(lines({{"TEXT", "T"}, {"FONTID", "5"}})[0].fontSize, 100);
    EXPECT_DOUBLE_EQ(lines({{"TEXT", "T"}, {"FONTID", "4"}})[0].fontSize, 4);
    EXPECT_DOUBLE_EQ(lines({{"TEXT", "T"}, {"FONTID", "-1"}})[0].fontSize, 8.1);

    struct Just {
        const char* j;
        schq::TextAnchor anchor;
        double dy;
    } justs[] = {{"4", schq::Middle, 0.32}, {"8", schq::End, 0.72},   {"2", schq::End, 0},
                 {"-1", schq::Start, 0},    {"6", schq::Start, 0.72}, {"-5", schq::Start, 0}};
    for (const Just& j : justs) {
        out = lines({{"TEXT", "T"}, {"JUSTIFICATION", j.j}});
        EXPECT_EQ(out[0].anchor, j.anchor) << j.j;
        EXPECT_EQ(out[0].dy, j.dy) << j.j;
    }
    struct Turn {
        const char* o;
        double rotation;
    } turns[] = {{"1", -90}, {"3", -90}, {"-1", 90}, {"4", 0}, {"6", 0}};
    for (const Turn& t : turns)
        EXPECT_EQ(lines({{"TEXT", "T"}, {"ORIENTATION", t.o}})[0].rotation, t.rotation) << t.o;
    // Turned half-way round, a text reads as one of orientation 0 or 1 with its justification mirrored.
    const Just mirrored[] = {{"0", schq::End, 0.72}, {"4", schq::Middle, 0.32}, {"8", schq::Start, 0}};
    for (const char* o : {"2", "3"}) {
        for (const Just& j : mirrored) {
            out = lines({{"TEXT", "T"}, {"JUSTIFICATION", j.j}, {"ORIENTATION", o}});
            EXPECT_EQ(out[0].anchor, j.anchor) << o << " " << j.j;
            EXPECT_EQ(out[0].dy, j.dy) << o << " " << j.j;
        }
    }

    // Rotated lines still stack downwards; the colour comes from the record.
    out = lines({{"TEXT", "A~1B"}, {"ORIENTATION", "1"}, {"COLOR", "16711680"}});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].x, 100);
    EXPECT_GT(out[1].y, out[0].y);
    EXPECT_EQ(out[1].stroke, 0xFFFF0000u);

    // A given text takes the place of the record's own.
    f.out.clear();
    f.builder.addTextRecord(PropertyMap{{"TEXT", "own"}}, schq::PinNames, "given");
    ASSERT_EQ(f.out.size(), 1u);
    EXPECT_EQ(f.out[0].text, "given");
    EXPECT_EQ(f.out[0].layer, schq::PinNames);
}

TEST(SchqPins, LinesNamesNumbersAndOuterEdge) {
    auto pin = [](PropertyMap r) {
        Fixture f;
        r.emplace("LOCATION.X", "100");
        r.emplace("LOCATION.Y", "660");  // y 100 on the sheet
        r.emplace("NAME", "CLK");
        r.emplace("DESIGNATOR", "7");
        f.builder.addPin(r);
        return f.out;
    };
    // Upwards: name and number read upwards.
    auto out = pin({{"PINCONGLOMERATE", "25"}, {"PINLENGTH", "20"}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].kind, schq::Line);
    EXPECT_EQ(out[0].layer, schq::Pins);
    EXPECT_EQ(out[0].stroke, 0xFF433730u);
    EXPECT_DOUBLE_EQ(out[0].strokeWidth, 0.56);
    expectPoints(out[0], {{100, 100}, {100, 80}});
    EXPECT_EQ(out[1].text, "CLK");
    EXPECT_EQ(out[1].layer, schq::PinNames);
    EXPECT_DOUBLE_EQ(out[1].x, 102.1);
    EXPECT_DOUBLE_EQ(out[1].y, 104);
    EXPECT_EQ(out[1].anchor, schq::End);
    EXPECT_EQ(out[1].rotation, -90);
    EXPECT_EQ(out[1].stroke, 0xFF443024u);
    EXPECT_DOUBLE_EQ(out[1].fontSize, 6.7);
    EXPECT_DOUBLE_EQ(out[1].dy, 0.25);
    EXPECT_EQ(out[2].text, "7");
    EXPECT_DOUBLE_EQ(out[2].x, 98);
    EXPECT_DOUBLE_EQ(out[2].y, 91);
    EXPECT_EQ(out[2].anchor, schq::Middle);
    EXPECT_EQ(out[2].rotation, -90);
    EXPECT_EQ(out[2].stroke, 0xFF70615Au);
    EXPECT_DOUBLE_EQ(out[2].fontSize, 5.8);

    out = pin({{"PINCONGLOMERATE", "24"}, {"PINLENGTH", "10"}});  // to the right
    ASSERT_EQ(out.size(), 3u);
    expectPoints(out[0], {{100, 100}, {110, 100}});
    EXPECT_DOUBLE_EQ(out[1].x, 96);
    EXPECT_DOUBLE_EQ(out[1].y, 102.1);
    EXPECT_EQ(out[1].anchor, schq::End);
    EXPECT_DOUBLE_EQ(out[2].x, 104.5);
    EXPECT_DOUBLE_EQ(out[2].y, 98);
    EXPECT_EQ(out[2].anchor, schq::Middle);
    EXPECT_EQ(out[2].rotation, 0);

    // To the left, the bubble outside the body touching it at the base point.
    out = pin({{"PINCONGLOMERATE", "26"}, {"SYMBOL_OUTEREDGE", "1"}, {"PINLENGTH", "10"}});
    ASSERT_EQ(out.size(), 4u);
    expectPoints(out[0], {{100, 100}, {90, 100}});
    EXPECT_EQ(out[1].kind, schq::Circle);
    EXPECT_DOUBLE_EQ(out[1].x, 97.5);
    EXPECT_DOUBLE_EQ(out[1].y, 100);
    EXPECT_EQ(out[1].layer, schq::Pins);
    EXPECT_EQ(out[1].rx, 2.5);
    EXPECT_EQ(out[1].fill, 0xFFFFFFFFu);
    EXPECT_DOUBLE_EQ(out[1].strokeWidth, 0.7);
    EXPECT_DOUBLE_EQ(out[2].x, 104);
    EXPECT_EQ(out[2].anchor, schq::Start);
    EXPECT_DOUBLE_EQ(out[3].x, 95.5);

    out = pin({{"PINCONGLOMERATE", "27"}, {"PINLENGTH", "30"}});  // downwards
    ASSERT_EQ(out.size(), 3u);
    expectPoints(out[0], {{100, 100}, {100, 130}});
    EXPECT_DOUBLE_EQ(out[1].x, 102.1);
    EXPECT_DOUBLE_EQ(out[1].y, 96);
    EXPECT_EQ(out[1].anchor, schq::Start);
    EXPECT_DOUBLE_EQ(out[2].x, 98);
    EXPECT_DOUBLE_EQ(out[2].y, 113.5);

    EXPECT_EQ(pin({{"PINCONGLOMERATE", "0"}, {"PINLENGTH", "10"}}).size(), 1u);
    EXPECT_EQ(pin({{"SYMBOL_OUTEREDGE", "T"}, {"PINLENGTH", "10"}}).size(), 1u);
    // Hidden pins draw nothing; a missing length is 0, and a pin of length 0 draws no line.
    EXPECT_TRUE(pin({{"PINCONGLOMERATE", "28"}, {"PINLENGTH", "10"}}).empty());
    out = pin({{"PINCONGLOMERATE", "24"}});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text, "CLK");
    EXPECT_TRUE(pin({{"PINLENGTH", "-1"}, {"PINCONGLOMERATE", "24"}}).empty());
    EXPECT_TRUE(pin({{"PINLENGTH", "10001"}, {"PINCONGLOMERATE", "24"}}).empty());
    EXPECT_TRUE(pin({{"PINLENGTH", "0"}}).empty());
    // An empty name leaves the rest of the pin.
    Fixture f;
    f.builder.addPin(
        PropertyMap{{"PINCONGLOMERATE", "24"}, {"NAME", ""}, {"DESIGNATOR", "=x"}, {"PINLENGTH", "10"}});
    EXPECT_EQ(f.out.size(), 1u);
    // Negative conglomerates still pick one of the four directions.
    EXPECT_EQ(pin({{"PINCONGLOMERATE", "-5"}, {"PINLENGTH", "10"}})[0].points[1].y, 110);
}

TEST(SchqPowerPorts, EveryStyleAndOrientation) {
    auto port = [](PropertyMap r) {
        Fixture f;
        r.emplace("LOCATION.X", "100");
        r.emplace("LOCATION.Y", "560");  // y 200 on the sheet
        r.emplace("TEXT", "VCC");
        f.builder.addPowerPort(r);
        return f.out;
    };
    // Shapes in symbol coordinates (a along the port's direction, b across it); a circle's one
    // point is its centre. The wave is checked at its ends and middle.
    struct Shape {
        schq::PrimitiveKind kind;
        std::vector<Point> ab;
        double r = 0;
    };
    const Shape stub5{schq::Line, {{0, 0}, {5, 0}}}, stub10{schq::Line, {{0, 0}, {10, 0}}};
    auto bar = [](double a, double h) { return Shape{schq::Line, {{a, -h}, {a, h}}}; };
    const std::vector<Shape> gost = {{schq::Line, {{0, 0}, {16, 0}}}, bar(16, 10), bar(20, 6), bar(24, 2)};
    std::vector<Shape> gostCircle = gost;
    gostCircle.push_back({schq::Circle, {{16, 0}}, 12});
    const struct Style {
        const char* style;
        std::vector<Shape> shapes;
        double textAt;
    } styles[] = {
        {"0", {stub5, {schq::Circle, {{7.5, 0}}, 2.5}}, 15},
        {"1", {stub5, {schq::Polygon, {{5, -2.5}, {10, 0}, {5, 2.5}}}}, 15},
        {"2", {stub10, bar(10, 5)}, 15},
        {"3", {{schq::Line, {{0, 0}, {7.2, 0}}}, {schq::Polyline, {{5, 3}, {7.5, 0}, {10, -3}}}}, 15},
        {"4", {stub10, bar(10, 10), bar(13, 7), bar(16, 4), bar(19, 1)}, 25},
        {"5", {stub10, {schq::Polygon, {{10, -10}, {10, 10}, {20, 0}}}}, 25},
        {"6",
         {stub10,
          {schq::Polyline, {{20, -15}, {10, -10}, {10, 10}, {20, 5}}},
          {schq::Line, {{10, 0}, {20, -5}}}},
         25},
        {"7", {stub10, {schq::Polyline, {{5, -2.5}, {10, 0}, {5, 2.5}}}}, 15},
        {"8", gost, 30},
        {"9", gostCircle, 35},
        {"10", {{schq::Line, {{0, 0}, {20, 0}}}, bar(20, 10)}, 25},
        {"11", {stub10, bar(10, 5)}, 15},
        {"-1", {stub10, bar(10, 5)}, 15},
    };
    const struct Turn {
        const char* o;
        Point f;
        schq::TextAnchor anchor;
        double dy;
    } turns[] = {{"0", {1, 0}, schq::Start, 0.32}, {"1", {0, -1}, schq::Middle, 0},
                 {"2", {-1, 0}, schq::End, 0.32},  {"3", {0, 1}, schq::Middle, 0.72},
                 {"6", {-1, 0}, schq::End, 0.32},  {"-2", {0, 1}, schq::Middle, 0.72}};
    for (const Style& style : styles) {
        for (const Turn& turn : turns) {
            SCOPED_TRACE(std::string("style ") + style.style + " orientation " + turn.o);
            auto at = [&](Point q) {
                return Point{100 + q.x * turn.f.x + q.y * turn.f.y, 200 + q.x * turn.f.y - q.y * turn.f.x};
            };
            const auto out = port({{"STYLE", style.style}, {"ORIENTATION", turn.o}});
            ASSERT_EQ(out.size(), style.shapes.size() + 1);
            for (std::size_t k = 0; k < style.shapes.size(); ++k) {
                const Shape& shape = style.shapes[k];
                const Primitive& p = out[k];
                EXPECT_EQ(p.kind, shape.kind) << k;
                EXPECT_EQ(p.fill, shape.kind == schq::Polygon ? 0xFF000000u : 0x00FFFFFFu);
                std::vector<Point> expected;
                for (const Point& q : shape.ab) expected.push_back(at(q));
                if (shape.kind == schq::Circle) {
                    EXPECT_DOUBLE_EQ(p.x, expected[0].x);
                    EXPECT_DOUBLE_EQ(p.y, expected[0].y);
                    EXPECT_EQ(p.rx, shape.r);
                } else if (p.points.size() == 9) {
                    expectPoints({.points = {p.points[0], p.points[4], p.points[8]}}, expected);
                } else {
                    expectPoints(p, expected);
                }
                EXPECT_DOUBLE_EQ(p.strokeWidth, 0.8);
            }
            const Primitive& t = out.back();
            EXPECT_EQ(t.text, "VCC");
            const Point textAt = at({style.textAt, 0});
            EXPECT_DOUBLE_EQ(t.x, textAt.x);
            EXPECT_DOUBLE_EQ(t.y, textAt.y);
            EXPECT_EQ(t.anchor, turn.anchor);
            EXPECT_DOUBLE_EQ(t.fontSize, 7.8);
            EXPECT_DOUBLE_EQ(t.dy, turn.dy);
            EXPECT_EQ(t.rotation, 0);
            for (const Primitive& p : out) {
                EXPECT_EQ(p.layer, schq::Labels);
                EXPECT_EQ(p.stroke, 0xFF000000u);  // no COLOR: black
            }
        }
    }
    const auto hidden = port({{"STYLE", "7"}, {"SHOWNETNAME", "F"}, {"COLOR", "65535"}});
    ASSERT_EQ(hidden.size(), 2u);
    EXPECT_EQ(hidden[0].stroke, 0xFF00FFFFu);
    EXPECT_EQ(port({{"STYLE", "7"}, {"SHOWNETNAME", "T"}}).size(), 3u);
    EXPECT_EQ(port({{"STYLE", "7"}, {"SHOWNETNAME", "f"}}).size(), 3u);
}

}  // namespace
