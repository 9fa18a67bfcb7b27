// Records whose look the file does not spell out as geometry: pins, power ports and texts.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "schq/sheet_builder.h"

namespace schq {
namespace {

constexpr std::uint32_t kPinColour = 0xFF433730;
constexpr double kPinStroke = 0.56;
constexpr double kOuterEdgeRadius = 2.5;
constexpr std::uint32_t kPinNameColour = 0xFF443024;
constexpr double kPinNameSize = 6.7;
constexpr std::uint32_t kPinNumberColour = 0xFF70615A;
constexpr double kPinNumberSize = 5.8;

constexpr std::uint32_t kPowerColour = 0xFF202080;
constexpr double kPowerStroke = 0.8;
constexpr double kPowerNameSize = 7.8;

constexpr std::uint32_t kTextColour = 0xFF6B2313;
constexpr std::size_t kMaxTextBytes = 10000;
constexpr double kLineSpacing = 1.18;

// dy that puts the baseline a little below the anchor, for pins and power ports.
constexpr double kLabelDy = 0.25;

struct PortRow {
    Point stubEnd;
    std::vector<Point> shape;  // empty: the stub alone
    Point textAt;
    TextAnchor anchor;
};

PortRow powerPortRow(int style, int o, double x, double y) {
    if (style == kChevronPortStyle) {
        // Open chevron pointing away from the port: right, up, left, down.
        switch (o) {
            case 0:
                return {{x + 7, y}, {{x + 7, y - 3}, {x + 12, y}, {x + 7, y + 3}}, {x + 15, y - 8}, Start};
            case 1: return {{x, y - 8}, {{x - 3, y - 8}, {x, y - 13}, {x + 3, y - 8}}, {x, y - 16}, Middle};
            case 2: return {{x - 7, y}, {{x - 7, y - 3}, {x - 12, y}, {x - 7, y + 3}}, {x - 18, y - 8}, End};
            default: return {{x, y + 8}, {{x - 3, y + 8}, {x, y + 13}, {x + 3, y + 8}}, {x, y + 23}, Middle};
        }
    }
    if (style == kTrianglePortStyle) {
        // Closed triangle after a 5-unit stub: down, left, up, right.
        switch (o) {
            case 0:
                return {{x, y + 5},
                        {{x - 5, y + 5}, {x + 5, y + 5}, {x, y + 12}, {x - 5, y + 5}},
                        {x + 10, y + 5},
                        Start};
            case 1:
                return {{x - 5, y},
                        {{x - 5, y - 5}, {x - 5, y + 5}, {x - 12, y}, {x - 5, y - 5}},
                        {x - 9, y - 8},
                        End};
            case 2:
                return {{x, y - 5},
                        {{x - 5, y - 5}, {x + 5, y - 5}, {x, y - 12}, {x - 5, y - 5}},
                        {x + 8, y - 4},
                        Start};
            default:
                return {{x + 5, y},
                        {{x + 5, y - 5}, {x + 5, y + 5}, {x + 12, y}, {x + 5, y - 5}},
                        {x + 13, y - 6},
                        Start};
        }
    }
    return {{x, y - 7}, {}, {x + 6, y - 9}, Start};
}

}  // namespace

void SheetBuilder::addText(Point at, std::string text, Layer layer, std::uint32_t colour, double fontSize,
                           TextAnchor anchor, double rotation, double dy) {
    if (text.empty() || text == "*" || text.front() == '=' || text.size() > kMaxTextBytes ||
        !isUsablePoint(at))
        return;
    // The extent is estimated from the code-point count; no font metrics are needed.
    std::size_t codePoints = 0;
    for (const char ch : text)
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++codePoints;
    const double w = std::min(std::max(0.95 * fontSize * static_cast<double>(codePoints), fontSize), 20000.0);
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

void SheetBuilder::addTextRecord(const PropertyMap& record, Layer layer, std::string text) {
    const std::string_view source = text.empty() ? record.find("TEXT").value_or("") : std::string_view(text);
    if (source.empty()) return;

    const Point at = location(record);
    const int fontId = getInt(record, "FONTID", 1);
    const int sheetSize = getInt(sheet, ("SIZE" + std::to_string(fontId)).c_str(), 10);
    const double size = std::clamp(sheetSize * 0.81, 4.0, 20.0);

    const int j = getInt(record, "JUSTIFICATION", 0);
    const int column = j % 3;
    const TextAnchor anchor = column == 1 ? Middle : column == 2 ? End : Start;
    const double dy = j <= 2 ? 0.0 : j <= 5 ? 0.32 : 0.72;

    const std::uint32_t colour = getColour(record, "COLOR", kTextColour);
    // In integers, so that orientation 0 gives 0 and not -0.
    const double rotation = -90 * (getInt(record, "ORIENTATION", 0) % 4);

    // Lines stack downwards on the sheet whatever the rotation; empty lines keep their place.
    forEachTextLine(source, [&](int k, std::string_view line) {
        addText({at.x, at.y + size * kLineSpacing * k}, std::string(line), layer, colour, size, anchor,
                rotation, dy);
    });
}

void SheetBuilder::addPin(const PropertyMap& record) {
    const int conglomerate = getInt(record, "PINCONGLOMERATE", 0);
    const int direction = conglomerate & kPinDirectionMask;
    static constexpr Point kSteps[4] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
    const Point d = kSteps[direction];
    const double len = getDouble(record, "PINLENGTH", 10.0);
    if (len < 0 || len > kMaxPinLength) return;
    const Point p = location(record);

    addLine(p, {p.x + len * d.x, p.y + len * d.y}, Pins, kPinColour, kPinStroke);
    if (record.find("SYMBOL_OUTEREDGE") == "1")
        addEllipse(p, kOuterEdgeRadius, kOuterEdgeRadius, kPinColour, 0xFFFFFFFF, Pins, 0.7);

    if (conglomerate & kPinShowsName) {
        std::string name = getString(record, "NAME", "");
        if (!name.empty()) {
            // The name sits inside the symbol, 4 units from the pin's base point.
            const TextAnchor anchor = direction == 0 ? End : direction == 2 ? Start : Middle;
            addText({p.x - 4 * d.x, p.y - 4 * d.y + 2.1}, std::move(name), PinNames, kPinNameColour,
                    kPinNameSize, anchor, 0, kLabelDy);
        }
    }
    if (conglomerate & kPinShowsNumber) {
        std::string number = getString(record, "DESIGNATOR", "");
        if (!number.empty()) {
            // The number sits beside the pin line, near its middle.
            if (direction == 0 || direction == 2)
                addText({p.x + 0.45 * len * d.x, p.y - 2}, std::move(number), PinNames, kPinNumberColour,
                        kPinNumberSize, Middle, 0, kLabelDy);
            else
                addText({p.x + 3, p.y + 0.45 * len * d.y}, std::move(number), PinNames, kPinNumberColour,
                        kPinNumberSize, Start, 0, kLabelDy);
        }
    }
}

void SheetBuilder::addPowerPort(const PropertyMap& record) {
    const std::uint32_t colour = getColour(record, "COLOR", kPowerColour);
    const int style = getInt(record, "STYLE", 0);
    int o = getInt(record, "ORIENTATION", 0) % 4;
    if (o < 0 || o > 2) o = 3;
    const Point p = location(record);
    PortRow row = powerPortRow(style, o, p.x, p.y);

    addLine(p, row.stubEnd, Labels, colour, kPowerStroke);
    if (!row.shape.empty()) addPath(Polyline, std::move(row.shape), Labels, colour, kPowerStroke, kNoFill);
    if (record.find("SHOWNETNAME") != "F")
        addText(row.textAt, getString(record, "TEXT", ""), Labels, colour, kPowerNameSize, row.anchor, 0,
                kLabelDy);
}

}  // namespace schq
