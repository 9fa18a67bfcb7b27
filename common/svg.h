// The pieces that the SVG writers share. Each writer keeps its own rules on top: which control
// bytes it drops, how it treats invalid UTF-8, whether it trims trailing zeros.
#pragma once

#include <cstdint>
#include <string>

namespace common {

// The entity of one of XML's five markup characters (& < > " '); nullptr for any other byte.
constexpr const char* xmlEntity(char c) {
    switch (c) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        case '\'': return "&apos;";
        default: return nullptr;
    }
}

// Appends `value` in fixed-point notation with exactly three decimals, as printf's "%.3f" in
// the "C" locale writes it, whatever locale the process has set ("inf", "-nan" included).
void appendFixed3(std::string& out, double value);

// A 0xAABBGGRR colour as "#rrggbb" in lower case; alpha is not written.
std::string svgColour(std::uint32_t colour);

}  // namespace common
