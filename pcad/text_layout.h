// Where a text's anchor lies in its box, and how the lines of a text that holds line feeds
// are stacked in that box: shared by the text bounds and by every painter of P-CAD texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/geometry.h"
#include "pcad/page.h"

namespace pcad {

// Where the anchor lies in the unrotated box, as fractions of its width and height.
inline double justifyX(std::uint8_t j) {
    switch (j) {
        case JustifyLowerRight:
        case JustifyRight:
        case JustifyUpperRight: return 1;
        case JustifyLowerCenter:
        case JustifyUpperCenter:
        case JustifyCenter: return 0.5;
        default: return 0;
    }
}

inline double justifyY(std::uint8_t j) {
    switch (j) {
        case JustifyLowerLeft:
        case JustifyLowerCenter:
        case JustifyLowerRight: return 0;
        case JustifyUpperCenter:
        case JustifyUpperLeft:
        case JustifyUpperRight: return 1;
        default: return 0.5;
    }
}

// Calls visit(line, index) for every line of the text, in order; a text without a line feed
// is one line.
template <class Visit>
void forEachLine(std::string_view text, Visit&& visit) {
    for (std::size_t index = 0;; ++index) {
        const std::size_t end = text.find('\n');
        visit(text.substr(0, end), index);
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

// How many lines a text has, and the length of its longest line in bytes and in code points.
struct TextLines {
    std::size_t count = 0;
    std::size_t longestBytes = 0;
    std::size_t longestCodePoints = 0;
};

TextLines measureLines(std::string_view text);

// The part of the fitted-text box (100 units square, y down) that line `index`, of
// `lineCodePoints` code points, takes: a row of equal height, as wide as its share of the
// longest line, so that every line has the same character width, placed by the horizontal
// justification fraction `fx`.
common::Box lineBox(const TextLines& lines, std::size_t index, std::size_t lineCodePoints, double fx);

}  // namespace pcad
