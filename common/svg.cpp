// The SVG pieces the writers share: fixed three-decimal numbers and colour texts.
#include "common/svg.h"

#include <charconv>

namespace common {

void appendFixed3(std::string& out, double value) {
    // The largest double has 309 integer digits.
    char buffer[400];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    if (r.ec != std::errc()) {
        out += "0.000";
        return;
    }
    out.append(buffer, r.ptr);
}

std::string svgColour(std::uint32_t colour) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t byte = (colour >> shift) & 0xFF;
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0xF]);
    }
    return text;
}

}  // namespace common
