// The in-memory model of one P-CAD sheet and the value types that travel with it.
// World coordinates are doubles with y growing upwards, in the file's units
// (millimetres for binary files, the numbers as written for ASCII files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/geometry.h"
namespace pcad {

// The class byte of every P-CAD primitive: selects colour, draw order and viewer layer.
// Values above 11 are never produced; consumers treat them like their default row.
enum ItemClass : std::uint8_t {
    ClassFrame = 0,          // sheet frame and frame graphics
    ClassSheetGraphics = 1,  // free lines and arcs
    ClassSymbolGraphics = 2,
    ClassBus = 3,
    ClassWire = 4,  // wires, including synthesised bus entries
    ClassLargeGraphics = 5,
    ClassFreeText = 6,
    ClassAttributeText = 7,
    ClassPinText = 8,
    ClassPortLabel = 9,
    ClassJunction = 10,
    ClassTitleText = 11,
};

// Justification codes of pcad::Text::justify (the names the ASCII format uses).
enum Justify : std::uint8_t {
    JustifyLowerLeft = 0,
    JustifyLowerCenter = 1,
    JustifyLowerRight = 2,
    JustifyUpperCenter = 3,
    JustifyLeft = 4,
    JustifyCenter = 5,
    JustifyRight = 6,
    JustifyUpperLeft = 7,
    JustifyUpperRight = 8,
};

// A point in target units (pixels or SVG user units, y down).
using common::Point;

// A world rectangle: minX, minY, maxX, maxY.
using common::Rect;

struct Line {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    float width = 0;
    std::uint8_t itemClass = 0;
};

struct Circle {
    double x = 0, y = 0;
    float diameter = 0;
    float width = 0;
    std::uint8_t itemClass = 0;
    std::uint8_t filled = 0;  // non-zero draws a filled dot
};

class Text {
public:
    Text();

    double x, y;           // anchor point
    std::string text;      // UTF-8; line feeds part lines drawn stacked in the box
    float height;          // glyph height in world units
    float rotation;        // degrees about the anchor
    std::uint8_t justify;  // pcad::Justify code
    std::uint8_t itemClass;
    std::uint8_t hasBox;                // non-zero: box fields are valid
    std::uint8_t hasExtent;             // non-zero: extent fields are valid
    double boxX0, boxY0, boxX1, boxY1;  // corners in any order
    double extentWidth, extentHeight;
};

struct Item {
    std::uint8_t kind = 0;    // 0 line, 1 circle, 2 text
    std::uint32_t index = 0;  // position in the page's lines, circles or texts
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

enum ItemKind : std::uint8_t {
    KindLine = 0,
    KindCircle = 1,
    KindText = 2,
};

struct View {
    double width = 0, height = 0;     // target size
    double scale = 1;                 // target units per world unit
    double centerX = 0, centerY = 0;  // world point at the middle of the target

    // World point to target point (target y grows downwards).
    Point toScreen(double x, double y) const;
    // The world area the target shows; the inverse of toScreen at the target's corners.
    Rect visibleRect() const;
};

// The page of a file that states no size of its own.
struct PageSize {
    double width = 0, height = 0;
};
inline constexpr PageSize kDefaultPageSize{421, 298};

struct PaintStats {
    std::uint64_t items = 0, lines = 0, circles = 0, texts = 0;
};

class Page {
public:
    Page();

    std::string name;
    std::int32_t number;
    double width, height;
    double originX, originY;  // left and bottom edge of the page rectangle
    std::vector<Line> lines;
    std::vector<Circle> circles;
    std::vector<Text> texts;

    // Derived by buildIndex, one per primitive; stale after any later change to the
    // primitives or the rectangle.
    std::vector<Item> items;

    void buildIndex();
    // Calls visit once for every item whose box meets the rectangle (edges inclusive).
    void query(double minX, double minY, double maxX, double maxY,
               const std::function<void(const Item&)>& visit) const;
    // Adds the diagonal strokes joining thin horizontal wires to vertical buses.
    void addBusEntries();

private:
    // Lets the tests look at the grid; defined only by them.
    friend struct PageGridAccess;

    // The uniform grid over the page rectangle, derived by buildIndex with the items. Only the
    // cells that hold items are kept, so that the grid's memory follows what the page holds
    // (an empty page keeps none): their numbers (row-major, row 0 at the bottom) ascending,
    // where each one's list starts in cellItems (one start more ends the last list), and all
    // the lists back to back.
    std::vector<std::uint32_t> cellNumbers;
    std::vector<std::size_t> cellStarts;
    std::vector<std::uint32_t> cellItems;
    // Items that would fill many cells (long diagonals, page-wide boxes), ascending: kept
    // here once instead of in every cell they cover, so that the grid stays small. A
    // query returns them exactly where the cell walk would have met them first.
    std::vector<std::uint32_t> wideItems;
    std::int32_t gridCols, gridRows;
    double gridMinX, gridMinY, gridMaxX, gridMaxY;

    void indexItems();
    void fillCells();
    std::vector<std::pair<std::size_t, std::uint32_t>> wideItemsMet(std::int32_t c0, std::int32_t c1,
                                                                    std::int32_t r0, std::int32_t r1) const;
};

// World rectangle a text occupies (also its clip box when drawn).
Rect textBounds(const Text& t);

}  // namespace pcad
