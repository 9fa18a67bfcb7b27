// An SBK page's layers, the polylines and texts added to it, its box and its grid index and query.
#include "sbk/document.h"

#include "sbk/page_record.h"

#include <algorithm>
#include <cmath>

namespace sbk {

namespace {

struct LayerStyle {
    const char* name;
    std::uint32_t colour;
    int strokeWidth;
};

constexpr LayerStyle kLayers[kLayerCount] = {
    {"frame", 0x00ECEE, 16},      {"wires", 0x09E52C, 5},       {"buses", 0xFFE91A, 14},
    {"symbols", 0x0CE7E4, 5},     {"terminals", 0x00ECEE, 5},   {"frame_text", 0xFFED25, 5},
    {"port_labels", 0xFFE91A, 5}, {"refs", 0xFFE91A, 5},        {"values", 0xFFE91A, 5},
    {"pin_names", 0xFFE91A, 5},   {"pin_numbers", 0xFFE91A, 5}, {"titles", 0xFFED25, 5},
    {"annotations", 0xEE27CF, 5},
};
constexpr LayerStyle kUnknownLayer = {"unknown", 0xFFFFFF, 5};

const LayerStyle& styleOf(std::uint8_t layer) { return layer < kLayerCount ? kLayers[layer] : kUnknownLayer; }

constexpr std::int64_t kMaxIndexedCells = 128;
constexpr std::int64_t kMaxQueryCells = 30000;
// Cell numbers are clamped to this magnitude before conversion, so that any
// finite coordinate converts safely and cell counts fit in 64 bits.
constexpr double kCellLimit = 1e9;

std::int64_t cellOf(double v, double cellSize) {
    const double c = std::floor(v / cellSize);
    if (std::isnan(c)) return 0;
    return static_cast<std::int64_t>(std::clamp(c, -kCellLimit, kCellLimit));
}

std::uint64_t cellKey(std::int64_t cx, std::int64_t cy) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) |
           static_cast<std::uint32_t>(cy);
}

bool finite4(double a, double b, double c, double d) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

}  // namespace

const char* layerName(std::uint8_t layer) { return styleOf(layer).name; }

std::uint32_t layerColour(std::uint8_t layer) { return styleOf(layer).colour; }

int layerStrokeWidth(std::uint8_t layer) { return styleOf(layer).strokeWidth; }

Document::Document() : rec_(std::make_unique<Record>()) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Document loadPage(const std::string& path, std::size_t pageIndex) {
    Document doc;
    Document::readPage(doc, path, pageIndex);
    return doc;
}

void Document::addPolyline(std::uint8_t layer, std::uint8_t shape, std::vector<Point> points,
                           std::int32_t style) {
    if (points.size() < 2) return;
    Polyline pl;
    pl.layer = layer;
    pl.shape = shape;
    pl.style = style;
    pl.minX = pl.maxX = points.front().x;
    pl.minY = pl.maxY = points.front().y;
    for (const Point& p : points) {
        if (p.x < pl.minX) pl.minX = p.x;
        if (p.x > pl.maxX) pl.maxX = p.x;
        if (p.y < pl.minY) pl.minY = p.y;
        if (p.y > pl.maxY) pl.maxY = p.y;
    }
    pl.points = std::move(points);
    rec_->polylines.push_back(std::move(pl));
}

void Document::addText(std::uint8_t layer, double x, double y, std::string text, double height,
                       std::uint8_t anchor) {
    if (text.empty()) return;
    Text t;
    t.layer = layer;
    t.x = x;
    t.y = y;
    t.height = height;
    t.anchor = anchor;
    double w = static_cast<double>(text.size()) * height * 0.75;
    if (!(w > 1)) w = 1;
    t.minX = anchor == 1 ? x - w : x;
    t.maxX = t.minX + w;
    t.minY = y - 0.6 * height;
    t.maxY = y + 1.4 * height;
    t.text = std::move(text);
    rec_->texts.push_back(std::move(t));
}

void Document::buildIndex() {
    Record& r = *rec_;
    r.grid.clear();
    r.oversize.clear();
    const std::size_t count = std::min<std::size_t>(r.polylines.size(), UINT32_MAX);
    for (std::size_t i = 0; i < count; ++i) {
        const Polyline& pl = r.polylines[i];
        const std::uint32_t index = static_cast<std::uint32_t>(i);
        // A box that is not finite cannot be placed in cells; the linear test
        // of the oversize list handles it.
        if (!finite4(pl.minX, pl.minY, pl.maxX, pl.maxY)) {
            r.oversize.push_back(index);
            continue;
        }
        const std::int64_t cx0 = cellOf(pl.minX, r.cellSize);
        const std::int64_t cy0 = cellOf(pl.minY, r.cellSize);
        const std::int64_t cx1 = cellOf(pl.maxX, r.cellSize);
        const std::int64_t cy1 = cellOf(pl.maxY, r.cellSize);
        if ((cy1 - cy0 + 1) * (cx1 - cx0 + 1) > kMaxIndexedCells) {
            r.oversize.push_back(index);
            continue;
        }
        for (std::int64_t cy = cy0; cy <= cy1; ++cy)
            for (std::int64_t cx = cx0; cx <= cx1; ++cx) r.grid[cellKey(cx, cy)].push_back(index);
    }
}

std::vector<std::uint32_t> Document::query(const Rect& rect, std::uint32_t layerMask) const {
    std::vector<std::uint32_t> out;
    const Record& r = *rec_;
    if (!finite4(rect.minX, rect.minY, rect.maxX, rect.maxY)) return out;

    const std::size_t count = std::min<std::size_t>(r.polylines.size(), UINT32_MAX);
    std::vector<std::uint8_t> seen(count, 0);
    auto consider = [&](std::uint32_t i) {
        if (i >= count || seen[i]) return;
        const Polyline& pl = r.polylines[i];
        if ((layerMask & (std::uint32_t{1} << (pl.layer % 32))) == 0) return;
        if (rect.minX <= pl.maxX && pl.minX <= rect.maxX && rect.minY <= pl.maxY && pl.minY <= rect.maxY) {
            seen[i] = 1;
            out.push_back(i);
        }
    };

    for (std::uint32_t i : r.oversize) consider(i);

    const std::int64_t cx0 = cellOf(rect.minX, r.cellSize);
    const std::int64_t cy0 = cellOf(rect.minY, r.cellSize);
    const std::int64_t cx1 = cellOf(rect.maxX, r.cellSize);
    const std::int64_t cy1 = cellOf(rect.maxY, r.cellSize);
    const std::int64_t columns = cx1 - cx0 + 1;
    const std::int64_t rows = cy1 - cy0 + 1;
    if (columns > 0 && rows > 0) {
        if (rows * columns <= kMaxQueryCells) {
            for (std::int64_t cy = cy0; cy <= cy1; ++cy) {
                for (std::int64_t cx = cx0; cx <= cx1; ++cx) {
                    const auto it = r.grid.find(cellKey(cx, cy));
                    if (it == r.grid.end()) continue;
                    for (std::uint32_t i : it->second) consider(i);
                }
            }
        } else {
            for (std::size_t i = 0; i < count; ++i) consider(static_cast<std::uint32_t>(i));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uint64_t Document::pageCount() const { return rec_->stats.pageCount; }

Rect Document::bounds() const { return Rect{rec_->minX, rec_->minY, rec_->maxX, rec_->maxY}; }

const PageStats& Document::stats() const { return rec_->stats; }

const std::vector<Polyline>& Document::polylines() const { return rec_->polylines; }

const std::vector<Text>& Document::texts() const { return rec_->texts; }

}  // namespace sbk
