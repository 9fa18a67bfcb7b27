// The plain geometry values that the readers and the viewer core pass around. What the numbers
// mean (world or pixels, y up or down) is each user's own rule and is said where it is used.
#pragma once

namespace common {

struct Point {
    double x = 0;
    double y = 0;
};

// Bounds by their least and greatest coordinates.
struct Rect {
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
};

// A rectangle from corner (x0, y0) to corner (x1, y1).
struct Box {
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
};

}  // namespace common
