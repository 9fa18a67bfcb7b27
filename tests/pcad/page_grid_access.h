// Test-only look at the grid that pcad::Page keeps to itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pcad/page.h"

namespace pcad {

struct PageGridAccess {
    static std::int32_t cols(const Page& p) { return p.gridCols; }
    static std::int32_t rows(const Page& p) { return p.gridRows; }
    static double maxX(const Page& p) { return p.gridMaxX; }
    static double maxY(const Page& p) { return p.gridMaxY; }
    // Every cell's list, row-major, empty ones included.
    static std::vector<std::vector<std::uint32_t>> cells(const Page& p) {
        std::vector<std::vector<std::uint32_t>> out(static_cast<std::size_t>(p.gridCols) *
                                                    static_cast<std::size_t>(p.gridRows));
        for (std::size_t k = 0; k < p.cellNumbers.size(); ++k)
            out[p.cellNumbers[k]].assign(
                p.cellItems.begin() + static_cast<std::ptrdiff_t>(p.cellStarts[k]),
                p.cellItems.begin() + static_cast<std::ptrdiff_t>(p.cellStarts[k + 1]));
        return out;
    }
    // The heap bytes that the grid holds.
    static std::size_t gridBytes(const Page& p) {
        return p.cellNumbers.capacity() * sizeof(std::uint32_t) +
               p.cellStarts.capacity() * sizeof(std::size_t) +
               p.cellItems.capacity() * sizeof(std::uint32_t) +
               p.wideItems.capacity() * sizeof(std::uint32_t);
    }
};

}  // namespace pcad
