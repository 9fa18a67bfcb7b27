// Item boxes, the uniform grid over the page rectangle and the rectangle query.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_set>
#include <utility>
#include <vector>

#include "pcad/page.h"
#include "pcad/text_layout.h"

namespace pcad {
namespace {

constexpr double kCellSize = 20;
constexpr std::int32_t kMaxCells = 128;
// An item whose cell range holds more cells than this goes to the wide list.
constexpr std::int32_t kMaxCellsPerItem = 32;

// Index of v's cell along one axis of `count` cells over [origin, origin + size].
// Clamped in double first so that huge, infinite or NaN values never reach the
// integer conversion.
std::int32_t cellOf(double v, double origin, double size, std::int32_t count) {
    const double t = std::floor((v - origin) / size * count);
    if (std::isnan(t) || t < 0) return 0;
    if (t > count - 1) return count - 1;
    return static_cast<std::int32_t>(t);
}

std::int32_t gridCount(double size) {
    const double n = std::ceil(size / kCellSize);
    if (std::isnan(n) || n < 1) return 1;
    if (n > kMaxCells) return kMaxCells;
    return static_cast<std::int32_t>(n);
}

}  // namespace

Rect textBounds(const Text& t) {
    if (t.hasBox) {
        return {std::min(t.boxX0, t.boxX1), std::min(t.boxY0, t.boxY1), std::max(t.boxX0, t.boxX1),
                std::max(t.boxY0, t.boxY1)};
    }
    double w, h;
    if (t.hasExtent) {
        w = t.extentWidth * 0.8;
        h = t.extentHeight;
    } else {
        // Lines are stacked: as high as all of them, as wide as the longest.
        const TextLines lines = lineBytes(t.text);
        h = t.height * static_cast<double>(lines.count);
        w = std::max(static_cast<double>(lines.longestBytes) * t.height * 0.33, 0.4);
    }
    const double fx = justifyX(t.justify), fy = justifyY(t.justify);
    const double theta = t.rotation * std::numbers::pi / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const double dxs[2] = {-fx * w, (1 - fx) * w};
    const double dys[2] = {-fy * h, (1 - fy) * h};
    Rect r{1e100, 1e100, -1e100, -1e100};
    for (double dx : dxs) {
        for (double dy : dys) {
            const double px = t.x + dx * c - dy * s;
            const double py = t.y + dx * s + dy * c;
            // Written as comparisons so that a NaN corner leaves the box empty.
            if (px < r.minX) r.minX = px;
            if (py < r.minY) r.minY = py;
            if (px > r.maxX) r.maxX = px;
            if (py > r.maxY) r.maxY = py;
        }
    }
    return r;
}

void Page::buildIndex() {
    indexItems();
    gridMinX = originX;
    gridMinY = originY;
    gridMaxX = originX + width;
    gridMaxY = originY + height;
    gridCols = gridCount(width);
    gridRows = gridCount(height);
    fillCells();
}

// One item per line, circle and text, in that order, with its world box.
void Page::indexItems() {
    items.clear();
    items.reserve(lines.size() + circles.size() + texts.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        Item it;
        it.kind = KindLine;
        it.index = static_cast<std::uint32_t>(i);
        it.minX = std::min(l.x1, l.x2);
        it.minY = std::min(l.y1, l.y2);
        it.maxX = std::max(l.x1, l.x2);
        it.maxY = std::max(l.y1, l.y2);
        items.push_back(it);
    }
    for (std::size_t i = 0; i < circles.size(); ++i) {
        const Circle& c = circles[i];
        const double r = c.diameter * 0.5;
        Item it;
        it.kind = KindCircle;
        it.index = static_cast<std::uint32_t>(i);
        it.minX = c.x - r;
        it.minY = c.y - r;
        it.maxX = c.x + r;
        it.maxY = c.y + r;
        items.push_back(it);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const Rect b = textBounds(texts[i]);
        Item it;
        it.kind = KindText;
        it.index = static_cast<std::uint32_t>(i);
        it.minX = b.minX;
        it.minY = b.minY;
        it.maxX = b.maxX;
        it.maxY = b.maxY;
        items.push_back(it);
    }
}

// Every item that meets the page rectangle goes into the cells it covers, or once into the
// wide list when it covers many.
void Page::fillCells() {
    cells.assign(static_cast<std::size_t>(gridCols) * static_cast<std::size_t>(gridRows), {});
    wideItems.clear();
    for (std::size_t n = 0; n < items.size(); ++n) {
        const Item& it = items[n];
        if (!(it.maxX >= gridMinX && it.minX <= gridMaxX && it.maxY >= gridMinY && it.minY <= gridMaxY)) {
            continue;
        }
        const std::int32_t c0 = cellOf(it.minX, originX, width, gridCols);
        const std::int32_t c1 = cellOf(it.maxX, originX, width, gridCols);
        const std::int32_t r0 = cellOf(it.minY, originY, height, gridRows);
        const std::int32_t r1 = cellOf(it.maxY, originY, height, gridRows);
        if ((c1 - c0 + 1) * (r1 - r0 + 1) > kMaxCellsPerItem) {
            wideItems.push_back(static_cast<std::uint32_t>(n));
            continue;
        }
        for (std::int32_t r = r0; r <= r1; ++r) {
            for (std::int32_t c = c0; c <= c1; ++c) {
                cells[static_cast<std::size_t>(r) * gridCols + c].push_back(static_cast<std::uint32_t>(n));
            }
        }
    }
}

void Page::query(double minX, double minY, double maxX, double maxY,
                 const std::function<void(const Item&)>& visit) const {
    if (maxX < gridMinX || gridMaxX < minX || maxY < gridMinY || gridMaxY < minY || gridCols == 0) {
        return;
    }
    const std::int32_t c0 = cellOf(minX, originX, width, gridCols);
    const std::int32_t c1 = cellOf(maxX, originX, width, gridCols);
    const std::int32_t r0 = cellOf(minY, originY, height, gridRows);
    const std::int32_t r1 = cellOf(maxY, originY, height, gridRows);

    // Each wide item joins the walk at the first cell of its range inside the query's,
    // merged by index with that cell's own list, as if it were stored in every cell.
    const std::vector<std::pair<std::size_t, std::uint32_t>> wide = wideItemsMet(c0, c1, r0, r1);
    auto nextWide = wide.cbegin();

    std::unordered_set<std::uint32_t> seen;
    auto take = [&](std::uint32_t n) {
        if (!seen.insert(n).second) return;
        if (n >= items.size()) return;
        const Item& it = items[n];
        if (maxX >= it.minX && it.maxX >= minX && maxY >= it.minY && it.maxY >= minY) visit(it);
    };
    for (std::int32_t r = r0; r <= r1; ++r) {
        for (std::int32_t c = c0; c <= c1; ++c) {
            const std::size_t cell = static_cast<std::size_t>(r) * gridCols + c;
            for (std::uint32_t n : cells[cell]) {
                for (; nextWide != wide.cend() && nextWide->first == cell && nextWide->second < n; ++nextWide)
                    take(nextWide->second);
                take(n);
            }
            for (; nextWide != wide.cend() && nextWide->first == cell; ++nextWide) take(nextWide->second);
        }
    }
}

// The wide items whose cell range meets columns c0..c1 and rows r0..r1, each with the
// first cell of that meeting in walk order: (cell, item), ascending.
std::vector<std::pair<std::size_t, std::uint32_t>> Page::wideItemsMet(std::int32_t c0, std::int32_t c1,
                                                                      std::int32_t r0,
                                                                      std::int32_t r1) const {
    std::vector<std::pair<std::size_t, std::uint32_t>> wide;
    for (std::uint32_t n : wideItems) {
        if (n >= items.size()) continue;
        const Item& it = items[n];
        const std::int32_t wr0 = std::max(r0, cellOf(it.minY, originY, height, gridRows));
        const std::int32_t wr1 = std::min(r1, cellOf(it.maxY, originY, height, gridRows));
        const std::int32_t wc0 = std::max(c0, cellOf(it.minX, originX, width, gridCols));
        const std::int32_t wc1 = std::min(c1, cellOf(it.maxX, originX, width, gridCols));
        if (wr0 > wr1 || wc0 > wc1) continue;
        wide.emplace_back(static_cast<std::size_t>(wr0) * gridCols + wc0, n);
    }
    std::sort(wide.begin(), wide.end());
    return wide;
}

}  // namespace pcad
