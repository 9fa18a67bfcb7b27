// A SchDoc (or SchDot) file as a document of one sheet.
#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "common/file.h"
#include "schematic/document.h"
#include "schematic/draw_target.h"
#include "schematic/palette.h"
#include "schq/reader.h"
#include "schq/svg.h"

namespace schematic {

namespace {

// Maps document units to pixels.
struct PixelMap {
    const ViewTransform& view;
    double ys;

    Point operator()(double x, double y) const {
        return {x * view.scale + view.offsetX, y * ys + view.offsetY};
    }
};

void paintText(const schq::Primitive& p, const PixelMap& map, DrawTarget& target, Colour stroke) {
    const double height = p.fontSize * map.view.scale;
    if (!(height >= 3.2) || p.text.empty()) return;
    TextStyle style;
    style.align = p.anchor == schq::Middle ? AlignCentre : p.anchor == schq::End ? AlignRight : AlignLeft;
    style.height = height;
    style.angle = p.rotation;
    style.baseline = p.dy;
    target.text(map(p.x, p.y), p.text, style, stroke);
}

void paintPrimitive(const schq::Primitive& p, const PixelMap& map, DrawTarget& target, bool dark,
                    std::vector<Point>& pts) {
    const double s = map.view.scale;
    const Colour stroke = schDocThemeColour(p.stroke, dark);
    const Colour fill = hasFill(p.fill) ? schDocThemeColour(p.fill, dark) : 0;
    const double w = atLeast(p.strokeWidth * s, 0.65);
    switch (p.kind) {
        case schq::Text: paintText(p, map, target, stroke); break;
        case schq::Ellipse:
        case schq::Circle: {
            const Point c = map(p.x, p.y);
            target.ellipse({c.x - p.rx * s, c.y - p.ry * s, c.x + p.rx * s, c.y + p.ry * s}, w, stroke, fill);
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

class SchDocDocument final : public Document {
public:
    explicit SchDocDocument(schq::Document doc) : doc_(std::move(doc)) {}

    std::size_t pageCount() const override { return 1; }
    std::size_t currentPage() const override { return 0; }

    std::vector<LayerInfo> layers() const override {
        return {{"Graphics", 1},
                {"Wires", 2},
                {"Pins", 4},
                {"Pin names and numbers", 8},
                {"Labels and text", 16}};
    }
    std::int32_t ySign() const override { return 1; }
    Extent extent() const override { return {0, 0, doc_.width(), doc_.height()}; }

    void paint(DrawTarget& target, const ViewTransform& view, std::uint32_t visibleMask,
               bool dark) const override {
        const PixelMap map{view, view.ySign * view.scale};
        const double ax = (0 - view.offsetX) / view.scale, bx = (view.width - view.offsetX) / view.scale;
        const double ay = (0 - view.offsetY) / map.ys, by = (view.height - view.offsetY) / map.ys;
        const schq::Rect area{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
        schq::RenderOptions options;
        options.layerMask = visibleMask;
        options.cullSmallText = true;
        options.scale = view.scale;
        std::vector<Point> pts;
        const std::vector<schq::Primitive>& all = doc_.primitives();
        for (std::uint32_t index : doc_.query(area, options))
            paintPrimitive(all[index], map, target, dark, pts);
    }

    std::string statusText() const override {
        const auto n = [](std::uint64_t v) { return std::to_string(v); };
        const schq::DocumentStats& s = doc_.stats();
        return "Altium SchDoc | " + n(s.components) + " components, " + n(s.wires) + " wires, " +
               n(s.primitives) + " primitives";
    }

    // The whole sheet with the visible layers; the theme does not apply.
    void exportSvg(const std::string& path, std::uint32_t visibleMask, bool) const override {
        schq::RenderOptions options;
        options.layerMask = visibleMask;
        switch (common::writeFile(path, schq::exportSvg(doc_, options))) {
            case common::WriteStatus::BadPath:
                throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence));
            case common::WriteStatus::CannotCreate: throw std::runtime_error("Could not create SVG file");
            // A full disk shows only here; it must not pass for success.
            case common::WriteStatus::WriteFailed: throw std::runtime_error("Failed to write SVG file");
            case common::WriteStatus::Ok: break;
        }
    }

private:
    std::string nameOfPage(std::size_t) const override { return "Schematic"; }
    void enterPage(std::size_t) override {}

    schq::Document doc_;
};

}  // namespace

std::unique_ptr<Document> openSchDocDocument(const std::string& path) {
    return std::make_unique<SchDocDocument>(schq::readSchDoc(path));
}

}  // namespace schematic
