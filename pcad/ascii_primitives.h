// Builders that turn single keyword lists of a P-CAD text schematic ("line",
// "triplePointArc", "arc", "poly", "pin", "text", "pt") into primitives of a page. Lists that lack what a
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

// The builders' own sizes (default widths, dot and text sizes, pin length) are millimetres;
// `sizeScale` turns them into the file's unit (1 / 0.0254 in a mil file).

// Appends a line between the first two points of a "line" list.
void addLine(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
             double sizeScale = 1);

// Appends the arc of a "triplePointArc" list as line segments, or a dot when its last two
// points coincide. The first point is the centre when the other two lie at the same distance
// from it (within 1 %); otherwise the arc runs through the three points.
void addArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
            double sizeScale = 1);

// Appends the arc of an "arc" list (centre point, "radius", "startAngle" and "sweepAngle" in
// degrees) as line segments.
void addAngleArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
                 double sizeScale = 1);

// Appends the closed outline through the points of a "poly" list.
void addPoly(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
             double sizeScale = 1);

// Appends the stroke of a "pin" list: from its point, "pinLength" long (300 mil when absent),
// along its own "rotation", then placed; symbol graphics.
void addPinLine(Page& page, const SExpr& pin, const Placement& placement, double sizeScale = 1);

// Appends the text of a "text" list; fields, pins and attributes pass their string as
// `textOverride`, the rest of the list still positions and shapes it. A text flipped on its
// own or by its instance (not both) mirrors its justification left to right; one turned to
// 180 degrees is drawn upright in the same box.
void addText(Page& page, const SExpr& node, std::uint8_t itemClass, const StyleTable& styles,
             const Placement& placement, double rotationOffset,
             const std::optional<std::string>& textOverride, double sizeScale = 1);

namespace detail {
// Double to float as IEEE rounding does it, without the undefined cast of values
// beyond the float range: those become infinities.
float toFloat(double v);
}  // namespace detail

}  // namespace pcad
