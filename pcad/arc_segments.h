// Arcs drawn as runs of straight segments, finely enough for the P-CAD readers' pages.
#pragma once

#include <algorithm>
#include <cmath>

#include "common/geometry.h"

namespace pcad {

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
