// The geometric records of a sheet: polylines, polygons, wires, ellipses, arcs, lines and
// rectangles.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "schq/sheet_builder.h"

namespace schq {
namespace {

constexpr std::uint32_t kDefaultArea = 0xFFB0F5FC;

}  // namespace

std::vector<Point> readVertices(const RecordView& record, double sheetHeight) {
    const int n = std::clamp(getInt(record, "LOCATIONCOUNT", 0), 0, kMaxVertices);
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(n));
    // Keys X1, Y1, X2, ... built in place: up to 5000 vertices per record.
    char xKey[16] = "X";
    char yKey[16] = "Y";
    for (int k = 1; k <= n; ++k) {
        char* end = std::to_chars(xKey + 1, xKey + sizeof xKey - 1, k).ptr;
        *end = '\0';
        std::copy(xKey + 1, end + 1, yKey + 1);
        points.push_back({getDouble(record, xKey, 0.0), sheetHeight - getDouble(record, yKey, 0.0)});
    }
    return points;
}

const std::vector<Point>& ArcTurns::of(double startAngle, double sweepAngle, int n) {
    const auto startBits = std::bit_cast<std::uint64_t>(startAngle);
    const auto sweepBits = std::bit_cast<std::uint64_t>(sweepAngle);
    if (turns.empty() || startBits != start || sweepBits != sweep || n != segments) {
        start = startBits;
        sweep = sweepBits;
        segments = n;
        turns.clear();
        for (int i = 0; i <= n; ++i) {
            const double a = (i * sweepAngle / n + startAngle) * std::numbers::pi / 180.0;
            turns.push_back({std::cos(a), std::sin(a)});
        }
    }
    return turns;
}

void SheetBuilder::addArc(const RecordView& record, bool ellipse, std::uint32_t stroke, double strokeWidth) {
    const Point c = location(record);
    const double rx = getDouble(record, "RADIUS", 0.0);
    double ry = getDouble(record, "SECONDARYRADIUS", rx);
    if (ry == 0) ry = rx;
    if (rx <= 0 || ry <= 0) return;
    const double start = getDouble(record, "STARTANGLE", 0.0);
    const double end = getDouble(record, "ENDANGLE", 360.0);
    const double sweep = std::fmod(end - start + 360000.0, 360.0);
    if (std::fabs(end - start) >= 359.99 || sweep < 0.0001) {
        const std::uint32_t fill =
            ellipse && isTrue(record, "ISSOLID") ? getColour(record, "AREACOLOR", kDefaultArea) : kNoFill;
        addEllipse(c, rx, ry, stroke, fill, Graphics, strokeWidth);
        return;
    }
    // Flattened at one point per 5 degrees of sweep, at least 4 and at most 144 segments.
    const int n = static_cast<int>(std::clamp(std::ceil(sweep / 5.0), 4.0, 144.0));
    const std::vector<Point>& turns = arcTurns.of(start, sweep, n);
    std::vector<Point> points;
    points.reserve(turns.size());
    for (const Point& t : turns) points.push_back({c.x + t.x * rx, c.y - t.y * ry});
    addPath(Polyline, std::move(points), Graphics, stroke, strokeWidth, kNoFill);
}

void SheetBuilder::addGraphic(const RecordView& record, int type, std::uint32_t defaultColour) {
    const std::uint32_t stroke = getColour(record, "COLOR", defaultColour);
    const double width = strokeWidthOf(record);
    switch (type) {
        case kPolylineRecord:
            addPath(Polyline, readVertices(record, sheetHeight), Graphics, stroke, width, kNoFill);
            return;
        case kPolygonRecord: {
            const std::uint32_t fill =
                isTrue(record, "ISSOLID") ? getColour(record, "AREACOLOR", stroke) : kNoFill;
            addPath(Polygon, readVertices(record, sheetHeight), Graphics, stroke, width, fill);
            return;
        }
        case kWireRecord:
            addPath(Polyline, readVertices(record, sheetHeight), Wires, stroke, width, kNoFill);
            return;
        case kEllipseRecord:
        case kEllipticalArcRecord:
        case kArcRecord: addArc(record, type == kEllipseRecord, stroke, width); return;
        case kLineRecord: addLine(location(record), corner(record), Graphics, stroke, width); return;
        case kRectangleRecord: {
            const std::uint32_t fill = isTrue(record, "ISSOLID") && !isTrue(record, "TRANSPARENT")
                                           ? getColour(record, "AREACOLOR", kDefaultArea)
                                           : kNoFill;
            addPath(Rectangle, {location(record), corner(record)}, Graphics, stroke, width, fill);
            return;
        }
        default: return;
    }
}

}  // namespace schq
