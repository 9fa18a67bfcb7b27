// Records whose look the file does not spell out as geometry: pins and texts.
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

// dy that puts the baseline a little below the anchor, for pins.
constexpr double kLabelDy = 0.25;

}  // namespace

void SheetBuilder::addTextRecord(const RecordView& record, Layer layer, std::string text) {
    const std::string_view source = text.empty() ? record.find("TEXT").value_or("") : std::string_view(text);
    if (source.empty()) return;

    const Point at = location(record);
    const double size = fontSizeOf(record);

    const int j = getInt(record, "JUSTIFICATION", 0);
    const int column = j % 3;
    TextAnchor anchor = column == 1 ? Middle : column == 2 ? End : Start;
    double dy = j <= 2 ? 0.0 : j <= 5 ? kMiddleDy : kTopDy;

    const std::uint32_t colour = getColour(record, "COLOR", kBlack);
    const int orientation = getInt(record, "ORIENTATION", 0) % 4;
    // In integers, so that orientation 0 gives 0 and not -0.
    double rotation = -90 * orientation;
    if (orientation >= 2) {
        // Texts are never drawn upside down or reading downwards: a text turned half-way round
        // reads as one of orientation 0 or 1 with its justification mirrored.
        rotation = orientation == 2 ? 0 : -90;
        anchor = anchor == Start ? End : anchor == End ? Start : Middle;
        if (dy != kMiddleDy) dy = dy == 0 ? kTopDy : 0.0;
    }

    // Lines stack downwards on the sheet whatever the rotation; empty lines keep their place.
    forEachTextLine(source, [&](int k, std::string_view line) {
        addText({at.x, at.y + size * kLineSpacing * k}, std::string(line), layer, colour, size, anchor,
                rotation, dy);
    });
}

void SheetBuilder::addPin(const RecordView& record) {
    const int conglomerate = getInt(record, "PINCONGLOMERATE", 0);
    if (conglomerate & kPinHidden) return;
    const int direction = conglomerate & kPinDirectionMask;
    const Point d = kDirectionSteps[direction];
    // The format leaves a zero length out.
    const double len = getDouble(record, "PINLENGTH", 0.0);
    if (len < 0 || len > kMaxPinLength) return;
    const Point p = location(record);
    const bool vertical = direction == 1 || direction == 3;

    if (len > 0) addLine(p, {p.x + len * d.x, p.y + len * d.y}, Pins, kPinColour, kPinStroke);
    // The bubble sits outside the body, touching it at the base point.
    if (record.find("SYMBOL_OUTEREDGE") == "1")
        addEllipse({p.x + kOuterEdgeRadius * d.x, p.y + kOuterEdgeRadius * d.y}, kOuterEdgeRadius,
                   kOuterEdgeRadius, kPinColour, 0xFFFFFFFF, Pins, 0.7);

    if (conglomerate & kPinShowsName) {
        std::string name = getString(record, "NAME", "");
        if (!name.empty()) {
            // The name sits inside the symbol, 4 units from the pin's base point; names of
            // vertical pins read upwards so that a row of them does not overprint.
            if (vertical)
                addText({p.x + 2.1, p.y - 4 * d.y}, std::move(name), PinNames, kPinNameColour, kPinNameSize,
                        direction == 1 ? End : Start, -90, kLabelDy);
            else
                addText({p.x - 4 * d.x, p.y + 2.1}, std::move(name), PinNames, kPinNameColour, kPinNameSize,
                        direction == 0 ? End : Start, 0, kLabelDy);
        }
    }
    if (conglomerate & kPinShowsNumber) {
        std::string number = getString(record, "DESIGNATOR", "");
        if (!number.empty()) {
            // The number sits beside the pin line, near its middle.
            if (vertical)
                addText({p.x - 2, p.y + 0.45 * len * d.y}, std::move(number), PinNames, kPinNumberColour,
                        kPinNumberSize, Middle, -90, kLabelDy);
            else
                addText({p.x + 0.45 * len * d.x, p.y - 2}, std::move(number), PinNames, kPinNumberColour,
                        kPinNumberSize, Middle, 0, kLabelDy);
        }
    }
}

}  // namespace schq
