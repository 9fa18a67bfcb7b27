// Builders that turn single keyword lists of a P-CAD text schematic ("line",
// "triplePointArc", "text", "pt") into primitives of a page. Lists that lack what a
// builder needs are dropped without a message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "pcad/page.h"
#include "pcad/sexpr.h"

namespace pcad {

// A point of the sheet (y up).
using AsciiPoint = common::Point;

// Where a symbol instance sits on the sheet; all zero is the identity.
struct Placement {
    double x = 0;
    double y = 0;
    double rotation = 0;  // degrees, counter-clockwise (y up)
    std::uint8_t mirrored = 0;

    // Sheet point of a symbol-local point: mirror x, then rotate, then move.
    AsciiPoint apply(AsciiPoint p) const;
};

// Text-style name to font height.
using StyleTable = std::unordered_map<std::string, float>;

// The point of the node's first "pt" list; (0, 0) without one. A missing or
// unconvertible coordinate is 0.
AsciiPoint readPt(const SExpr& node);

// Appends a line between the first two points of a "line" list.
void addLine(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement);

// Appends the arc through the three points of a "triplePointArc" list as line
// segments, or a dot when its last two points coincide.
void addArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement);

// Appends the text of a "text" list; fields, pins and attributes pass their string as
// `textOverride`, the rest of the list still positions and shapes it.
void addText(Page& page, const SExpr& node, std::uint8_t itemClass, const StyleTable& styles,
             const Placement& placement, double rotationOffset,
             const std::optional<std::string>& textOverride);

namespace detail {
// Double to float as IEEE rounding does it, without the undefined cast of values
// beyond the float range: those become infinities.
float toFloat(double v);
}  // namespace detail

}  // namespace pcad
