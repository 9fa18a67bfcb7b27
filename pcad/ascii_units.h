// Values that a P-CAD text schematic writes with a unit ("1.74 mm", "25.4mm", "300 mil"),
// brought to the file's own unit before anything is read from the tree.
#pragma once

#include <cstdint>

#include "pcad/sexpr.h"

namespace pcad {

enum class FileUnit : std::uint8_t {
    AsWritten,  // the header names no unit: numbers are taken as written
    Mil,
    Millimetre,
};

// The unit that the header's "fileUnits" names, in any letter case.
FileUnit fileUnitOf(const SExpr& root);

// The factor for the reader's own fixed sizes, which are millimetres: 1 / 0.0254 in a mil
// file, 1 otherwise.
double fixedSizeScale(FileUnit unit);

// Rewrites every bare number that carries a unit, as a suffix or as the bare atom after it,
// as its value in the file's unit, and takes those unit atoms out of their lists, so that
// an extent's width and height stay its elements 1 and 2.
void foldUnits(SExpr& root, FileUnit unit);

}  // namespace pcad
