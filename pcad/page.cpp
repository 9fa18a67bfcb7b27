#include "pcad/page.h"

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

}  // namespace pcad
