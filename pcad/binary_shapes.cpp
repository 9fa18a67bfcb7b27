// Shape records into lines and circles, page rectangles from lines, junction dots.
#include <algorithm>
#include <cmath>

#include "pcad/binary_passes.h"

namespace pcad::binary {

namespace {

const std::uint8_t kChainLink[11] = {0x05, 0x08, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0xFF, 0x7F, 0xFF, 0x7F};

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
    if (i >= 30 && tagAt(s, i - 30, 0x0A, 0x05, 0x00) && bytesAt(s, i - 22, kChainLink, 11) &&
        tagAt(s, i - 11, 0x04, 0x08, 0x00)) {
        const BinaryPoint centre = s.point(i - 8);
        c.x = centre.x;
        c.y = centre.y;
        const float w = static_cast<float>(s.readU32(i - 27) / 100000.0);
        c.width = (static_cast<double>(w) < 0.01 || static_cast<double>(w) > 5.0) ? 0.25f : w;
    }
    c.diameter = static_cast<float>((dx + dy) / 2);
    c.itemClass = ClassSymbolGraphics;
    c.filled = 0;
    page.circles.push_back(c);
}

void addLine(const ReadContext& ctx, Page& page, std::size_t i, const ShapeRecord& r) {
    const ByteSpan& s = ctx.span;
    float width = 0.3f;
    if (i >= 9 && tagAt(s, i - 9, 0x08, 0x06, 0x00)) {
        const float w = static_cast<float>(s.readU32(i - 6) / 100000.0);
        if (static_cast<double>(w) > 0.02 && static_cast<double>(w) < 5.0) width = w;
    }
    std::uint8_t cls;
    if (r.wireFlag != 0) {
        cls = static_cast<double>(width) < 0.6 ? ClassWire : ClassBus;
    } else if (ctx.sheets.size() > 1) {
        cls = inSheetRange(ctx, r.sheet, i) ? ClassFrame : ClassSymbolGraphics;
    } else if (i < ctx.anchorOffset + 8500) {
        cls = ClassFrame;
    } else if (std::min(r.p1.x, r.p2.x) >= 225 && std::min(r.p1.y, r.p2.y) >= 120) {
        cls = ClassLargeGraphics;
    } else {
        cls = ClassSymbolGraphics;
    }
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
        if (largest > 5000 || smallest < -500) return;
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
    GraphicRecord g;
    forEachByte(s, ctx.scanStart > 3 ? ctx.scanStart - 3 : 0, s.size, 0x2F, [&](std::size_t mark) {
        if (!tagAt(s, mark, 0x2F, 0x00, 0x00) || !ctx.graphicAt(mark + 3, g)) return;
        Page* page = ctx.pageOf(g.sheet);
        if (page == nullptr) return;
        if (g.x < page->originX - 2 || g.x > page->originX + page->width + 2 || g.y < page->originY - 2 ||
            g.y > page->originY + page->height + 2)
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
