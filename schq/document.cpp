#include "schq/document.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "schq/document_state.h"

namespace schq {
namespace {

// Primitives that would fill more cells than this are kept once, in a list of their own.
constexpr std::int64_t kMaxCellsPerPrimitive = 256;
// Queries over more cells than this search the sheet's own cells instead.
constexpr std::int64_t kMaxQueryCells = 250000;
constexpr double kQueryLimit = 10000000.0;

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
    s.cells.max_load_factor(1.0f);
    s.cells.reserve(s.primitives.size() * 2);
    for (std::size_t i = 0; i < s.primitives.size(); ++i) {
        const Primitive& p = s.primitives[i];
        const auto index = static_cast<std::uint32_t>(i);
        const std::int32_t cx0 = cellOf(p.minX, s.cellSize);
        const std::int32_t cy0 = cellOf(p.minY, s.cellSize);
        const std::int32_t cx1 = cellOf(p.maxX, s.cellSize);
        const std::int32_t cy1 = cellOf(p.maxY, s.cellSize);
        const std::int64_t span = (std::int64_t{cy1} - cy0 + 1) * (std::int64_t{cx1} - cx0 + 1);
        if (span > kMaxCellsPerPrimitive) {
            s.largePrimitives.push_back(index);
            continue;
        }
        for (std::int64_t cy = cy0; cy <= cy1; ++cy)
            for (std::int64_t cx = cx0; cx <= cx1; ++cx)
                s.cells[cellKey(static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy))].push_back(
                    index);
    }
    s.stats.primitives = s.primitives.size();
    for (const Primitive& p : s.primitives)
        if (p.kind == Text) ++s.stats.texts;
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

    std::vector<std::uint32_t> candidates = s.largePrimitives;
    for (std::int64_t cy = cy0; cy <= cy1; ++cy) {
        for (std::int64_t cx = cx0; cx <= cx1; ++cx) {
            const auto it =
                s.cells.find(cellKey(static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy)));
            if (it != s.cells.end())
                candidates.insert(candidates.end(), it->second.begin(), it->second.end());
        }
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    result.reserve(candidates.size());
    for (const std::uint32_t i : candidates) {
        const Primitive& p = s.primitives[i];
        if (p.layer >= 32 || !(options.layerMask & (std::uint32_t{1} << p.layer))) continue;
        if (p.maxX < area.x0 || area.x1 < p.minX || p.maxY < area.y0 || area.y1 < p.minY) continue;
        if (options.cullSmallText) {
            if (p.layer == PinNames && p.fontSize * options.scale < 5) continue;
            if (p.kind == Text && p.fontSize * options.scale < 3.2) continue;
        }
        result.push_back(i);
    }
    return result;
}

}  // namespace schq
