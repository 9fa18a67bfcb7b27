// Drawing a page through a sink: the visible polylines and texts mapped to pixels, and curves
// flattened for sinks that draw none.
#include "sbk/document.h"

#include "sbk/page_record.h"

#include <algorithm>
#include <cmath>

namespace sbk {

namespace {

constexpr std::uint8_t kWiresLayer = static_cast<std::uint8_t>(Layer::Wires);

bool onMask(std::uint32_t mask, std::uint8_t layer) {
    return (mask & (std::uint32_t{1} << (layer % 32))) != 0;
}

}  // namespace

std::vector<Point> flattenCurve(const Point& start, const Point& control, const Point& end) {
    constexpr int kSteps = 24;
    std::vector<Point> points;
    points.reserve(kSteps + 1);
    for (int i = 0; i <= kSteps; ++i) {
        const double t = i / double(kSteps), u = 1 - t;
        points.push_back({u * u * start.x + 2 * u * t * control.x + t * t * end.x,
                          u * u * start.y + 2 * u * t * control.y + t * t * end.y});
    }
    return points;
}

void Document::draw(const View& view, DrawSink& sink, const DrawOptions& options) const {
    const double scale = view.scale;
    // Every pixel mapping divides by the scale.
    if (!std::isfinite(scale) || !(scale > 0)) return;
    const Record& r = *rec_;

    Rect visible;
    visible.minX = (0 - view.offsetX) / scale;
    visible.maxX = (static_cast<double>(view.width) - view.offsetX) / scale;
    visible.minY = (view.offsetY - static_cast<double>(view.height)) / scale;
    visible.maxY = (view.offsetY - 0) / scale;

    auto toPixel = [&](const Point& p) {
        return Point{p.x * scale + view.offsetX, view.offsetY - p.y * scale};
    };

    std::vector<Point> pixels;
    auto drawPolyline = [&](const Polyline& pl) {
        const double w = (pl.maxX - pl.minX) * scale;
        const double h = (pl.maxY - pl.minY) * scale;
        if (pl.layer != kWiresLayer && options.minShapePx > std::max(w, h)) return;
        if (pl.points.size() < 2) return;
        pixels.clear();
        for (const Point& p : pl.points) pixels.push_back(toPixel(p));
        Pen pen;
        pen.colour = layerColour(pl.layer);
        pen.width = static_cast<float>(layerStrokeWidth(pl.layer) * scale);
        if (!(pen.width > 0.8f)) pen.width = 0.8f;
        sink.polyline(pl.shape, pixels.data(), pixels.size(), pen);
    };

    if (options.cullToView) {
        for (std::uint32_t i : query(visible, options.layerMask)) drawPolyline(r.polylines[i]);
    } else {
        for (const Polyline& pl : r.polylines)
            if (onMask(options.layerMask, pl.layer)) drawPolyline(pl);
    }

    for (const Text& t : r.texts) {
        if (!onMask(options.layerMask, t.layer) || t.text.empty()) continue;
        const double h = scale * t.height;
        if (options.minTextPx > h) continue;
        if (options.cullToView && !(visible.minX <= t.maxX && t.minX <= visible.maxX &&
                                    visible.minY <= t.maxY && t.minY <= visible.maxY))
            continue;
        sink.text(toPixel(Point{t.x, t.y}), t.text, static_cast<float>(h), layerColour(t.layer), t.anchor);
    }
}

}  // namespace sbk
