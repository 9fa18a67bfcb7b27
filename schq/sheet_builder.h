// Turns the records of a SchDoc sheet into drawing primitives. Used by the reader for the length
// of one read; every maker checks the geometry and appends at most one primitive. The makers and
// readings that all records share are in sheet_builder.cpp, the records of each kind in a file of
// their own (graphics, pins_texts, power_ports, text_frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schq/document.h"
#include "schq/records.h"

namespace schq {

// The "RECORD" values that the reader counts or draws.
enum RecordType : std::int32_t {
    kComponentRecord = 1,
    kPinRecord = 2,
    kLabelRecord = 4,
    kPolylineRecord = 6,
    kPolygonRecord = 7,
    kEllipseRecord = 8,
    kEllipticalArcRecord = 11,
    kArcRecord = 12,
    kLineRecord = 13,
    kRectangleRecord = 14,
    kPowerPortRecord = 17,
    kNetLabelRecord = 25,
    kWireRecord = 27,
    kTextFrameRecord = 28,
    kJunctionRecord = 29,
    kSheetRecord = 31,
    kSheetNameRecord = 32,
    kSheetFileNameRecord = 33,
    kDesignatorRecord = 34,
    kParameterRecord = 41,
};

// The records drawn as text, one primitive per line.
constexpr bool isTextRecord(std::int32_t type) {
    return type == kLabelRecord || type == kNetLabelRecord || type == kTextFrameRecord ||
           type == kSheetNameRecord || type == kSheetFileNameRecord || type == kDesignatorRecord ||
           type == kParameterRecord;
}

// "PINCONGLOMERATE": the pin's direction in the low two bits, and whether its name and its number
// are shown.
constexpr int kPinDirectionMask = 3;
constexpr int kPinShowsName = 8;
constexpr int kPinShowsNumber = 16;
// "PINCONGLOMERATE" bit of a hidden pin, which draws nothing.
constexpr int kPinHidden = 4;

constexpr std::uint32_t kNoFill = 0x00FFFFFF;
// Vertices read of one vertex list at most.
constexpr int kMaxVertices = 5000;
constexpr int kMaxTextLines = 30;
// The lines of a text, in font sizes apart.
constexpr double kLineSpacing = 1.18;
// Text dy (in font heights) that brings the anchor to about the middle and the top of the letters.
constexpr double kMiddleDy = 0.32;
constexpr double kTopDy = 0.72;
constexpr double kMaxPinLength = 10000.0;
// One unit in each of the four directions that a pin's or a power port's orientation names, on the
// sheet (y grows downwards): right, up, left, down.
inline constexpr Point kDirectionSteps[4] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
// The colour of a text or power port whose "COLOR" is left out: the format leaves zero values out.
constexpr std::uint32_t kBlack = 0xFF000000;

// The primitives that a power port of this "STYLE" draws besides its net name.
std::size_t powerPortShapes(int style);
// The stroke width of a graphic record by its "LINEWIDTH".
double strokeWidthOf(const RecordView& record);

// The key's value is exactly "T".
bool isTrue(const RecordView& record, std::string_view key);

// Calls line(k, text) for each non-empty line among the first 30 lines of a text record's text:
// "~1", a backslash followed by n, and a line feed each end a line.
template <typename Line>
void forEachTextLine(std::string_view text, Line&& line) {
    std::size_t begin = 0;
    std::size_t i = 0;
    int k = 0;
    while (k < kMaxTextLines) {
        std::size_t breakLength = 0;
        if (i == text.size())
            breakLength = 0;
        else if (text[i] == '\n')
            breakLength = 1;
        else if (i + 1 < text.size() &&
                 ((text[i] == '~' && text[i + 1] == '1') || (text[i] == '\\' && text[i + 1] == 'n')))
            breakLength = 2;
        else {
            ++i;
            continue;
        }
        if (i > begin) line(k, text.substr(begin, i - begin));
        if (i == text.size()) return;
        ++k;
        i += breakLength;
        begin = i;
    }
}

// Both coordinates finite and below 10,000,000 in absolute value.
bool isUsablePoint(const Point& p);

// The record's vertices (X1, Y1), (X2, Y2), ... as sheet points; a missing vertex is (0, sheetHeight).
std::vector<Point> readVertices(const RecordView& record, double sheetHeight);

// The cosines (x) and sines (y) of the points of an arc's flattening, kept for the next arc: the
// arcs of a symbol repeat on every copy of it, and so do their angles.
struct ArcTurns {
    std::uint64_t start = 0;  // bits of the start angle and the sweep
    std::uint64_t sweep = 0;
    int segments = 0;
    std::vector<Point> turns;

    const std::vector<Point>& of(double start, double sweep, int segments);
};

struct SheetBuilder {
    double sheetHeight = 0;       // every file y becomes sheetHeight - y
    const PropertyMap& sheet;     // the sheet record's font sizes (SIZE1, SIZE2, ...)
    std::vector<Primitive>& out;  // the document's primitives
    ArcTurns arcTurns{};

    void addLine(Point a, Point b, Layer layer, std::uint32_t stroke, double strokeWidth);
    // kind is Polyline, Polygon or Rectangle (the first two points being opposite corners).
    void addPath(PrimitiveKind kind, std::vector<Point> points, Layer layer, std::uint32_t stroke,
                 double strokeWidth, std::uint32_t fill);
    void addEllipse(Point centre, double rx, double ry, std::uint32_t stroke, std::uint32_t fill, Layer layer,
                    double strokeWidth);
    // Records 6, 7, 8, 11, 12, 13, 14 and 27.
    void addGraphic(const RecordView& record, int type, std::uint32_t defaultColour);
    // An ellipse, or an arc flattened to a polyline; `ellipse` fills a solid whole one.
    void addArc(const RecordView& record, bool ellipse, std::uint32_t stroke, double strokeWidth);

    void addText(Point at, std::string text, Layer layer, std::uint32_t colour, double fontSize,
                 TextAnchor anchor, double rotation, double dy);
    // One text primitive per line; an empty `text` means the record's own "TEXT".
    void addTextRecord(const RecordView& record, Layer layer, std::string text);
    void addPin(const RecordView& record);
    void addPowerPort(const RecordView& record);
    // Record 28: an optional filled or bordered box and its text laid out inside it.
    void addTextFrame(const RecordView& record);
    // The font size of a text record by its "FONTID" and the sheet's sizes.
    double fontSizeOf(const RecordView& record) const;

    // The record's location point and its corner (CORNER.X, CORNER.Y) in sheet coordinates.
    Point location(const RecordView& record) const;
    Point corner(const RecordView& record) const;
};

}  // namespace schq
