// Numbers that a P-CAD text schematic writes in a unit other than the file's own ("1.74 mm"
// in a mil file), brought to the file's unit before anything is read from the tree.
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

// Rewrites the text of every number that the parser found written in the other unit as its
// value in the file's unit; walks the tree only when there is such a number.
void convertUnits(SExpr& root, const SExprParser& parser, FileUnit unit);

}  // namespace pcad
