// Restores the short diagonal strokes that join thin horizontal wires to vertical
// buses; binary files do not store them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pcad/page.h"

namespace pcad {
namespace {

constexpr double kEntryOffset = 2.54;

// round(v) with halves away from zero, clamped in double so that no huge or
// non-finite value reaches the integer conversion (NaN counts as 0).
std::int64_t roundClamped(double v, double lo, double hi) {
    if (std::isnan(v)) return 0;
    v = std::round(v);
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    return static_cast<std::int64_t>(v);
}

std::int32_t busKey(double x) {
    return static_cast<std::int32_t>(roundClamped(x * 100, -2147483648.0, 2147483647.0));
}

// Both coordinates rounded to 64 bits and kept to their low 32 bits, packed into one key.
std::uint64_t pointKey(double x, double y) {
    constexpr double lim = 9.2e18;  // inside the int64 range
    const auto kx = static_cast<std::uint32_t>(static_cast<std::uint64_t>(roundClamped(x * 100, -lim, lim)));
    const auto ky = static_cast<std::uint32_t>(static_cast<std::uint64_t>(roundClamped(y * 100, -lim, lim)));
    return (static_cast<std::uint64_t>(kx) << 32) | ky;
}

bool isBus(const Line& l) {
    return (l.itemClass == ClassBus || l.itemClass == ClassWire) && l.width >= 0.6f &&
           std::fabs(l.x1 - l.x2) < 0.001 && std::fabs(l.y1 - l.y2) >= 1.0;
}

bool isThinHorizontalWire(const Line& l) {
    return l.itemClass == ClassWire && l.width <= 0.55f && std::fabs(l.y1 - l.y2) < 0.001 &&
           std::fabs(l.x1 - l.x2) > 0.25;
}

using Interval = std::pair<double, double>;

// The range of bus keys that could lie one entry offset beside px (with a margin for
// rounding); false when there is none, as for a non-finite px.
bool candidateKeys(double px, std::int32_t& first, std::int32_t& last) {
    constexpr double kReach = kEntryOffset + 0.07;
    const double lo = std::floor((px - kReach) * 100) - 1;
    const double hi = std::ceil((px + kReach) * 100) + 1;
    constexpr double kMin = -2147483648.0, kMax = 2147483647.0;
    if (!(lo <= hi) || hi < kMin || lo > kMax) return false;
    first = static_cast<std::int32_t>(std::max(lo, kMin));
    last = static_cast<std::int32_t>(std::min(hi, kMax));
    return true;
}

// True when v lies in one of the merged intervals widened by 0.05 at each end. Merged
// intervals are disjoint and ascending in both ends, so only the first one whose widened
// upper end reaches v can hold it.
bool onBus(const std::vector<Interval>& merged, double v) {
    const auto it = std::partition_point(merged.begin(), merged.end(),
                                         [v](const Interval& iv) { return iv.second + 0.05 < v; });
    return it != merged.end() && it->first - 0.05 <= v && v <= it->second + 0.05;
}

// Bus x position (key) -> merged y intervals. Ordered by key, so buses are always tried left
// to right and the result is deterministic.
using BusMap = std::map<std::int32_t, std::vector<Interval>>;

// Pieces of one bus that overlap or lie within 0.03 of each other count as one interval.
std::vector<Interval> mergeIntervals(std::vector<Interval> intervals) {
    std::sort(intervals.begin(), intervals.end());
    std::vector<Interval> merged;
    for (const Interval& iv : intervals) {
        if (!merged.empty() && iv.first <= merged.back().second + 0.03) {
            merged.back().second = std::max(merged.back().second, iv.second);
        } else {
            merged.push_back(iv);
        }
    }
    return merged;
}

BusMap collectBuses(const std::vector<Line>& lines) {
    BusMap buses;
    for (const Line& l : lines)
        if (isBus(l)) buses[busKey(l.x1)].emplace_back(std::min(l.y1, l.y2), std::max(l.y1, l.y2));
    for (auto& entry : buses) entry.second = mergeIntervals(std::move(entry.second));
    return buses;
}

// How many thin horizontal wires end at each rounded point.
std::unordered_map<std::uint64_t, std::uint32_t> countWireEnds(const std::vector<Line>& lines) {
    std::unordered_map<std::uint64_t, std::uint32_t> counts;
    for (const Line& l : lines) {
        if (!isThinHorizontalWire(l)) continue;
        ++counts[pointKey(l.x1, l.y1)];
        ++counts[pointKey(l.x2, l.y2)];
    }
    return counts;
}

// The entry from the wire end (px, py) to the first bus that lies one entry offset beside
// it and reaches the entry point on the page; false when none does.
bool entryFor(const Page& page, const BusMap& buses, double px, double py, Line& entry) {
    // Only buses within 2.61 of the end can qualify: walk that range of keys, in ascending
    // order, instead of every bus, so that many buses and wires stay linear.
    std::int32_t firstKey, lastKey;
    if (!candidateKeys(px, firstKey, lastKey)) return false;
    for (auto it = buses.lower_bound(firstKey); it != buses.end() && it->first <= lastKey; ++it) {
        const double u = static_cast<double>(it->first) / 100;
        const double d = px - u;
        if (!(std::fabs(std::fabs(d) - kEntryOffset) <= 0.065)) continue;
        const double v = d > 0 ? py + kEntryOffset : py - kEntryOffset;
        if (!(page.originX <= u && u <= page.originX + page.width && page.originY <= v &&
              v <= page.originY + page.height)) {
            continue;
        }
        if (!onBus(it->second, v)) continue;
        entry.x1 = px;
        entry.y1 = py;
        entry.x2 = u;
        entry.y2 = v;
        return true;
    }
    return false;
}

}  // namespace

void Page::addBusEntries() {
    const BusMap buses = collectBuses(lines);
    if (buses.empty()) return;
    const std::unordered_map<std::uint64_t, std::uint32_t> endCounts = countWireEnds(lines);

    std::vector<Line> added;
    for (const Line& l : lines) {
        if (!isThinHorizontalWire(l)) continue;
        const double ends[2][2] = {{l.x1, l.y1}, {l.x2, l.y2}};
        for (const auto& end : ends) {
            // An end shared with another thin horizontal wire is a joint, not a free end.
            const auto count = endCounts.find(pointKey(end[0], end[1]));
            if (count != endCounts.end() && count->second > 1) continue;
            Line entry;
            entry.width = l.width;
            entry.itemClass = ClassWire;
            if (entryFor(*this, buses, end[0], end[1], entry)) added.push_back(entry);
        }
    }
    lines.insert(lines.end(), added.begin(), added.end());
}

}  // namespace pcad
