// The geometric records of a sheet (polylines, polygons, wires, ellipses, arcs, lines and
// rectangles) and the three primitive makers that every builder uses.
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

constexpr double kPointLimit = 10000000.0;
constexpr double kMaxRadius = 100000.0;
constexpr std::uint32_t kDefaultArea = 0xFFB0F5FC;

}  // namespace

double strokeWidthOf(const PropertyMap& record) {
    switch (getInt(record, "LINEWIDTH", 0)) {
        case 1: return 0.95;
        case 2: return 1.7;
        case 3: return 3.0;
        default: return 0.6;
    }
}

bool isTrue(const PropertyMap& record, std::string_view key) { return record.find(key) == "T"; }

bool isUsablePoint(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) < kPointLimit &&
           std::fabs(p.y) < kPointLimit;
}

std::vector<Point> readVertices(const PropertyMap& record, double sheetHeight) {
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

Point SheetBuilder::location(const PropertyMap& record) const {
    return {getDouble(record, "LOCATION.X", 0.0), sheetHeight - getDouble(record, "LOCATION.Y", 0.0)};
}

void SheetBuilder::addLine(Point a, Point b, Layer layer, std::uint32_t stroke, double strokeWidth) {
    if (!isUsablePoint(a) || !isUsablePoint(b)) return;
    Primitive p;
    p.kind = Line;
    p.layer = layer;
    const double margin = strokeWidth + 1;
    p.minX = std::min(a.x, b.x) - margin;
    p.minY = std::min(a.y, b.y) - margin;
    p.maxX = std::max(a.x, b.x) + margin;
    p.maxY = std::max(a.y, b.y) + margin;
    p.points = {a, b};
    p.stroke = stroke;
    p.strokeWidth = strokeWidth;
    out.push_back(std::move(p));
}

void SheetBuilder::addPath(PrimitiveKind kind, std::vector<Point> points, Layer layer, std::uint32_t stroke,
                           double strokeWidth, std::uint32_t fill) {
    if (points.size() < 2) return;
    double minX = points[0].x, minY = points[0].y, maxX = minX, maxY = minY;
    for (const Point& q : points) {
        if (!isUsablePoint(q)) return;
        minX = std::min(minX, q.x);
        minY = std::min(minY, q.y);
        maxX = std::max(maxX, q.x);
        maxY = std::max(maxY, q.y);
    }
    Primitive p;
    p.kind = kind;
    p.layer = layer;
    const double margin = strokeWidth + 1;
    p.minX = minX - margin;
    p.minY = minY - margin;
    p.maxX = maxX + margin;
    p.maxY = maxY + margin;
    p.points = std::move(points);
    p.stroke = stroke;
    p.strokeWidth = strokeWidth;
    p.fill = fill;
    out.push_back(std::move(p));
}

void SheetBuilder::addEllipse(Point centre, double rx, double ry, std::uint32_t stroke, std::uint32_t fill,
                              Layer layer, double strokeWidth) {
    // The negated tests also refuse NaN radii.
    if (!(rx > 0 && rx <= kMaxRadius) || !(ry > 0 && ry <= kMaxRadius) || !isUsablePoint(centre)) return;
    Primitive p;
    p.kind = rx == ry ? Circle : Ellipse;
    p.layer = layer;
    p.x = centre.x;
    p.y = centre.y;
    p.rx = rx;
    p.ry = ry;
    p.stroke = stroke;
    p.fill = fill;
    p.strokeWidth = strokeWidth;
    const double margin = strokeWidth + 1;
    p.minX = centre.x - rx - margin;
    p.minY = centre.y - ry - margin;
    p.maxX = centre.x + rx + margin;
    p.maxY = centre.y + ry + margin;
    out.push_back(std::move(p));
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

void SheetBuilder::addArc(const PropertyMap& record, bool ellipse, std::uint32_t stroke, double strokeWidth) {
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

Point SheetBuilder::corner(const PropertyMap& record) const {
    return {getDouble(record, "CORNER.X", 0.0), sheetHeight - getDouble(record, "CORNER.Y", 0.0)};
}

void SheetBuilder::addGraphic(const PropertyMap& record, int type, std::uint32_t defaultColour) {
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
