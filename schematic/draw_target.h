// The pixel-space drawing surface that the viewer core paints a page on. Coordinates have already
// been transformed to pixels (x to the right, y downwards); the surface knows nothing of formats,
// layers or themes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/geometry.h"
namespace schematic {

// 0xAABBGGRR: the low 24 bits are red, green and blue from the low byte up (a Windows COLORREF).
// Strokes and texts ignore the alpha byte; a fill whose alpha byte is 0 is not drawn.
using Colour = std::uint32_t;

// Where a fill's alpha byte starts: any fill below this draws nothing.
inline constexpr Colour kOpaqueAlpha = 0x01000000u;

inline constexpr bool hasFill(Colour fill) { return fill >= kOpaqueAlpha; }

using common::Point;

// Top-left (x0, y0) to bottom-right (x1, y1); drawn only when x0 < x1 and y0 < y1.
using common::Box;

enum TextAlign : std::int32_t {
    AlignLeft = 0,
    AlignCentre = 1,
    AlignRight = 2,
};

struct TextStyle {
    // Which point of the baseline lies on the anchor: 0 left, 1 centre, 2 right.
    std::int32_t align = AlignLeft;
    double height = 0;
    // Degrees, clockwise as seen on the screen.
    double angle = 0;
    // The baseline is drawn at anchor y + height * baseline.
    double baseline = 0;
    // When positive the text is fitted into the box whose bottom-left corner is the anchor,
    // this wide and `height` high.
    double boxWidth = 0;
};

// Rules every implementation keeps: fewer than 2 points, an empty box, an empty text or a text
// below 3 pixels draw nothing; widths round to whole pixels, at least 1; a fitted text that
// cannot be fitted is drawn as an ordinary text. Nothing reports failure and no pointer is kept.
class DrawTarget {
public:
    virtual ~DrawTarget() = default;

    virtual void polyline(const Point* points, std::size_t count, double width, Colour stroke, bool closed,
                          Colour fill) = 0;
    virtual void ellipse(const Box& box, double width, Colour stroke, Colour fill) = 0;
    virtual void text(const Point& anchor, const std::string& text, const TextStyle& style,
                      Colour colour) = 0;

protected:
    DrawTarget() = default;
    DrawTarget(const DrawTarget&) = default;
    DrawTarget& operator=(const DrawTarget&) = default;
};

}  // namespace schematic
