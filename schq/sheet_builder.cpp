// What every record builder shares: the four primitive makers, each checking its geometry, and the
// reading of a record's points, stroke width and font size.
#include "schq/sheet_builder.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "common/utf8.h"

namespace schq {
namespace {

constexpr double kPointLimit = 10000000.0;
constexpr double kMaxRadius = 100000.0;
constexpr std::size_t kMaxTextBytes = 10000;
constexpr double kMinFontSize = 4;
constexpr double kMaxFontSize = 100;

}  // namespace

double strokeWidthOf(const RecordView& record) {
    switch (getInt(record, "LINEWIDTH", 0)) {
        case 1: return 0.95;
        case 2: return 1.7;
        case 3: return 3.0;
        default: return 0.6;
    }
}

bool isTrue(const RecordView& record, std::string_view key) { return record.find(key) == "T"; }

bool isUsablePoint(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::fabs(p.x) < kPointLimit &&
           std::fabs(p.y) < kPointLimit;
}

Point SheetBuilder::corner(const RecordView& record) const {
    return {getDouble(record, "CORNER.X", 0.0), sheetHeight - getDouble(record, "CORNER.Y", 0.0)};
}

Point SheetBuilder::location(const RecordView& record) const {
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

void SheetBuilder::addText(Point at, std::string text, Layer layer, std::uint32_t colour, double fontSize,
                           TextAnchor anchor, double rotation, double dy) {
    if (text.empty() || text == "*" || text.front() == '=' || text.size() > kMaxTextBytes ||
        !isUsablePoint(at))
        return;
    // The extent is estimated from the code-point count; no font metrics are needed.
    const double n = static_cast<double>(common::codePoints(text));
    const double w = std::min(std::max(0.95 * fontSize * n, fontSize), 20000.0);
    const double h = 1.6 * fontSize;
    const double shift = anchor == End ? -w : anchor == Middle ? -w / 2 : 0.0;

    Primitive p;
    p.kind = Text;
    p.layer = layer;
    p.x = at.x;
    p.y = at.y;
    p.stroke = colour;
    p.text = std::move(text);
    p.fontSize = fontSize;
    p.rotation = rotation;
    p.anchor = anchor;
    p.dy = dy;
    if (std::fmod(std::fabs(rotation), 180.0) > 45) {
        p.minX = at.x - h - 3;
        p.minY = at.y - w - 3;
        p.maxX = at.x + h + 3;
        p.maxY = at.y + w + 3;
    } else {
        p.minX = at.x + shift - 3;
        p.minY = at.y - h - 3;
        p.maxX = at.x + shift + w + 3;
        p.maxY = at.y + h + 3;
    }
    out.push_back(std::move(p));
}

double SheetBuilder::fontSizeOf(const RecordView& record) const {
    const int fontId = getInt(record, "FONTID", 1);
    const int sheetSize = getInt(sheet, ("SIZE" + std::to_string(fontId)).c_str(), 10);
    return std::clamp(sheetSize * 0.81, kMinFontSize, kMaxFontSize);
}

}  // namespace schq
