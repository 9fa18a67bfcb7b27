// Shape and polygon records into lines, arcs and circles, page rectangles from lines,
// junction dots.
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <queue>

#include "common/bytes.h"
#include "pcad/arc_segments.h"
#include "pcad/binary_passes.h"

namespace pcad::binary {

namespace {

// The 30-byte chain that may stand before a circle's shape record, offsets from the record:
// width tag 0A 05 00 and width, a fixed link, then a point tag with the centre.
constexpr std::size_t kChainSize = 30, kChainWidth = 27, kChainLinkAt = 22, kChainPointTag = 11,
                      kChainCentre = 8;
const std::uint8_t kChainLink[11] = {0x05, 0x08, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0x7F, 0xFF, 0x7F};

// The 9-byte width record 08 06 00 that may stand before a line's shape record.
constexpr std::size_t kLineWidthSize = 9, kLineWidth = 6;

// Records wholly beyond these coordinates are dropped (millimetres).
constexpr double kMaxAbsCoord = 5000, kMinCoord = -500;

// With one sheet, lines whose lower corner lies this far right and up are large graphics.
constexpr double kLargeGraphicsX = 225, kLargeGraphicsY = 120;

bool inSheetRange(const ReadContext& ctx, std::int32_t sheet, std::size_t i) {
    const auto it = ctx.sheetRanges.find(sheet);
    return it != ctx.sheetRanges.end() && i >= it->second.first && i < it->second.second;
}

// True when the 30-byte circle chain stands directly before the shape record at i; then
// its centre and stroke width (the circle default when implausible) are set.
bool circleChainBefore(const ByteSpan& s, std::size_t i, BinaryPoint& centre, float& width) {
    if (i < kChainSize || !tagAt(s, i - kChainSize, 0x0A, 0x05, 0x00) ||
        !bytesAt(s, i - kChainLinkAt, kChainLink, sizeof kChainLink) ||
        !tagAt(s, i - kChainPointTag, 0x04, 0x08, 0x00))
        return false;
    centre = s.point(i - kChainCentre);
    const float w = static_cast<float>(s.readU32(i - kChainWidth) / 100000.0);
    width = (static_cast<double>(w) < 0.01 || static_cast<double>(w) > 5.0) ? 0.25f : w;
    return true;
}

// The circle of a shape record whose two points coincide, on no page yet; false when its
// rectangle is implausible (it then gives no line either).
bool circleOf(const ByteSpan& s, std::size_t i, const ShapeRecord& r, Circle& c) {
    const double dx = r.x1 - r.x0;
    const double dy = r.y1 - r.y0;
    if (dx < 0.1 || dx > 200 || dy < 0.1 || dy > 200) return false;
    c.x = (r.x0 + r.x1) / 2;
    c.y = (r.y0 + r.y1) / 2;
    c.width = 0.25f;
    // A chain before the circle's record holds its true centre and stroke width.
    BinaryPoint centre;
    if (circleChainBefore(s, i, centre, c.width)) {
        c.x = centre.x;
        c.y = centre.y;
    }
    c.diameter = static_cast<float>((dx + dy) / 2);
    c.itemClass = ClassSymbolGraphics;
    c.filled = 0;
    return true;
}

// The stroke width of the line whose shape record is at i: from its width record, else 0.3.
float lineWidth(const ByteSpan& s, std::size_t i) {
    if (i < kLineWidthSize || !tagAt(s, i - kLineWidthSize, 0x08, 0x06, 0x00)) return 0.3f;
    const float w = static_cast<float>(s.readU32(i - kLineWidth) / 100000.0);
    return static_cast<double>(w) > 0.02 && static_cast<double>(w) < 5.0 ? w : 0.3f;
}

void pushLine(Page& page, BinaryPoint a, BinaryPoint b, float width, std::uint8_t cls) {
    page.lines.push_back(Line{a.x, a.y, b.x, b.y, width, cls});
}

// Calls draw(page, class) for each page that a shape of this sheet field is drawn on: with
// its own class, or on the title sheet (every page) as part of the frame, which also marks
// the title sheet as found.
template <class Draw>
void forShapePages(ReadContext& ctx, std::uint16_t sheetField, std::uint8_t cls, Draw&& draw) {
    ctx.forPagesOf(sheetField, [&](Page& page, bool title) {
        ctx.titleSheet = ctx.titleSheet || title;
        draw(page, title ? std::uint8_t{ClassFrame} : cls);
    });
}

// The class of a line (or an outline's edges) whose record is at i; r gives its wire flag,
// sheet field and the points the one-sheet large-graphics test looks at. Wires and buses by
// their flag and width; other lines by where they lie in the file.
std::uint8_t lineClass(const ReadContext& ctx, std::size_t i, const ShapeRecord& r, float width) {
    if (r.wireFlag != 0) return static_cast<double>(width) < 0.6 ? ClassWire : ClassBus;
    if (ctx.sheets.size() > 1) return inSheetRange(ctx, r.sheet, i) ? ClassFrame : ClassSymbolGraphics;
    // Without the anchor nothing tells where the frame or the large graphics lie.
    if (!ctx.hasAnchor) return ClassSymbolGraphics;
    if (i < ctx.anchorOffset + kAnchorReach) return ClassFrame;
    if (std::min(r.p1.x, r.p2.x) >= kLargeGraphicsX && std::min(r.p1.y, r.p2.y) >= kLargeGraphicsY)
        return ClassLargeGraphics;
    return ClassSymbolGraphics;
}

// Counter-clockwise turn from `from` to `to` about `centre`, in (0, 2 pi); 0 when the two
// points lie in the same direction from the centre and no arc joins them.
double counterClockwiseSweep(BinaryPoint centre, BinaryPoint from, BinaryPoint to) {
    constexpr double kTurn = 2 * std::numbers::pi;
    const double a = std::atan2(from.y - centre.y, from.x - centre.x);
    const double b = std::atan2(to.y - centre.y, to.x - centre.x);
    const double sweep = std::fmod(b - a + 2 * kTurn, kTurn);
    return sweep > 1e-9 && sweep < kTurn ? sweep : 0;
}

// A shape record with two distinct points: a line, or with the circle chain before it an
// arc about the chain's point, counter-clockwise from the first point to the second.
void addLineOrArc(ReadContext& ctx, std::size_t i, const ShapeRecord& r) {
    BinaryPoint centre;
    float chainWidth = 0;
    double sweep = 0;
    if (circleChainBefore(ctx.span, i, centre, chainWidth) && plausiblePoint(centre))
        sweep = counterClockwiseSweep(centre, r.p1, r.p2);
    const float width = sweep > 0 ? chainWidth : lineWidth(ctx.span, i);
    forShapePages(ctx, r.sheet, lineClass(ctx, i, r, width), [&](Page& page, std::uint8_t c) {
        if (sweep == 0) {
            pushLine(page, r.p1, r.p2, width, c);
            return;
        }
        forEachArcSegment(centre, r.p1, sweep,
                          [&](BinaryPoint a, BinaryPoint b) { pushLine(page, a, b, width, c); });
    });
}

// Polygon record: 0B 00 00 05 04 00, a u16 not read, the point count n (u16), n point
// tags, then the attribute and rectangle tags: its last two points with those two tags
// pass for a shape record, the polygon's last edge.
const std::uint8_t kPolygonTag[6] = {0x0B, 0x00, 0x00, 0x05, 0x04, 0x00};
constexpr std::size_t kPolygonCount = 8, kPolygonPoints = 10, kPointSize = 11, kPointAt = 3;
constexpr std::size_t kPolygonTagAt04 = 4;
constexpr std::size_t kMinPolygonPoints = 3;

// Draws the polygon whose record starts at i (its tag is there) when the rest of the record
// is plausible. Its last edge, which passes for a shape record, goes into `lastEdges` so
// that it is not drawn a second time.
void readPolygonAt(ReadContext& ctx, std::size_t i, std::vector<BinaryPoint>& points,
                   std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>>& lastEdges) {
    const ByteSpan& s = ctx.span;
    if (!common::fits(i, kPolygonPoints, s.size)) return;
    const std::size_t n = s.readU16(i + kPolygonCount);
    const std::size_t lastEdge = i + kPolygonPoints + (n - 2) * kPointSize;
    // The closing tags are tested first: they reject almost every false start at once.
    ShapeRecord r;  // what the class rule looks at: the last edge's flag and sheet, the lowest corner
    if (n < kMinPolygonPoints || !s.matchShape(lastEdge, r)) return;
    points.clear();
    for (std::size_t at = i + kPolygonPoints; at <= lastEdge + kPointSize; at += kPointSize) {
        if (!tagAt(s, at, 0x04, 0x08, 0x00)) return;
        points.push_back(s.point(at + kPointAt));
        if (!plausiblePoint(points.back())) return;
    }
    r.p1 = points[0];
    for (const BinaryPoint& p : points) r.p1 = {std::min(r.p1.x, p.x), std::min(r.p1.y, p.y)};
    r.p2 = r.p1;
    const float width = lineWidth(s, i);
    forShapePages(ctx, r.sheet, lineClass(ctx, i, r, width), [&](Page& page, std::uint8_t c) {
        for (std::size_t k = 0; k < points.size(); ++k)
            pushLine(page, points[k], points[(k + 1) % points.size()], width, c);
    });
    lastEdges.push(lastEdge);
}

}  // namespace

bool plausiblePoint(BinaryPoint p) {
    return std::fabs(p.x) <= kMaxAbsCoord && std::fabs(p.y) <= kMaxAbsCoord && p.x >= kMinCoord &&
           p.y >= kMinCoord;
}

void readShapes(ReadContext& ctx) {
    const ByteSpan& s = ctx.span;
    ShapeRecord r;
    Circle c;
    std::vector<BinaryPoint> polygon;
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> lastEdges;
    // Shape records, polygon records (their tag holds 04 at offset 4) and the point tags
    // that end pin records all meet this scan at a byte 04: one pass over the file serves
    // them all.
    forEachByte(s, ctx.scanStart, s.size, 0x04, [&](std::size_t i) {
        // The byte before is tested first: most candidates are thereby done with at once.
        const std::uint8_t before = i > 0 ? s.data[i - 1] : 0xFF;
        if (before == 0x05 && i >= ctx.scanStart + kPolygonTagAt04 &&
            bytesAt(s, i - kPolygonTagAt04, kPolygonTag, sizeof kPolygonTag)) {
            readPolygonAt(ctx, i - kPolygonTagAt04, polygon, lastEdges);
            return;
        }
        if (!s.matchShape(i, r)) {
            if (before == 0x00) readPinEndingAt(ctx, i);  // a pin's number text ends with 00
            return;
        }
        if (!plausiblePoint(r.p1) || !plausiblePoint(r.p2)) return;
        while (!lastEdges.empty() && lastEdges.top() < i) lastEdges.pop();
        if (!lastEdges.empty() && lastEdges.top() == i) return;  // drawn with its polygon
        if (std::fabs(r.p1.x - r.p2.x) >= 0.00001 || std::fabs(r.p1.y - r.p2.y) >= 0.00001) {
            addLineOrArc(ctx, i, r);
            return;
        }
        if (!circleOf(s, i, r, c)) return;
        forShapePages(ctx, r.sheet, c.itemClass, [&](Page& page, std::uint8_t cls) {
            page.circles.push_back(c);
            page.circles.back().itemClass = cls;
        });
    });
}

void fitPagesToLines(ReadContext& ctx) {
    for (Page& page : ctx.pages) {
        if (page.lines.empty()) continue;
        double minX = page.lines[0].x1, maxX = minX;
        double minY = page.lines[0].y1, maxY = minY;
        for (const Line& l : page.lines) {
            minX = std::min({minX, l.x1, l.x2});
            maxX = std::max({maxX, l.x1, l.x2});
            minY = std::min({minY, l.y1, l.y2});
            maxY = std::max({maxY, l.y1, l.y2});
        }
        page.originX = minX;
        page.originY = minY;
        page.width = maxX - minX;
        page.height = maxY - minY;
    }
}

void readJunctions(ReadContext& ctx) {
    const ByteSpan& s = ctx.span;
    // The junction mark 2F 00 00 stands directly before its graphic record.
    constexpr std::size_t kMarkSize = 3;
    GraphicRecord g;
    forEachByte(s, ctx.scanStart > kMarkSize ? ctx.scanStart - kMarkSize : 0, s.size, 0x2F,
                [&](std::size_t mark) {
                    if (!tagAt(s, mark, 0x2F, 0x00, 0x00) || !ctx.graphicAt(mark + kMarkSize, g)) return;
                    Page* page = ctx.pageOf(g.sheet);
                    if (page == nullptr) return;
                    if (g.x < page->originX - 2 || g.x > page->originX + page->width + 2 ||
                        g.y < page->originY - 2 || g.y > page->originY + page->height + 2)
                        return;
                    double d = std::min(g.x1 - g.x0, g.y1 - g.y0);
                    if (d < 0.2 || d > 10) d = 0.9;
                    Circle c;
                    c.x = g.x;
                    c.y = g.y;
                    c.diameter = static_cast<float>(d);
                    c.width = 0;
                    c.itemClass = ClassJunction;
                    c.filled = 1;
                    page->circles.push_back(c);
                });
}

}  // namespace pcad::binary
