// Painting a P-CAD page back to front through a canvas, in the theme's palette.
#include "pcad/paint.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace pcad {
namespace {

// 0xRRGGBB as written in the palette to 0xAABBGGRR with full alpha.
constexpr std::uint32_t rgb(std::uint32_t v) {
    return 0xFF000000u | ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

// Stroke width in target units: at least 1, also when the page states a width that is
// not finite (an SVG reader rejects "nan" and "inf").
double strokeWidth(double width, double scale) {
    const double w = width * scale;
    return std::isfinite(w) && w >= 1.0 ? w : 1.0;
}

}  // namespace

int drawOrderKey(const Page& page, const Item& item) {
    switch (item.kind) {
        case KindLine: {
            if (item.index >= page.lines.size()) return 6;
            const std::uint8_t c = page.lines[item.index].itemClass;
            return c <= ClassLargeGraphics ? c : 6;
        }
        case KindCircle:
            if (item.index < page.circles.size() && page.circles[item.index].filled) return 15;
            return 12;
        default: return 20;
    }
}

std::uint32_t itemColour(std::uint8_t itemClass, bool dark) {
    switch (itemClass) {
        case ClassFrame: return rgb(dark ? 0x787d84 : 0x696969);
        case ClassSymbolGraphics: return rgb(dark ? 0xaeb8c3 : 0x2c2c2c);
        case ClassBus: return rgb(dark ? 0x3547f5 : 0x282f9a);
        case ClassWire: return rgb(dark ? 0x23e136 : 0x09831d);
        case ClassLargeGraphics: return rgb(dark ? 0x12c5dd : 0x088190);
        case ClassAttributeText: return rgb(dark ? 0x69d7f5 : 0x005169);
        case ClassJunction: return rgb(dark ? 0x2de232 : 0x09831d);
        case ClassTitleText: return rgb(dark ? 0xccd1d7 : 0x282828);
        default: return rgb(dark ? 0xe0e6ec : 0x141414);
    }
}

namespace {

// Draws one item through the view; counts it by kind. Items whose index is stale draw nothing.
void drawItem(const Page& page, const Item& it, const View& view, Canvas& canvas, bool dark,
              PaintStats& stats) {
    const double s = view.scale;
    switch (it.kind) {
        case KindLine: {
            if (it.index >= page.lines.size()) break;
            const Line& l = page.lines[it.index];
            const Point a = view.toScreen(l.x1, l.y1);
            const Point b = view.toScreen(l.x2, l.y2);
            canvas.line(a.x, a.y, b.x, b.y, strokeWidth(l.width, s), itemColour(l.itemClass, dark));
            ++stats.lines;
            break;
        }
        case KindCircle: {
            if (it.index >= page.circles.size()) break;
            const Circle& c = page.circles[it.index];
            const Point p = view.toScreen(c.x, c.y);
            canvas.circle(p.x, p.y, c.diameter * s * 0.5, strokeWidth(c.width, s),
                          itemColour(c.itemClass, dark), c.filled != 0);
            ++stats.circles;
            break;
        }
        case KindText: {
            if (it.index >= page.texts.size()) break;
            const Text& t = page.texts[it.index];
            const double x0 = (it.minX - view.centerX) * s + view.width * 0.5;
            const double y0 = (view.centerY - it.maxY) * s + view.height * 0.5;
            const double x1 = (it.maxX - view.centerX) * s + view.width * 0.5;
            const double y1 = (view.centerY - it.minY) * s + view.height * 0.5;
            canvas.text(x0, y0, t, x0, y0, x1, y1, itemColour(t.itemClass, dark));
            ++stats.texts;
            break;
        }
        default: break;
    }
}

}  // namespace

PaintStats paint(const Page& page, const View& view, Canvas& canvas, bool dark) {
    PaintStats stats;
    const Rect vis = view.visibleRect();
    std::vector<const Item*> list;
    page.query(vis.minX, vis.minY, vis.maxX, vis.maxY, [&list](const Item& it) { list.push_back(&it); });
    std::stable_sort(list.begin(), list.end(), [&page](const Item* a, const Item* b) {
        return drawOrderKey(page, *a) < drawOrderKey(page, *b);
    });
    for (const Item* it : list) {
        ++stats.items;
        drawItem(page, *it, view, canvas, dark, stats);
    }
    return stats;
}

}  // namespace pcad
