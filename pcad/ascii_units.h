// Numbers that a P-CAD text schematic writes in a unit other than the file's own ("1.74 mm"
// in a mil file), brought to the file's unit before anything is read from the tree.
#pragma once

#include "pcad/sexpr.h"

namespace pcad {

// The unit that the header's "fileUnits" names, in any letter case; None when it names none,
// and numbers are then taken as written.
NumberUnit fileUnitOf(const SExpr& root);

// The factor for the reader's own fixed sizes, which are millimetres: 1 / 0.0254 in a mil
// file, 1 otherwise.
double fixedSizeScale(NumberUnit fileUnit);

// Rewrites the text of every number that the parser found written in the other unit as its
// value in the file's unit; walks the tree only when there is such a number.
void convertUnits(SExpr& root, const SExprParser& parser, NumberUnit fileUnit);

}  // namespace pcad
