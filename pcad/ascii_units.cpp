#include "pcad/ascii_units.h"

#include <charconv>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/number.h"

namespace pcad {

namespace {

constexpr double kMillimetresPerMil = 0.0254;

enum class Unit : std::uint8_t { None, Millimetre, Mil };

Unit unitWord(std::string_view w) {
    if (common::equalsIgnoringAsciiCase(w, "mm")) return Unit::Millimetre;
    if (common::equalsIgnoringAsciiCase(w, "mil")) return Unit::Mil;
    return Unit::None;
}

// Cheap first look, since most atoms are plain numbers and keywords: a unit ends in m or l.
bool mayEndInUnit(std::string_view text) {
    if (text.size() < 2) return false;
    const char last = common::asciiLower(text.back());
    return last == 'm' || last == 'l';
}

bool isUnitAtom(const SExpr& node) {
    return !node.isList && !node.quoted && mayEndInUnit(node.text) && node.text.size() <= 3 &&
           unitWord(node.text) != Unit::None;
}

double inFileUnit(double value, Unit written, FileUnit file) {
    if (file == FileUnit::Mil && written == Unit::Millimetre) return value / kMillimetresPerMil;
    if (file == FileUnit::Millimetre && written == Unit::Mil) return value * kMillimetresPerMil;
    return value;
}

// The atom becomes its number alone: the digits as written when the unit is the file's,
// else the converted value in the shortest form that reads back exactly.
void rewrite(SExpr& atom, std::size_t numberLength, double value, Unit written, FileUnit file) {
    const double converted = inFileUnit(value, written, file);
    if (converted == value || value != value) {
        atom.text.resize(numberLength);
        return;
    }
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, converted);
    atom.text.assign(buffer, r.ptr);
}

// A bare atom that is a number directly followed by a unit ("25.4mm").
bool foldSuffix(SExpr& atom, FileUnit file) {
    if (!mayEndInUnit(atom.text)) return false;
    double value = 0;
    std::size_t end = 0;
    if (common::scanReal(atom.text, value, end) == common::RealScan::None || end == 0) return false;
    const Unit unit = unitWord(std::string_view(atom.text).substr(end));
    if (unit == Unit::None) return false;
    rewrite(atom, end, value, unit, file);
    return true;
}

// A bare atom that is a number as a whole, followed by a unit atom ("1.74" "mm").
bool foldPair(SExpr& atom, const SExpr& next, FileUnit file) {
    if (!isUnitAtom(next)) return false;
    double value = 0;
    std::size_t end = 0;
    if (common::scanReal(atom.text, value, end) == common::RealScan::None || end != atom.text.size())
        return false;
    rewrite(atom, end, value, unitWord(next.text), file);
    return true;
}

void foldList(SExpr& list, FileUnit file) {
    std::vector<SExpr>& c = list.children;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
        SExpr& node = c[i];
        bool dropNext = false;
        if (node.isList) {
            foldList(node, file);
        } else if (!node.quoted && !node.text.empty()) {
            dropNext = i + 1 < c.size() && foldPair(node, c[i + 1], file);
            if (!dropNext) foldSuffix(node, file);
        }
        if (kept != i) c[kept] = std::move(node);
        ++kept;
        if (dropNext) ++i;
    }
    c.resize(kept);
}

}  // namespace

FileUnit fileUnitOf(const SExpr& root) {
    const std::string unit = root.find("asciiHeader").value("fileUnits", "");
    switch (unitWord(unit)) {
        case Unit::Mil: return FileUnit::Mil;
        case Unit::Millimetre: return FileUnit::Millimetre;
        default: return FileUnit::AsWritten;
    }
}

double fixedSizeScale(FileUnit unit) { return unit == FileUnit::Mil ? 1 / kMillimetresPerMil : 1; }

void foldUnits(SExpr& root, FileUnit unit) { foldList(root, unit); }

}  // namespace pcad
