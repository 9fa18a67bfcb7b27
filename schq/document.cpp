// A SchDoc document: its accessors, the grid index built over its primitives and the rectangle query.
#include "schq/document.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "schq/document_state.h"

namespace schq {
namespace {

// Primitives that would fill more cells than this are kept once, in a list of their own.
constexpr std::int64_t kMaxCellsPerPrimitive = 256;
// Queries over more cells than this search the sheet's own cells instead.
constexpr std::int64_t kMaxQueryCells = 250000;
constexpr double kQueryLimit = 10000000.0;
// Queries whose cells hold at least one entry per this many primitives mark their candidates.
constexpr std::size_t kMarkedQueryShare = 16;

const Document::State& emptyState() {
    static const Document::State empty;
    return empty;
}

// floor(v / cell) as int32, saturating, so that no out-of-range double is converted.
std::int32_t cellOf(double v, double cell) {
    const double c = std::floor(v / cell);
    if (!(c > -2147483648.0))  // NaN too
        return std::numeric_limits<std::int32_t>::min();
    if (c > 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(c);
}

// ceil(side / cell), for the sheet sides of at most 50,000 units that the reader allows.
std::int64_t sheetCells(double side, double cell) {
    const double c = std::ceil(side / cell);
    return std::isfinite(c) ? static_cast<std::int64_t>(std::clamp(c, 0.0, 1000000.0)) : 0;
}

std::uint64_t cellKey(std::int32_t cx, std::int32_t cy) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(cy));
}

// The cells form an open-addressing table (linear probing, at most half full). A slot whose count
// is 0 is empty: every cell of the index holds at least one primitive.
using Cell = Document::State::Cell;

std::size_t homeSlot(const std::vector<Cell>& cells, std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (cells.size() - 1);
}

std::size_t nextSlot(const std::vector<Cell>& cells, std::size_t slot) {
    return (slot + 1) & (cells.size() - 1);
}

const Cell* findCell(const std::vector<Cell>& cells, std::uint64_t key) {
    if (cells.empty()) return nullptr;
    for (std::size_t i = homeSlot(cells, key);; i = nextSlot(cells, i)) {
        if (cells[i].count == 0) return nullptr;
        if (cells[i].key == key) return &cells[i];
    }
}

// Counts one more primitive in the cell of `key`, adding the cell when new.
void countInCell(std::vector<Cell>& cells, std::size_t& used, std::uint64_t key) {
    if (used * 2 >= cells.size()) {
        std::vector<Cell> old(std::max<std::size_t>(cells.size() * 2, 64));
        old.swap(cells);
        for (const Cell& c : old) {
            if (c.count == 0) continue;
            std::size_t i = homeSlot(cells, c.key);
            while (cells[i].count != 0) i = nextSlot(cells, i);
            cells[i] = c;
        }
    }
    for (std::size_t i = homeSlot(cells, key);; i = nextSlot(cells, i)) {
        Cell& c = cells[i];
        if (c.count == 0) {
            ++used;
            c.key = key;
        } else if (c.key != key) {
            continue;
        }
        ++c.count;
        return;
    }
}

bool inGrid(const Document::State& s, std::int64_t cx, std::int64_t cy) {
    return cx >= 0 && cy >= 0 && cx < s.gridColumns && cy < s.gridRows;
}

std::size_t gridCell(const Document::State& s, std::int64_t cx, std::int64_t cy) {
    return static_cast<std::size_t>(cy * s.gridColumns + cx);
}

std::uint64_t outerKey(std::int64_t cx, std::int64_t cy) {
    return cellKey(static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy));
}

// The cells that a primitive's box meets, from cx0, cy0 to cx1, cy1; taken once by the first walk
// and kept for the second.
struct CellSpan {
    std::int32_t cx0;
    std::int32_t cy0;
    std::int32_t cx1;
    std::int32_t cy1;
};

CellSpan cellSpanOf(const Document::State& s, const Primitive& p) {
    return {cellOf(p.minX, s.cellSize), cellOf(p.minY, s.cellSize), cellOf(p.maxX, s.cellSize),
            cellOf(p.maxY, s.cellSize)};
}

// Calls onCell(cx, cy) for every cell of the span; false, calling nothing, for a span of more than
// 256 cells.
template <typename OnCell>
bool forEachCellOf(const CellSpan& c, OnCell&& onCell) {
    const std::int64_t span = (std::int64_t{c.cy1} - c.cy0 + 1) * (std::int64_t{c.cx1} - c.cx0 + 1);
    if (span > kMaxCellsPerPrimitive) return false;
    for (std::int64_t cy = c.cy0; cy <= c.cy1; ++cy)
        for (std::int64_t cx = c.cx0; cx <= c.cx1; ++cx) onCell(cx, cy);
    return true;
}

// The first walk over the primitives' cells: how many primitives each cell holds, and the list of
// primitives too large for cells; the texts are counted on the way.
void countCellEntries(Document::State& s, std::vector<CellSpan>& spans) {
    s.gridStarts.assign(static_cast<std::size_t>(s.gridColumns * s.gridRows) + 1, 0);
    spans.resize(s.primitives.size());
    std::size_t used = 0;
    for (std::size_t i = 0; i < s.primitives.size(); ++i) {
        if (s.primitives[i].kind == Text) ++s.stats.texts;
        spans[i] = cellSpanOf(s, s.primitives[i]);
        const bool inCells = forEachCellOf(spans[i], [&](std::int64_t cx, std::int64_t cy) {
            if (inGrid(s, cx, cy))
                ++s.gridStarts[gridCell(s, cx, cy)];
            else
                countInCell(s.outerCells, used, outerKey(cx, cy));
        });
        if (!inCells) s.largePrimitives.push_back(static_cast<std::uint32_t>(i));
    }
}

// The second walk: each cell's list starts where the one before ends, and the primitives go in
// in their order, so that every list is ascending.
void placeCellEntries(Document::State& s, const std::vector<CellSpan>& spans) {
    // List starts are 32-bit: an index that would outgrow them would not fit in memory either.
    std::uint64_t total = 0;
    for (std::uint32_t& start : s.gridStarts)
        total += std::exchange(start, static_cast<std::uint32_t>(total));
    for (const Cell& cell : s.outerCells) total += cell.count;
    if (total > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
    std::vector<std::uint32_t> gridNext(s.gridStarts.begin(), s.gridStarts.end() - 1);
    std::vector<std::uint32_t> outerNext(s.outerCells.size());
    std::uint32_t next = s.gridStarts.back();
    for (std::size_t slot = 0; slot < s.outerCells.size(); ++slot) {
        s.outerCells[slot].first = outerNext[slot] = next;
        next += s.outerCells[slot].count;
    }
    s.cellEntries.resize(static_cast<std::size_t>(total));
    for (std::size_t i = 0; i < s.primitives.size(); ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        forEachCellOf(spans[i], [&](std::int64_t cx, std::int64_t cy) {
            if (inGrid(s, cx, cy)) {
                s.cellEntries[gridNext[gridCell(s, cx, cy)]++] = index;
            } else {
                const Cell* cell = findCell(s.outerCells, outerKey(cx, cy));
                s.cellEntries[outerNext[static_cast<std::size_t>(cell - s.outerCells.data())]++] = index;
            }
        });
    }
}

// The cells from cx0, cy0 to cx1, cy1 of a query.
struct CellRange {
    std::int64_t cx0;
    std::int64_t cy0;
    std::int64_t cx1;
    std::int64_t cy1;
};

// Calls onList(first, last) for the entry list of every indexed cell of the range.
template <typename OnList>
void forEachCellList(const Document::State& s, const CellRange& r, OnList&& onList) {
    for (std::int64_t cy = r.cy0; cy <= r.cy1; ++cy) {
        for (std::int64_t cx = r.cx0; cx <= r.cx1; ++cx) {
            if (inGrid(s, cx, cy)) {
                const std::size_t cell = gridCell(s, cx, cy);
                onList(s.cellEntries.data() + s.gridStarts[cell],
                       s.cellEntries.data() + s.gridStarts[cell + 1]);
            } else if (const Cell* cell = findCell(s.outerCells, outerKey(cx, cy))) {
                const std::uint32_t* first = s.cellEntries.data() + cell->first;
                onList(first, first + cell->count);
            }
        }
    }
}

// The primitives of the range's cells and the large ones, ascending and once each. A query that
// meets a good part of the sheet marks them in a table instead of sorting its many entries.
std::vector<std::uint32_t> candidatesOf(const Document::State& s, const CellRange& r) {
    std::size_t entries = s.largePrimitives.size();
    forEachCellList(s, r, [&](const std::uint32_t* first, const std::uint32_t* last) {
        entries += static_cast<std::size_t>(last - first);
    });
    std::vector<std::uint32_t> candidates;
    if (entries >= s.primitives.size() / kMarkedQueryShare) {
        std::vector<std::uint8_t> marked(s.primitives.size());
        for (const std::uint32_t i : s.largePrimitives) marked[i] = 1;
        forEachCellList(s, r, [&](const std::uint32_t* first, const std::uint32_t* last) {
            for (; first != last; ++first) marked[*first] = 1;
        });
        for (std::size_t i = 0; i < marked.size(); ++i)
            if (marked[i]) candidates.push_back(static_cast<std::uint32_t>(i));
        return candidates;
    }
    candidates.reserve(entries);
    candidates.assign(s.largePrimitives.begin(), s.largePrimitives.end());
    forEachCellList(s, r, [&](const std::uint32_t* first, const std::uint32_t* last) {
        candidates.insert(candidates.end(), first, last);
    });
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    return candidates;
}

}  // namespace

Document::Document() : state_(std::make_unique<State>()) {}
Document::~Document() = default;
Document::Document(Document&& other) noexcept = default;
Document& Document::operator=(Document&& other) noexcept = default;

double Document::width() const { return state_ ? state_->width : 0.0; }
double Document::height() const { return state_ ? state_->height : 0.0; }

const std::vector<Primitive>& Document::primitives() const {
    return (state_ ? *state_ : emptyState()).primitives;
}

const DocumentStats& Document::stats() const { return (state_ ? *state_ : emptyState()).stats; }

void Document::buildIndex() {
    if (!state_) state_ = std::make_unique<State>();
    State& s = *state_;
    s.cellSize = std::max(std::max(s.width, s.height) * 0.015625, 16.0);
    // The dense part covers the cells that a search of the whole sheet visits.
    s.gridColumns = sheetCells(s.width, s.cellSize) + 2;
    s.gridRows = sheetCells(s.height, s.cellSize) + 2;
    std::vector<CellSpan> spans;
    countCellEntries(s, spans);
    placeCellEntries(s, spans);
    s.stats.primitives = s.primitives.size();
}

std::vector<std::uint32_t> Document::query(const Rect& area, const RenderOptions& options) const {
    std::vector<std::uint32_t> result;
    if (!state_) return result;
    const State& s = *state_;
    if (!std::isfinite(area.x0) || !std::isfinite(area.y0) || !std::isfinite(area.x1) ||
        !std::isfinite(area.y1) || area.x0 > area.x1 || area.y0 > area.y1)
        return result;

    auto clamp = [](double v) { return std::clamp(v, -kQueryLimit, kQueryLimit); };
    std::int64_t cx0 = cellOf(clamp(area.x0), s.cellSize);
    std::int64_t cx1 = cellOf(clamp(area.x1), s.cellSize);
    std::int64_t cy0 = cellOf(clamp(area.y0), s.cellSize);
    std::int64_t cy1 = cellOf(clamp(area.y1), s.cellSize);
    if ((cy1 - cy0 + 1) * (cx1 - cx0 + 1) > kMaxQueryCells) {
        // Huge areas: only the cells over the sheet can hold anything worth finding.
        cx0 = 0;
        cy0 = 0;
        cx1 = sheetCells(s.width, s.cellSize) + 1;
        cy1 = sheetCells(s.height, s.cellSize) + 1;
    }

    const CellRange cells{cx0, cy0, cx1, cy1};
    const auto wanted = [&](const Primitive& p) {
        if (p.layer >= 32 || !(options.layerMask & (std::uint32_t{1} << p.layer))) return false;
        if (p.maxX < area.x0 || area.x1 < p.minX || p.maxY < area.y0 || area.y1 < p.minY) return false;
        if (options.cullSmallText) {
            if (p.layer == PinNames && p.fontSize * options.scale < 5) return false;
            if (p.kind == Text && p.fontSize * options.scale < 3.2) return false;
        }
        return true;
    };
    const std::vector<std::uint32_t> candidates = candidatesOf(s, cells);
    result.reserve(candidates.size());
    for (const std::uint32_t i : candidates)
        if (wanted(s.primitives[i])) result.push_back(i);
    return result;
}

}  // namespace schq
