// The screen's colours, layers and draw order: pure functions shared by the painter and its tests.
// The SVG side of the P-CAD reader has its own palette and order; these are the screen's.
#pragma once

#include <cstdint>

#include "pcad/page.h"

namespace schematic {

// Layer bit of a P-CAD item class (unknown classes fall on the text layer).
std::uint32_t layerBit(std::uint8_t itemClass);
// Screen draw-order key: the P-CAD reader's order, with large-graphics lines drawn in the group
// of the other classes' lines (lines 0..4 by class, 6 for other classes, open circles 12,
// filled circles 15, texts 20).
int drawOrderKey(const pcad::Page& page, const pcad::Item& item);
// 0xAABBGGRR screen colour of a P-CAD item class in the light or dark theme.
std::uint32_t pcadItemColour(std::uint8_t itemClass, bool dark);
// A SchDoc colour as drawn: unchanged in the light theme; in the dark one a colour whose
// brightest channel is below 110 is lifted so that it becomes 120.
std::uint32_t schDocThemeColour(std::uint32_t colour, bool dark);
// An SBK 0xRRGGBB colour as a 0xAABBGGRR target colour, toned down in the light theme.
std::uint32_t sbkThemeColour(std::uint32_t rgb, bool dark);

}  // namespace schematic
