// Turns the property records of a SchDoc sheet into drawing primitives. Used by the reader for
// the length of one read; every maker checks the geometry and appends at most one primitive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "schq/document.h"
#include "schq/records.h"

namespace schq {

// Both coordinates finite and below 10,000,000 in absolute value.
bool isUsablePoint(const Point& p);

// The record's vertices (X1, Y1), (X2, Y2), ... as sheet points; a missing vertex is (0, sheetHeight).
std::vector<Point> readVertices(const PropertyMap& record, double sheetHeight);

struct SheetBuilder {
    double sheetHeight = 0;       // every file y becomes sheetHeight - y
    const PropertyMap& sheet;     // the sheet record's font sizes (SIZE1, SIZE2, ...)
    std::vector<Primitive>& out;  // the document's primitives

    void addLine(Point a, Point b, Layer layer, std::uint32_t stroke, double strokeWidth);
    // kind is Polyline, Polygon or Rectangle (the first two points being opposite corners).
    void addPath(PrimitiveKind kind, std::vector<Point> points, Layer layer, std::uint32_t stroke,
                 double strokeWidth, std::uint32_t fill);
    void addEllipse(Point centre, double rx, double ry, std::uint32_t stroke, std::uint32_t fill, Layer layer,
                    double strokeWidth);
    // Records 6, 7, 8, 11, 12, 13, 14 and 27.
    void addGraphic(const PropertyMap& record, int type, std::uint32_t defaultColour);

    void addText(Point at, std::string text, Layer layer, std::uint32_t colour, double fontSize,
                 TextAnchor anchor, double rotation, double dy);
    // One text primitive per line; an empty `text` means the record's own "TEXT".
    void addTextRecord(const PropertyMap& record, Layer layer, std::string text);
    void addPin(const PropertyMap& record);
    void addPowerPort(const PropertyMap& record);

    // The record's location point in sheet coordinates.
    Point location(const PropertyMap& record) const;
};

}  // namespace schq
