// The page model's constructors, view mapping and the area a text covers.
#include "pcad/page.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pcad/text_layout.h"

namespace pcad {

Text::Text()
    : x(0),
      y(0),
      height(2.7f),
      rotation(0),
      justify(0),
      itemClass(ClassFreeText),
      hasBox(0),
      hasExtent(0),
      boxX0(0),
      boxY0(0),
      boxX1(0),
      boxY1(0),
      extentWidth(0),
      extentHeight(0) {}

Page::Page()
    : name("Sheet 1"),
      number(1),
      width(kDefaultPageSize.width),
      height(kDefaultPageSize.height),
      originX(0),
      originY(0),
      gridCols(0),
      gridRows(0),
      gridMinX(0),
      gridMinY(0),
      gridMaxX(0),
      gridMaxY(0) {}

Point View::toScreen(double x, double y) const {
    return {(x - centerX) * scale + width * 0.5, (centerY - y) * scale + height * 0.5};
}

Rect View::visibleRect() const {
    Rect r;
    r.minX = (0 - width * 0.5) / scale + centerX;
    r.minY = centerY - (height - height * 0.5) / scale;
    r.maxX = (width - width * 0.5) / scale + centerX;
    r.maxY = centerY - (0 - height * 0.5) / scale;
    return r;
}

Rect textBounds(const Text& t) {
    if (t.hasBox) {
        return {std::min(t.boxX0, t.boxX1), std::min(t.boxY0, t.boxY1), std::max(t.boxX0, t.boxX1),
                std::max(t.boxY0, t.boxY1)};
    }
    double w, h;
    if (t.hasExtent) {
        w = t.extentWidth * 0.8;
        h = t.extentHeight;
    } else {
        // Lines are stacked: as high as all of them, as wide as the longest.
        const TextLines lines = measureLines(t.text);
        h = t.height * static_cast<double>(lines.count);
        w = std::max(static_cast<double>(lines.longestBytes) * t.height * 0.33, 0.4);
    }
    const double fx = justifyX(t.justify), fy = justifyY(t.justify);
    const double theta = t.rotation * std::numbers::pi / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const double dxs[2] = {-fx * w, (1 - fx) * w};
    const double dys[2] = {-fy * h, (1 - fy) * h};
    Rect r{1e100, 1e100, -1e100, -1e100};
    for (double dx : dxs) {
        for (double dy : dys) {
            const double px = t.x + dx * c - dy * s;
            const double py = t.y + dx * s + dy * c;
            // Written as comparisons so that a NaN corner leaves the box empty.
            if (px < r.minX) r.minX = px;
            if (py < r.minY) r.minY = py;
            if (px > r.maxX) r.maxX = px;
            if (py > r.maxY) r.maxY = py;
        }
    }
    return r;
}

}  // namespace pcad
