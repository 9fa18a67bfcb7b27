// Counting the lines and code points of a P-CAD text and placing each line in its box.
#include "pcad/text_layout.h"

#include <algorithm>

#include "common/fitted_text.h"
#include "common/utf8.h"

namespace pcad {

TextLines measureLines(std::string_view text) {
    TextLines lines;
    forEachLine(text, [&lines](std::string_view line, std::size_t) {
        ++lines.count;
        lines.longestBytes = std::max(lines.longestBytes, line.size());
        lines.longestCodePoints = std::max(lines.longestCodePoints, common::codePoints(line));
    });
    return lines;
}

common::Box lineBox(const TextLines& lines, std::size_t index, std::size_t lineCodePoints, double fx) {
    using common::fitted::kBox;
    const double rows = static_cast<double>(std::max<std::size_t>(lines.count, 1));
    const double longest = static_cast<double>(std::max(lines.longestCodePoints, lineCodePoints));
    const double width = longest > 0 ? kBox * static_cast<double>(lineCodePoints) / longest : kBox;
    const double x0 = fx * (kBox - width);
    return {x0, kBox * static_cast<double>(index) / rows, x0 + width,
            kBox * static_cast<double>(index + 1) / rows};
}

}  // namespace pcad
