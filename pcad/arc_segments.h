// Directions and arcs as the P-CAD readers draw them: arcs as runs of straight segments, finely
// enough for their pages, and directions exact at the quarter turns.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/geometry.h"

namespace pcad {

// The unit vector of an angle in degrees, counter-clockwise from +x (y up); exact at the quarter
// turns, so that pins drawn along the axes stay on them.
inline common::Point unitDirection(double degrees) {
    const double m = std::fmod(degrees, 360.0);
    const double a = m < 0 ? m + 360 : m;
    if (a == 0) return {1, 0};
    if (a == 90) return {0, 1};
    if (a == 180) return {-1, 0};
    if (a == 270) return {0, -1};
    const double t = degrees * std::numbers::pi / 180.0;
    return {std::cos(t), std::sin(t)};
}

// How many segments an arc of this sweep (radians) is drawn with: 18 per radian, at least 8.
inline int arcSegmentCount(double sweep) { return std::max(static_cast<int>(std::fabs(sweep) * 18), 8); }

// Calls segment(a, b) for each piece of the arc that starts at `from` and turns `sweep`
// radians about `centre` (positive: counter-clockwise, y up). The first piece starts at
// `from` exactly; the radius is the distance from the centre to `from`. The sweep must be
// finite: it sets the number of pieces.
template <class Segment>
void forEachArcSegment(common::Point centre, common::Point from, double sweep, Segment&& segment) {
    const double r = std::hypot(from.x - centre.x, from.y - centre.y);
    const double start = std::atan2(from.y - centre.y, from.x - centre.x);
    const int n = arcSegmentCount(sweep);
    common::Point prev = from;
    for (int i = 1; i <= n; ++i) {
        const double a = start + i * sweep / n;
        const common::Point q{centre.x + r * std::cos(a), centre.y + r * std::sin(a)};
        segment(prev, q);
        prev = q;
    }
}

}  // namespace pcad
