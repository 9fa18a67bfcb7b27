// The private state of a schq::Document, for the reader that fills it (and for tests that
// need a document with hand-made primitives).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "schq/document.h"

namespace schq {

struct Document::State {
    double width = 0;
    double height = 0;
    double cellSize = 32;
    DocumentStats stats;
    std::vector<Primitive> primitives;
    // Cell key: high half cx, low half cy, each as 32 unsigned bits.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells;
    std::vector<std::uint32_t> largePrimitives;
};

struct DocumentAccess {
    static Document::State& state(Document& document) { return *document.state_; }
};

}  // namespace schq
