// Values written with a unit of their own, converted to the file's unit.
#include "pcad/ascii_units.h"

#include <charconv>
#include <cstddef>

#include "common/number.h"

namespace pcad {

namespace {

constexpr double kMillimetresPerMil = 0.0254;

// The converted value in the shortest form that reads back exactly.
void convert(SExpr& atom, NumberUnit from) {
    double value = 0;
    std::size_t end = 0;
    if (common::scanReal(atom.text, value, end) == common::RealScan::None) return;
    const double converted =
        from == NumberUnit::Millimetre ? value / kMillimetresPerMil : value * kMillimetresPerMil;
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, converted);
    atom.text.assign(buffer, r.ptr);
}

void convertList(SExpr& list, NumberUnit from) {
    for (SExpr& node : list.children) {
        if (node.isList)
            convertList(node, from);
        else if (node.unit == from)
            convert(node, from);
    }
}

}  // namespace

NumberUnit fileUnitOf(const SExpr& root) {
    return unitNamed(root.find("asciiHeader").value("fileUnits", ""));
}

double fixedSizeScale(NumberUnit fileUnit) {
    return fileUnit == NumberUnit::Mil ? 1 / kMillimetresPerMil : 1;
}

void convertUnits(SExpr& root, const SExprParser& parser, NumberUnit fileUnit) {
    const NumberUnit other = fileUnit == NumberUnit::Mil          ? NumberUnit::Millimetre
                             : fileUnit == NumberUnit::Millimetre ? NumberUnit::Mil
                                                                  : NumberUnit::None;
    if (other != NumberUnit::None && parser.numbersIn(other) > 0) convertList(root, other);
}

}  // namespace pcad
