// A P-CAD file as a document: every sheet read at once, one of them current.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/fitted_text.h"
#include "common/utf8.h"
#include "pcad/load.h"
#include "pcad/svg.h"
#include "pcad/text_layout.h"
#include "schematic/document.h"
#include "schematic/draw_target.h"
#include "schematic/palette.h"

namespace schematic {

namespace {

std::uint8_t itemClassOf(const pcad::Page& page, const pcad::Item& item) {
    switch (item.kind) {
        case pcad::KindLine: return page.lines[item.index].itemClass;
        case pcad::KindCircle: return page.circles[item.index].itemClass;
        default: return page.texts[item.index].itemClass;
    }
}

// The screen box of a part of the fitted-text box (100 units square, y down) once that box
// is fitted into `box` turned by `quarter` degrees clockwise, as the targets fit a text: the
// text's own x runs right, down, left or up the screen.
Box screenPart(const Box& box, const common::Box& part, int quarter) {
    const double w = (box.x1 - box.x0) / common::fitted::kBox, h = (box.y1 - box.y0) / common::fitted::kBox;
    switch (quarter) {
        case 90:
            return {box.x1 - part.y1 * w, box.y0 + part.x0 * h, box.x1 - part.y0 * w, box.y0 + part.x1 * h};
        case 180:
            return {box.x1 - part.x1 * w, box.y1 - part.y1 * h, box.x1 - part.x0 * w, box.y1 - part.y0 * h};
        case 270:
            return {box.x0 + part.y0 * w, box.y1 - part.x1 * h, box.x0 + part.y1 * w, box.y1 - part.x0 * h};
        default:
            return {box.x0 + part.x0 * w, box.y0 + part.y0 * h, box.x0 + part.x1 * w, box.y0 + part.y1 * h};
    }
}

// The quarter turn nearest to the angle; lines of a text at any other angle are stacked as
// for that quarter.
int nearestQuarter(double angle) {
    if (!std::isfinite(angle)) return 0;
    const long q = std::lround(std::fmod(angle, 360.0) / 90.0) % 4;
    return static_cast<int>((q + 4) % 4) * 90;
}

// A text fitted into its screen box, anchored at the box's bottom-left corner; left out when
// the box is under 3 pixels high.
void fitText(DrawTarget& target, const Box& box, const std::string& text, double angle, Colour colour) {
    const double h = box.y1 - box.y0;
    if (!(h >= 3)) return;
    TextStyle style;
    style.align = AlignLeft;
    style.height = std::max(h, 4.0);
    style.angle = angle;
    style.boxWidth = std::max(box.x1 - box.x0, 0.0);
    target.text({box.x0, box.y1}, text, style, colour);
}

// A text of several lines: each line fitted into its own part of the text's screen box.
void fitLines(DrawTarget& target, const Box& box, const pcad::Text& t, Colour colour) {
    const pcad::TextLines lines = pcad::measureLines(t.text);
    const double fx = pcad::justifyX(t.justify);
    const int quarter = nearestQuarter(t.rotation);
    pcad::forEachLine(t.text, [&](std::string_view line, std::size_t index) {
        const std::size_t n = common::codePoints(line);
        if (n > 0)
            fitText(target, screenPart(box, pcad::lineBox(lines, index, n, fx), quarter), std::string(line),
                    t.rotation, colour);
    });
}

class PcadDocument final : public Document {
public:
    explicit PcadDocument(std::vector<pcad::Page> pages) : pages_(std::move(pages)) {}

    std::size_t pageCount() const override { return pages_.size(); }
    std::size_t currentPage() const override { return current_; }

    std::vector<LayerInfo> layers() const override {
        return {{"Sheet frame", 1}, {"Graphics and tables", 2},   {"Symbols and junctions", 4}, {"Wires", 8},
                {"Buses", 16},      {"Text, pins and labels", 32}};
    }
    std::int32_t ySign() const override { return -1; }

    Extent extent() const override {
        const pcad::Page& page = pages_[current_];
        return {page.originX, page.originY, page.originX + page.width, page.originY + page.height};
    }

    void paint(DrawTarget& target, const ViewTransform& view, std::uint32_t visibleMask,
               bool dark) const override;

    std::string statusText() const override {
        const auto n = [](std::uint64_t v) { return std::to_string(v); };
        const pcad::Page& p = pages_[current_];
        return "P-CAD SCH | sheet " + n(current_ + 1) + "/" + n(pages_.size()) + " | " + n(p.lines.size()) +
               " lines, " + n(p.circles.size()) + " circles, " + n(p.texts.size()) + " texts";
    }

    // Every layer, whatever the mask: the export is of the whole sheet.
    void exportSvg(const std::string& path, std::uint32_t, bool dark) const override {
        pcad::exportSvg(pages_[current_], path, 2.0, dark);
    }

private:
    std::string nameOfPage(std::size_t index) const override { return pages_[index].name; }
    void enterPage(std::size_t index) override { current_ = index; }

    std::vector<const pcad::Item*> visibleItems(const pcad::Rect& area, std::uint32_t visibleMask) const;
    static void paintItem(const pcad::Page& page, const pcad::Item& item, const pcad::View& view,
                          DrawTarget& target, bool dark);

    std::vector<pcad::Page> pages_;
    std::size_t current_ = 0;
};

// The items of the current page in `area` on a visible layer, in the screen's draw order.
std::vector<const pcad::Item*> PcadDocument::visibleItems(const pcad::Rect& area,
                                                          std::uint32_t visibleMask) const {
    const pcad::Page& page = pages_[current_];
    std::vector<const pcad::Item*> kept;
    page.query(area.minX, area.minY, area.maxX, area.maxY, [&](const pcad::Item& item) {
        if (layerBit(itemClassOf(page, item)) & visibleMask) kept.push_back(&item);
    });
    std::stable_sort(kept.begin(), kept.end(), [&](const pcad::Item* a, const pcad::Item* b) {
        return drawOrderKey(page, *a) < drawOrderKey(page, *b);
    });
    return kept;
}

void PcadDocument::paintItem(const pcad::Page& page, const pcad::Item& item, const pcad::View& view,
                             DrawTarget& target, bool dark) {
    const double s = view.scale;
    if (item.kind == pcad::KindLine) {
        const pcad::Line& l = page.lines[item.index];
        const pcad::Point a = view.toScreen(l.x1, l.y1), b = view.toScreen(l.x2, l.y2);
        const Point pts[2] = {{a.x, a.y}, {b.x, b.y}};
        target.polyline(pts, 2, atLeast(l.width * s, 1.0), pcadItemColour(l.itemClass, dark), false, 0);
    } else if (item.kind == pcad::KindCircle) {
        const pcad::Circle& c = page.circles[item.index];
        const double r2 = c.diameter * s * 0.5;
        const pcad::Point p = view.toScreen(c.x, c.y);
        const Colour colour = pcadItemColour(c.itemClass, dark);
        target.ellipse({p.x - r2, p.y - r2, p.x + r2, p.y + r2}, atLeast(c.width * s, 1.0), colour,
                       c.filled ? colour : 0);
    } else {
        const pcad::Text& t = page.texts[item.index];
        if (t.text.empty()) return;
        const pcad::Point lt = view.toScreen(item.minX, item.maxY);
        const pcad::Point rb = view.toScreen(item.maxX, item.minY);
        const Box box{lt.x, lt.y, rb.x, rb.y};
        if (t.text.find('\n') == std::string::npos)
            fitText(target, box, t.text, t.rotation, pcadItemColour(t.itemClass, dark));
        else
            fitLines(target, box, t, pcadItemColour(t.itemClass, dark));
    }
}

void PcadDocument::paint(DrawTarget& target, const ViewTransform& v, std::uint32_t visibleMask,
                         bool dark) const {
    pcad::View view;
    view.width = v.width;
    view.height = v.height;
    view.scale = v.scale;
    view.centerX = (v.width * 0.5 - v.offsetX) / v.scale;
    view.centerY = (v.offsetY - v.height * 0.5) / v.scale;
    const pcad::Page& page = pages_[current_];
    for (const pcad::Item* item : visibleItems(view.visibleRect(), visibleMask))
        paintItem(page, *item, view, target, dark);
}

}  // namespace

std::unique_ptr<Document> openPcadDocument(const std::string& path) {
    std::vector<pcad::Page> pages = pcad::loadFile(path);
    if (pages.empty()) throw std::runtime_error("P-CAD file has no pages");
    return std::make_unique<PcadDocument>(std::move(pages));
}

}  // namespace schematic
