// One page of an SBK schematic as the viewer shows it: layered polylines and
// texts with counts, bounding box and a uniform grid index; drawing through an
// abstract sink and SVG export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/geometry.h"
namespace sbk {

// A point in document units (y upwards) or, at the sink, in pixels (y downwards).
using common::Point;

using common::Rect;

// Layer values; a layer's bit in a mask is 1 << (layer mod 32).
enum class Layer : std::uint8_t {
    Frame = 0,
    Wires = 1,
    Buses = 2,
    Symbols = 3,
    Terminals = 4,
    FrameText = 5,
    PortLabels = 6,
    Refs = 7,
    Values = 8,
    PinNames = 9,
    PinNumbers = 10,
    Titles = 11,
    Annotations = 12,
};

constexpr std::uint8_t kLayerCount = 13;

// Name of a layer ("unknown" past the table); a static string.
const char* layerName(std::uint8_t layer);
// Colour of a layer, 0xRRGGBB.
std::uint32_t layerColour(std::uint8_t layer);
// Stroke width of the layer's polylines in document units (16, 14 or 5).
int layerStrokeWidth(std::uint8_t layer);

// What the points of a polyline or cell primitive stand for.
enum ShapeCode : std::uint8_t {
    ShapePolyline = 0,  // the points joined in order
    ShapeCurve = 1,     // a quadratic curve: start, control point, end
    ShapeEllipse = 2,   // the ellipse inside the box of two corners
};

struct Polyline {
    std::uint8_t layer = 0;
    std::uint8_t shape = ShapePolyline;  // a ShapeCode
    std::vector<Point> points;
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
    std::int32_t style = 0;
};

struct Text {
    std::uint8_t layer = 0;
    double x = 0;
    double y = 0;
    std::string text;  // UTF-8, never empty
    double height = 0;
    std::uint8_t anchor = 0;  // 1: the text ends at (x, y); else it starts there
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
};

// A text record found in an SBK stream.
struct TextRecord {
    std::size_t offset = 0;
    std::uint32_t kind = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::string text;  // UTF-8, never empty, no trailing whitespace
};

// One geometry primitive of a symbol cell, in cell coordinates.
struct CellPrimitive {
    std::uint8_t shape = ShapePolyline;  // a ShapeCode
    std::vector<Point> points;
    std::uint8_t tag = 0;
};

struct PageStats {
    std::uint32_t headerWord = 0;
    std::uint64_t symbols = 0;
    std::uint64_t wires = 0;
    std::uint64_t terminals = 0;
    std::uint64_t cellNames = 0;
    std::uint64_t cellsLoaded = 0;
    std::uint64_t polylineCount = 0;
    std::uint64_t textCount = 0;
    bool hasFrame = false;
    std::uint64_t pageCount = 1;
    std::uint64_t pageIndex = 0;
};

// A document point (x, y) maps to the pixel (x * scale + offsetX, offsetY - y * scale).
struct View {
    std::int32_t width = 0;
    std::int32_t height = 0;
    double scale = 1;
    double offsetX = 0;
    double offsetY = 0;
};

struct DrawOptions {
    std::uint32_t layerMask = 0xFFFFFFFFu;
    double minTextPx = 0;   // texts lower than this many pixels are skipped
    double minShapePx = 0;  // polylines smaller than this (wires excepted) are skipped
    bool cullToView = true;
};

struct Pen {
    std::uint32_t colour = 0;  // 0xRRGGBB
    float width = 1;           // pixels
};

// Receiver of Document::draw; points are in pixels and valid only during the call. A polyline's
// shape is a ShapeCode with as many points as that shape has, or ShapePolyline.
class DrawSink {
public:
    virtual ~DrawSink() = default;
    virtual void polyline(std::uint8_t shape, const Point* points, std::size_t count, Pen pen) = 0;
    virtual void text(const Point& anchor, const std::string& text, float height, std::uint32_t colour,
                      std::uint8_t anchorMode) = 0;
};

class Document {
public:
    Document();
    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document();

    // Reads page pageIndex (from 0) of the SBK file at the UTF-8 path into doc.
    static void readPage(Document& doc, const std::string& path, std::size_t pageIndex);

    // Appends a polyline (dropped when it has fewer than 2 points).
    void addPolyline(std::uint8_t layer, std::uint8_t shape, std::vector<Point> points, std::int32_t style);
    // Appends a text with its estimated box (dropped when empty).
    void addText(std::uint8_t layer, double x, double y, std::string text, double height,
                 std::uint8_t anchor);
    // Places a cell's primitives at origin, mirrored (bit 2) and turned by
    // quarter turns (bits 0-1) as the orientation says.
    void placeCell(const std::vector<CellPrimitive>& primitives, std::uint8_t layer, Point origin,
                   std::uint32_t orientation);
    void buildIndex();

    // Indices of the polylines on a mask layer whose box meets the rectangle, ascending.
    std::vector<std::uint32_t> query(const Rect& rect, std::uint32_t layerMask) const;

    std::uint64_t pageCount() const;
    Rect bounds() const;
    const PageStats& stats() const;

    const std::vector<Polyline>& polylines() const;
    const std::vector<Text>& texts() const;

    // Sends the visible part of the page, in pixels, to the sink.
    void draw(const View& view, DrawSink& sink, const DrawOptions& options) const;
    // Writes the whole page, layer-filtered, as an SVG file.
    void writeSvg(const std::string& path, std::uint32_t layerMask) const;

private:
    // The page's lists, counts, box and grid index; filled by the page reader.
    struct Record;
    // Reaches the record from the tests.
    friend struct DocumentAccess;

    std::unique_ptr<Record> rec_;
};

// The quadratic curve from `start` to `end` pulled towards `control`, as the 25 points of a
// polyline, for a sink that draws no curves.
std::vector<Point> flattenCurve(const Point& start, const Point& control, const Point& end);

// Creates a document and reads that page of the file into it.
Document loadPage(const std::string& path, std::size_t pageIndex);

// Writes the page as SVG; throws std::runtime_error on failure.
void writePageSvg(const Document& doc, const std::string& path, std::uint32_t layerMask);

// "#" and six lower-case hex digits; the stream's formatting is left as found.
void writeColour(std::ostream& out, std::uint32_t rgb);
// Escapes & < > " ' for XML.
std::string xmlEscape(const std::string& text);

}  // namespace sbk
