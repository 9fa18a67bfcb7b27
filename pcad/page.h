// The in-memory model of one P-CAD sheet and the value types that travel with it.
// World coordinates are doubles with y growing upwards, in the file's units.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pcad {

// The class byte of every P-CAD primitive: selects colour, draw order and viewer layer.
enum ItemClass : std::uint8_t {
    ClassFrame = 0,
    ClassSheetGraphics = 1,
    ClassSymbolGraphics = 2,
    ClassBus = 3,
    ClassWire = 4,
    ClassLargeGraphics = 5,
    ClassFreeText = 6,
    ClassAttributeText = 7,
    ClassPinText = 8,
    ClassPortLabel = 9,
    ClassJunction = 10,
    ClassTitleText = 11,
};

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
    std::uint8_t filled = 0;
};

class Text {
public:
    Text();

    double x, y;
    std::string text;
    float height;
    float rotation;
    std::uint8_t justify;
    std::uint8_t itemClass;
    std::uint8_t hasBox;
    std::uint8_t hasExtent;
    double boxX0, boxY0, boxX1, boxY1;
    double extentWidth, extentHeight;
};

struct Item {
    std::uint8_t kind = 0;  // 0 line, 1 circle, 2 text
    std::uint32_t index = 0;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

struct View {
    double width = 0, height = 0;
    double scale = 1;
    double centerX = 0, centerY = 0;

    void toScreen(double x, double y, double& outX, double& outY) const;
    // minX, minY, maxX, maxY of the world area the target shows.
    void visibleRect(double& minX, double& minY, double& maxX, double& maxY) const;
};

struct PaintStats {
    std::uint64_t items = 0, lines = 0, circles = 0, texts = 0;
};

class Page {
public:
    Page();

    std::string name;
    std::int32_t number;
    double width, height;
    double originX, originY;
    std::vector<Line> lines;
    std::vector<Circle> circles;
    std::vector<Text> texts;

    // Derived by buildIndex.
    std::vector<Item> items;
    std::vector<std::vector<std::uint32_t>> cells;
    std::int32_t gridCols, gridRows;
    double gridMinX, gridMinY, gridMaxX, gridMaxY;

    void buildIndex();
    void query(double minX, double minY, double maxX, double maxY,
               const std::function<void(const Item&)>& visit) const;
    void addBusEntries();
};

// World rectangle a text occupies (also its clip box when drawn).
void textBounds(const Text& t, double& minX, double& minY, double& maxX, double& maxY);

}  // namespace pcad
