// The screen's colours, layer bits and draw order of the P-CAD item classes, and the theme
// colours of SchDoc and SBK.
#include "schematic/palette.h"

#include <algorithm>

#include "pcad/paint.h"

namespace schematic {

namespace {

struct ClassRow {
    std::uint32_t bit;
    std::uint32_t light;
    std::uint32_t dark;
};

// Classes 0..11; every other class takes the text row.
constexpr ClassRow kRows[12] = {
    {1, 0xFF6E6964u, 0xFF7E746Eu},  {2, 0xFF141414u, 0xFFECE6E0u},  {4, 0xFF2C2C2Cu, 0xFFC3B8AEu},
    {16, 0xFF9A2F28u, 0xFFF57650u}, {8, 0xFF1D8309u, 0xFF36E123u},  {2, 0xFF908108u, 0xFFDDC512u},
    {32, 0xFF141414u, 0xFFECE6E0u}, {32, 0xFF695100u, 0xFFF5D769u}, {32, 0xFF141414u, 0xFFECE6E0u},
    {32, 0xFF695100u, 0xFFF5D769u}, {4, 0xFF1D8309u, 0xFF36E123u},  {1, 0xFF323232u, 0xFFDEDAD6u},
};
constexpr ClassRow kOther = {32, 0xFF141414u, 0xFFECE6E0u};

const ClassRow& rowOf(std::uint8_t itemClass) { return itemClass < 12 ? kRows[itemClass] : kOther; }

}  // namespace

std::uint32_t layerBit(std::uint8_t itemClass) { return rowOf(itemClass).bit; }

int drawOrderKey(const pcad::Page& page, const pcad::Item& item) {
    // The screen draws large graphics among the other lines rather than before them.
    const int key = pcad::drawOrderKey(page, item);
    return key == pcad::ClassLargeGraphics ? 6 : key;
}

std::uint32_t pcadItemColour(std::uint8_t itemClass, bool dark) {
    return dark ? rowOf(itemClass).dark : rowOf(itemClass).light;
}

std::uint32_t schDocThemeColour(std::uint32_t colour, bool dark) {
    if (!dark) return colour;
    const std::uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    const std::uint32_t m = std::max({r, g, b});
    if (m >= 110) return colour;
    const auto lift = [m](std::uint32_t v) { return std::min<std::uint32_t>(v + 120 - m, 255); };
    return (colour & 0xFF000000u) | lift(b) << 16 | lift(g) << 8 | lift(r);
}

std::uint32_t sbkThemeColour(std::uint32_t rgb, bool dark) {
    std::uint32_t r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    if (!dark) {
        r = (2 * r + 30) / 3;
        g = (2 * g + 30) / 3;
        b = (2 * b + 30) / 3;
    }
    return 0xFF000000u | b << 16 | g << 8 | r;
}

}  // namespace schematic
