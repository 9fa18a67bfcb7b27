// One Altium/Protel schematic sheet held as a flat list of layered drawing primitives with a
// uniform grid index. Coordinates are the file's own units, x to the right and y downwards.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/geometry.h"
namespace schq {

using common::Point;

// A valid rectangle has x0 <= x1 and y0 <= y1.
using Rect = common::Box;

// Plain (unscoped) enumerations on purpose: the values double as bit numbers and table indices
// for the painter and the SVG writer.
enum PrimitiveKind : std::uint8_t {
    Polyline = 0,
    Polygon = 1,
    Rectangle = 2,  // spanned by points[0] and points[1]
    Ellipse = 3,
    Line = 4,
    Circle = 5,
    Text = 6,
};

// The value is also the number of the layer's bit in a layer mask.
enum Layer : std::uint8_t {
    Graphics = 0,
    Wires = 1,
    Pins = 2,
    PinNames = 3,
    Labels = 4,
};

enum TextAnchor : std::uint8_t {
    Start = 0,
    Middle = 1,
    End = 2,
};

// Colours are 0xAABBGGRR; a fill whose alpha byte is 0 is not drawn.
struct Primitive {
    PrimitiveKind kind = Polyline;
    Layer layer = Graphics;
    TextAnchor anchor = Start;  // of a text; beside the other small fields to keep the struct short
    // Bounding box for the index and the query, margin included.
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;
    std::vector<Point> points;
    double x = 0;  // centre of an ellipse or circle, anchor point of a text
    double y = 0;
    double rx = 0;
    double ry = 0;
    double strokeWidth = 0.7;
    std::uint32_t stroke = 0xFF362D25;
    std::uint32_t fill = 0x00FFFFFF;
    std::string text;
    double fontSize = 8;
    double rotation = 0;  // degrees, clockwise positive on the y-down sheet
    double dy = 0;        // vertical shift of a text in font heights, downwards positive
};

struct DocumentStats {
    std::uint64_t records = 0;
    std::uint64_t components = 0;
    std::uint64_t pins = 0;
    std::uint64_t wires = 0;
    std::uint64_t junctions = 0;
    std::uint64_t netLabels = 0;
    std::uint64_t primitives = 0;
    std::uint64_t texts = 0;
};

struct RenderOptions {
    std::uint32_t layerMask = 0x1F;
    bool cullSmallText = false;
    double scale = 1.0;  // pixels per document unit, used only for culling
};

class Document {
public:
    Document();
    ~Document();
    Document(Document&& other) noexcept;
    Document& operator=(Document&& other) noexcept;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    double width() const;
    double height() const;
    const std::vector<Primitive>& primitives() const;
    const DocumentStats& stats() const;

    // Indices of the primitives that meet `area` and pass the options, ascending (draw order).
    std::vector<std::uint32_t> query(const Rect& area, const RenderOptions& options) const;

    // Builds the grid index and the primitive and text counters; called once, after the
    // primitives are complete and sorted by layer.
    void buildIndex();

    struct State;

private:
    friend struct DocumentAccess;
    std::unique_ptr<State> state_;
};

}  // namespace schq
