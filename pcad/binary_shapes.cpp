// Shape records into lines and circles, page rectangles from lines, junction dots.
#include <algorithm>
#include <cmath>

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

void addCircle(const ReadContext& ctx, Page& page, std::size_t i, const ShapeRecord& r) {
    const double dx = r.x1 - r.x0;
    const double dy = r.y1 - r.y0;
    if (dx < 0.1 || dx > 200 || dy < 0.1 || dy > 200) return;
    Circle c;
    c.x = (r.x0 + r.x1) / 2;
    c.y = (r.y0 + r.y1) / 2;
    c.width = 0.25f;
    const ByteSpan& s = ctx.span;
    // A chain before the circle's record holds its true centre and stroke width.
    if (i >= kChainSize && tagAt(s, i - kChainSize, 0x0A, 0x05, 0x00) &&
        bytesAt(s, i - kChainLinkAt, kChainLink, sizeof kChainLink) &&
        tagAt(s, i - kChainPointTag, 0x04, 0x08, 0x00)) {
        const BinaryPoint centre = s.point(i - kChainCentre);
        c.x = centre.x;
        c.y = centre.y;
        const float w = static_cast<float>(s.readU32(i - kChainWidth) / 100000.0);
        c.width = (static_cast<double>(w) < 0.01 || static_cast<double>(w) > 5.0) ? 0.25f : w;
    }
    c.diameter = static_cast<float>((dx + dy) / 2);
    c.itemClass = ClassSymbolGraphics;
    c.filled = 0;
    page.circles.push_back(c);
}

// The stroke width of the line whose shape record is at i: from its width record, else 0.3.
float lineWidth(const ByteSpan& s, std::size_t i) {
    if (i < kLineWidthSize || !tagAt(s, i - kLineWidthSize, 0x08, 0x06, 0x00)) return 0.3f;
    const float w = static_cast<float>(s.readU32(i - kLineWidth) / 100000.0);
    return static_cast<double>(w) > 0.02 && static_cast<double>(w) < 5.0 ? w : 0.3f;
}

// Wires and buses by their flag and width; other lines by where they lie in the file.
std::uint8_t lineClass(const ReadContext& ctx, std::size_t i, const ShapeRecord& r, float width) {
    if (r.wireFlag != 0) return static_cast<double>(width) < 0.6 ? ClassWire : ClassBus;
    if (ctx.sheets.size() > 1) return inSheetRange(ctx, r.sheet, i) ? ClassFrame : ClassSymbolGraphics;
    if (i < ctx.anchorOffset + kAnchorReach) return ClassFrame;
    if (std::min(r.p1.x, r.p2.x) >= kLargeGraphicsX && std::min(r.p1.y, r.p2.y) >= kLargeGraphicsY)
        return ClassLargeGraphics;
    return ClassSymbolGraphics;
}

void addLine(const ReadContext& ctx, Page& page, std::size_t i, const ShapeRecord& r) {
    const float width = lineWidth(ctx.span, i);
    const std::uint8_t cls = lineClass(ctx, i, r, width);
    Line line;
    line.x1 = r.p1.x;
    line.y1 = r.p1.y;
    line.x2 = r.p2.x;
    line.y2 = r.p2.y;
    line.width = width;
    line.itemClass = cls;
    page.lines.push_back(line);
}

}  // namespace

void readShapes(ReadContext& ctx) {
    const ByteSpan& s = ctx.span;
    ShapeRecord r;
    forEachByte(s, ctx.scanStart, s.size, 0x04, [&](std::size_t i) {
        if (!s.matchShape(i, r)) return;
        Page* page = ctx.pageOf(r.sheet);
        if (page == nullptr) return;
        const double largest =
            std::max({std::fabs(r.p1.x), std::fabs(r.p1.y), std::fabs(r.p2.x), std::fabs(r.p2.y)});
        const double smallest = std::min({r.p1.x, r.p1.y, r.p2.x, r.p2.y});
        if (largest > kMaxAbsCoord || smallest < kMinCoord) return;
        if (std::fabs(r.p1.x - r.p2.x) < 0.00001 && std::fabs(r.p1.y - r.p2.y) < 0.00001)
            addCircle(ctx, *page, i, r);
        else
            addLine(ctx, *page, i, r);
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
