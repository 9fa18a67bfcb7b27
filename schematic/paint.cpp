#include <algorithm>
#include <vector>

#include "schematic/draw_target.h"
#include "schematic/palette.h"
#include "schematic/viewer_core_impl.h"

namespace schematic {

namespace {

std::uint8_t itemClassOf(const pcad::Page& page, const pcad::Item& item) {
    switch (item.kind) {
        case 0: return page.lines[item.index].itemClass;
        case 1: return page.circles[item.index].itemClass;
        default: return page.texts[item.index].itemClass;
    }
}

// max(value, least), also when the value is NaN (a file may state any width).
double atLeast(double value, double least) { return value >= least ? value : least; }

// Forwards an SBK page's drawing to the target, in the core's theme.
class SbkTarget final : public sbk::DrawSink {
public:
    SbkTarget(DrawTarget& target, bool dark) : target_(target), dark_(dark) {}

    void polyline(std::uint8_t shape, const sbk::Point* points, std::size_t count, sbk::Pen pen) override {
        if (count < 2) return;
        const Colour c = sbkThemeColour(pen.colour, dark_);
        const double width = pen.width;
        if (shape == 2 && count == 2) {
            const Box box{std::min(points[0].x, points[1].x), std::min(points[0].y, points[1].y),
                          std::max(points[0].x, points[1].x), std::max(points[0].y, points[1].y)};
            target_.ellipse(box, width, c, 0);
            return;
        }
        std::vector<Point> pts;
        if (shape == 1 && count == 3) {
            pts.reserve(25);
            for (int i = 0; i <= 24; ++i) {
                const double t = i / 24.0, u = 1 - t;
                pts.push_back({u * u * points[0].x + 2 * u * t * points[1].x + t * t * points[2].x,
                               u * u * points[0].y + 2 * u * t * points[1].y + t * t * points[2].y});
            }
        } else {
            pts.reserve(count);
            for (std::size_t i = 0; i < count; ++i) pts.push_back({points[i].x, points[i].y});
        }
        target_.polyline(pts.data(), pts.size(), width, c, false, 0);
    }

    void text(const sbk::Point& anchor, const std::string& text, float height, std::uint32_t colour,
              std::uint8_t anchorMode) override {
        if (!(height >= 3) || text.empty()) return;
        TextStyle style;
        style.align = anchorMode == 1 ? AlignRight : AlignLeft;
        style.height = height;
        target_.text({anchor.x, anchor.y}, text, style, sbkThemeColour(colour, dark_));
    }

private:
    DrawTarget& target_;
    bool dark_;
};

void paintPcad(const ViewerCore::Impl& d, const pcad::Page& page, DrawTarget& target) {
    pcad::View view;
    view.width = d.viewportWidth;
    view.height = d.viewportHeight;
    view.scale = d.scale;
    view.centerX = (d.viewportWidth * 0.5 - d.offsetX) / d.scale;
    view.centerY = (d.offsetY - d.viewportHeight * 0.5) / d.scale;
    const pcad::Rect r = view.visibleRect();

    std::vector<const pcad::Item*> kept;
    page.query(r.minX, r.minY, r.maxX, r.maxY, [&](const pcad::Item& item) {
        if (layerBit(itemClassOf(page, item)) & d.visibleMask) kept.push_back(&item);
    });
    std::stable_sort(kept.begin(), kept.end(), [&](const pcad::Item* a, const pcad::Item* b) {
        return drawOrderKey(page, *a) < drawOrderKey(page, *b);
    });

    const double s = d.scale;
    for (const pcad::Item* item : kept) {
        if (item->kind == 0) {
            const pcad::Line& l = page.lines[item->index];
            const pcad::Point a = view.toScreen(l.x1, l.y1), b = view.toScreen(l.x2, l.y2);
            const Point pts[2] = {{a.x, a.y}, {b.x, b.y}};
            target.polyline(pts, 2, atLeast(l.width * s, 1.0), pcadItemColour(l.itemClass, d.dark), false, 0);
        } else if (item->kind == 1) {
            const pcad::Circle& c = page.circles[item->index];
            const double r2 = c.diameter * s * 0.5;
            const pcad::Point p = view.toScreen(c.x, c.y);
            const Colour colour = pcadItemColour(c.itemClass, d.dark);
            target.ellipse({p.x - r2, p.y - r2, p.x + r2, p.y + r2}, atLeast(c.width * s, 1.0), colour,
                           c.filled ? colour : 0);
        } else {
            const pcad::Text& t = page.texts[item->index];
            if (t.text.empty()) continue;
            const pcad::Point lt = view.toScreen(item->minX, item->maxY);
            const pcad::Point rb = view.toScreen(item->maxX, item->minY);
            const double h = rb.y - lt.y;
            if (!(h >= 3)) continue;
            TextStyle style;
            style.align = AlignLeft;
            style.height = std::max(h, 4.0);
            style.angle = t.rotation;
            style.boxWidth = std::max(rb.x - lt.x, 0.0);
            target.text({lt.x, rb.y}, t.text, style, pcadItemColour(t.itemClass, d.dark));
        }
    }
}

void paintSchDoc(const ViewerCore::Impl& d, const schq::Document& doc, DrawTarget& target) {
    const double s = d.scale, ys = d.ySign * d.scale;
    const double ax = (0 - d.offsetX) / s, bx = (d.viewportWidth - d.offsetX) / s;
    const double ay = (0 - d.offsetY) / ys, by = (d.viewportHeight - d.offsetY) / ys;
    const schq::Rect area{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
    schq::RenderOptions options;
    options.layerMask = d.visibleMask;
    options.cullSmallText = true;
    options.scale = s;

    const auto map = [&](double x, double y) { return Point{x * s + d.offsetX, y * ys + d.offsetY}; };
    std::vector<Point> pts;
    const std::vector<schq::Primitive>& all = doc.primitives();
    for (std::uint32_t index : doc.query(area, options)) {
        const schq::Primitive& p = all[index];
        const Colour stroke = schDocThemeColour(p.stroke, d.dark);
        const Colour fill = hasFill(p.fill) ? schDocThemeColour(p.fill, d.dark) : 0;
        const double w = atLeast(p.strokeWidth * s, 0.65);
        switch (p.kind) {
            case schq::Text: {
                const double height = p.fontSize * s;
                if (!(height >= 3.2) || p.text.empty()) break;
                TextStyle style;
                style.align = p.anchor == schq::Middle ? AlignCentre
                              : p.anchor == schq::End  ? AlignRight
                                                       : AlignLeft;
                style.height = height;
                style.angle = p.rotation;
                style.baseline = p.dy;
                target.text(map(p.x, p.y), p.text, style, stroke);
                break;
            }
            case schq::Ellipse:
            case schq::Circle: {
                const Point c = map(p.x, p.y);
                target.ellipse({c.x - p.rx * s, c.y - p.ry * s, c.x + p.rx * s, c.y + p.ry * s}, w, stroke,
                               fill);
                break;
            }
            case schq::Rectangle: {
                if (p.points.size() < 2) break;
                const schq::Point a = p.points[0], b = p.points[1];
                const Point box[4] = {map(a.x, a.y), map(b.x, a.y), map(b.x, b.y), map(a.x, b.y)};
                target.polyline(box, 4, w, stroke, true, fill);
                break;
            }
            default: {
                if (p.points.size() < 2) break;
                pts.clear();
                for (const schq::Point& q : p.points) pts.push_back(map(q.x, q.y));
                target.polyline(pts.data(), pts.size(), w, stroke, p.kind == schq::Polygon, fill);
                break;
            }
        }
    }
}

}  // namespace

void ViewerCore::paint(DrawTarget& target) const {
    const Impl& d = *impl_;
    if (d.pcadPages) {
        paintPcad(d, (*d.pcadPages)[d.currentPage], target);
    } else if (d.sbkDoc) {
        sbk::View view;
        view.width = d.viewportWidth;
        view.height = d.viewportHeight;
        view.scale = d.scale;
        view.offsetX = d.offsetX;
        view.offsetY = d.offsetY;
        sbk::DrawOptions options;
        options.layerMask = d.visibleMask;
        options.minTextPx = 3.3;
        options.minShapePx = 0.65;
        options.cullToView = true;
        SbkTarget sink(target, d.dark);
        d.sbkDoc->draw(view, sink, options);
    } else if (d.schDoc) {
        paintSchDoc(d, *d.schDoc, target);
    }
}

}  // namespace schematic
