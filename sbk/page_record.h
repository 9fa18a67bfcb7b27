// The record behind an SBK page document: what the page reader fills and
// drawing, SVG and the index read. Internal to the SBK reader.
#pragma once

#include "sbk/document.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace sbk {

struct Document::Record {
    std::vector<Polyline> polylines;
    std::vector<Text> texts;
    PageStats stats;
    double minX = -1000;
    double minY = -1000;
    double maxX = 1000;
    double maxY = 1000;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> grid;
    std::vector<std::uint32_t> oversize;
    double cellSize = 500;
};

}  // namespace sbk
