// The private state of a schq::Document, for the reader that fills it (and for tests that
// need a document with hand-made primitives).
#pragma once

#include <cstdint>
#include <vector>

#include "schq/document.h"

namespace schq {

struct Document::State {
    double width = 0;
    double height = 0;
    double cellSize = 32;
    DocumentStats stats;
    std::vector<Primitive> primitives;
    // The grid index: for each cell that some primitive meets, the indices of those primitives,
    // ascending, all lists back to back in `cellEntries` so that the index costs no allocation per
    // cell. The cells over the sheet (0 .. gridColumns - 1, 0 .. gridRows - 1) are a dense array of
    // list starts; the few cells outside it are found by key (high half cx, low half cy, each as
    // 32 unsigned bits) in an open-addressing table.
    struct Cell {
        std::uint64_t key = 0;
        std::uint32_t first = 0;  // in cellEntries
        std::uint32_t count = 0;  // 0: an empty slot
    };
    std::int64_t gridColumns = 0;
    std::int64_t gridRows = 0;
    std::vector<std::uint32_t> gridStarts;  // per grid cell, row by row, and the end of the last
    std::vector<Cell> outerCells;           // a power of two long, or empty
    std::vector<std::uint32_t> cellEntries;
    std::vector<std::uint32_t> largePrimitives;
};

struct DocumentAccess {
    static Document::State& state(Document& document) { return *document.state_; }
};

}  // namespace schq
