// Test-only look at the grid that pcad::Page keeps to itself.
#pragma once

#include <cstdint>
#include <vector>

#include "pcad/page.h"

namespace pcad {

struct PageGridAccess {
    static std::int32_t cols(const Page& p) { return p.gridCols; }
    static std::int32_t rows(const Page& p) { return p.gridRows; }
    static double maxX(const Page& p) { return p.gridMaxX; }
    static double maxY(const Page& p) { return p.gridMaxY; }
    static const std::vector<std::vector<std::uint32_t>>& cells(const Page& p) { return p.cells; }
};

}  // namespace pcad
