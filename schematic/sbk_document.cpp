// An SBK file as a document that holds one page at a time: selecting a page reads it.
#include <algorithm>
#include <limits>
#include <vector>

#include "sbk/document.h"
#include "schematic/document.h"
#include "schematic/draw_target.h"
#include "schematic/palette.h"

namespace schematic {

namespace {

// Forwards an SBK page's drawing to the target, in the core's theme.
class SbkTarget final : public sbk::DrawSink {
public:
    SbkTarget(DrawTarget& target, bool dark) : target_(target), dark_(dark) {}

    void polyline(std::uint8_t shape, const sbk::Point* points, std::size_t count, sbk::Pen pen) override {
        if (count < 2) return;
        const Colour c = sbkThemeColour(pen.colour, dark_);
        const double width = pen.width;
        if (shape == sbk::ShapeEllipse && count == 2) {
            const Box box{std::min(points[0].x, points[1].x), std::min(points[0].y, points[1].y),
                          std::max(points[0].x, points[1].x), std::max(points[0].y, points[1].y)};
            target_.ellipse(box, width, c, 0);
        } else if (shape == sbk::ShapeCurve && count == 3) {
            const std::vector<Point> pts = sbk::flattenCurve(points[0], points[1], points[2]);
            target_.polyline(pts.data(), pts.size(), width, c, false, 0);
        } else {
            target_.polyline(points, count, width, c, false, 0);
        }
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

class SbkDocument final : public Document {
public:
    SbkDocument(const std::string& path, sbk::Document page) : path_(path), page_(std::move(page)) {}

    std::size_t pageCount() const override {
        // A size is 32 bits wide in the i386 build.
        const std::uint64_t n = page_.pageCount();
        return static_cast<std::size_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::size_t>::max()));
    }
    std::size_t currentPage() const override { return current_; }

    std::vector<LayerInfo> layers() const override {
        std::vector<LayerInfo> layers;
        for (std::uint8_t i = 0; i < sbk::kLayerCount; ++i) {
            std::string name = sbk::layerName(i);
            std::replace(name.begin(), name.end(), '_', ' ');
            layers.push_back({name, 1u << i});
        }
        return layers;
    }
    std::int32_t ySign() const override { return -1; }

    Extent extent() const override {
        const sbk::Rect b = page_.bounds();
        return {b.minX, b.minY, b.maxX, b.maxY};
    }

    void paint(DrawTarget& target, const ViewTransform& v, std::uint32_t visibleMask,
               bool dark) const override {
        sbk::View view;
        view.width = v.width;
        view.height = v.height;
        view.scale = v.scale;
        view.offsetX = v.offsetX;
        view.offsetY = v.offsetY;
        sbk::DrawOptions options;
        options.layerMask = visibleMask;
        options.minTextPx = 3.3;
        options.minShapePx = 0.65;
        options.cullToView = true;
        SbkTarget sink(target, dark);
        page_.draw(view, sink, options);
    }

    std::string statusText() const override {
        const auto n = [](std::uint64_t v) { return std::to_string(v); };
        const sbk::PageStats s = page_.stats();
        return "Mentor SBK | page " + n(current_ + 1) + "/" + n(pageCount()) + " | " + n(s.symbols) +
               " components, " + n(s.wires) + " wires, " + n(s.polylineCount) + " primitives, " +
               n(s.textCount) + " labels";
    }

    // The visible layers; the theme does not apply.
    void exportSvg(const std::string& path, std::uint32_t visibleMask, bool) const override {
        sbk::writePageSvg(page_, path, visibleMask);
    }

private:
    std::string nameOfPage(std::size_t index) const override { return "Page " + std::to_string(index + 1); }

    // The current page is not read again.
    void enterPage(std::size_t index) override {
        if (index == current_) return;
        page_ = sbk::loadPage(path_, index);
        current_ = index;
    }

    std::string path_;
    sbk::Document page_;  // the current page only
    std::size_t current_ = 0;
};

}  // namespace

std::unique_ptr<Document> openSbkDocument(const std::string& path) {
    return std::make_unique<SbkDocument>(path, sbk::loadPage(path, 0));
}

}  // namespace schematic
