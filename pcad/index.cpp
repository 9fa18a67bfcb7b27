// The uniform grid over the page rectangle and the rectangle query.
#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <utility>
#include <vector>

#include "pcad/page.h"

namespace pcad {
namespace {

constexpr double kCellSize = 20;
constexpr std::int32_t kMaxCells = 128;
// An item whose cell range holds more cells than this goes to the wide list.
constexpr std::int32_t kMaxCellsPerItem = 32;

// Index of v's cell along one axis of `count` cells over [origin, origin + size]: the floor of
// its position in cells, clamped. Clamped in double first so that huge, infinite or NaN values
// never reach the integer conversion; what reaches it is not negative, where truncating is the
// floor, and cheaper.
std::int32_t cellOf(double v, double origin, double size, std::int32_t count) {
    const double t = (v - origin) / size * count;
    if (!(t >= 0)) return 0;
    if (t >= count) return count - 1;
    return static_cast<std::int32_t>(t);
}

std::int32_t gridCount(double size) {
    const double n = std::ceil(size / kCellSize);
    if (std::isnan(n) || n < 1) return 1;
    if (n > kMaxCells) return kMaxCells;
    return static_cast<std::int32_t>(n);
}

}  // namespace

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
// wide list when it covers many. The lists are laid out in two passes: the first finds each
// item's cells and counts each cell's entries, the second places them, so every buffer is
// allocated once at its final size.
void Page::fillCells() {
    // Fresh vectors, so that a rebuilt index lets go of the old one's memory.
    cellNumbers = std::vector<std::uint32_t>();
    cellStarts = std::vector<std::size_t>();
    cellItems = std::vector<std::uint32_t>();
    wideItems = std::vector<std::uint32_t>();
    if (items.empty()) return;

    // An item's columns c0..c1 and rows r0..r1; none (c0 > c1) for an item off the page or wide.
    struct Span {
        std::uint8_t c0 = 1, c1 = 0, r0 = 0, r1 = 0;
    };
    static_assert(kMaxCells <= 256);
    std::vector<Span> spans(items.size());
    // Entries per cell, then, for the cells that hold any, where their lists start; the same
    // table then serves as each list's next free place.
    std::vector<std::size_t> next(static_cast<std::size_t>(gridCols) * static_cast<std::size_t>(gridRows));
    for (std::size_t n = 0; n < items.size(); ++n) {
        const Item& it = items[n];
        if (!(it.maxX >= gridMinX && it.minX <= gridMaxX && it.maxY >= gridMinY && it.minY <= gridMaxY))
            continue;
        const std::int32_t c0 = cellOf(it.minX, originX, width, gridCols);
        const std::int32_t c1 = cellOf(it.maxX, originX, width, gridCols);
        const std::int32_t r0 = cellOf(it.minY, originY, height, gridRows);
        const std::int32_t r1 = cellOf(it.maxY, originY, height, gridRows);
        if ((c1 - c0 + 1) * (r1 - r0 + 1) > kMaxCellsPerItem) {
            wideItems.push_back(static_cast<std::uint32_t>(n));
            continue;
        }
        spans[n] = {static_cast<std::uint8_t>(c0), static_cast<std::uint8_t>(c1),
                    static_cast<std::uint8_t>(r0), static_cast<std::uint8_t>(r1)};
        for (std::int32_t r = r0; r <= r1; ++r)
            for (std::int32_t c = c0; c <= c1; ++c) ++next[static_cast<std::size_t>(r) * gridCols + c];
    }

    const auto used = static_cast<std::size_t>(
        std::count_if(next.begin(), next.end(), [](std::size_t k) { return k != 0; }));
    if (used == 0) return;
    cellNumbers.reserve(used);
    cellStarts.reserve(used + 1);
    std::size_t total = 0;
    for (std::size_t cell = 0; cell < next.size(); ++cell) {
        if (next[cell] == 0) continue;
        cellNumbers.push_back(static_cast<std::uint32_t>(cell));
        cellStarts.push_back(total);
        total += std::exchange(next[cell], total);
    }
    cellStarts.push_back(total);
    cellItems.resize(total);
    for (std::size_t n = 0; n < spans.size(); ++n) {
        const Span sp = spans[n];
        for (std::size_t r = sp.r0; r <= sp.r1; ++r)
            for (std::size_t c = sp.c0; c <= sp.c1; ++c)
                cellItems[next[r * gridCols + c]++] = static_cast<std::uint32_t>(n);
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
    // The stored cells of each row's stretch, in walk order (ascending cell numbers); the wide
    // items of the cells between them, which hold nothing of their own, join in the same order.
    auto stored = cellNumbers.cbegin();
    for (std::int32_t r = r0; r <= r1; ++r) {
        const std::size_t rowStart = static_cast<std::size_t>(r) * gridCols;
        stored = std::lower_bound(stored, cellNumbers.cend(), rowStart + c0);
        for (; stored != cellNumbers.cend() && *stored <= rowStart + c1; ++stored) {
            const std::size_t cell = *stored;
            for (; nextWide != wide.cend() && nextWide->first < cell; ++nextWide) take(nextWide->second);
            const auto k = static_cast<std::size_t>(stored - cellNumbers.cbegin());
            for (std::size_t e = cellStarts[k]; e < cellStarts[k + 1]; ++e) {
                const std::uint32_t n = cellItems[e];
                for (; nextWide != wide.cend() && nextWide->first == cell && nextWide->second < n; ++nextWide)
                    take(nextWide->second);
                take(n);
            }
        }
    }
    for (; nextWide != wide.cend(); ++nextWide) take(nextWide->second);
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
