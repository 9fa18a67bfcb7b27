// Drawing a P-CAD page onto an abstract canvas in a fixed back-to-front order with the
// P-CAD palette of the light or dark theme.
#pragma once

#include <cstdint>

#include "pcad/page.h"

namespace pcad {

// Receiver of paint. Target units with y growing downwards; colours 0xAABBGGRR.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void line(double x1, double y1, double x2, double y2, double strokeWidth,
                      std::uint32_t colour) = 0;
    virtual void circle(double cx, double cy, double radius, double strokeWidth, std::uint32_t colour,
                        bool filled) = 0;
    // left and top equal x0 and y0 of the text's target rectangle.
    virtual void text(double left, double top, const Text& text, const double& x0, const double& y0,
                      const double& x1, const double& y1, std::uint32_t colour) = 0;
};

// Draws every item that the view shows; there is no layer mask here.
PaintStats paint(const Page& page, const View& view, Canvas& canvas, bool dark);

// Smaller keys are drawn first: lines by class, then open and filled circles, then texts.
int drawOrderKey(const Page& page, const Item& item);

// The colour of an item class in the given theme, alpha 0xFF.
std::uint32_t itemColour(std::uint8_t itemClass, bool dark);

}  // namespace pcad
