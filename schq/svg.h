// Writes a SchDoc sheet as an SVG document (sheet units as user units, y downwards).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/svg.h"
#include "schq/document.h"

namespace schq {

// The whole sheet with the options' layers; small texts are never culled here.
std::string exportSvg(const Document& document, const RenderOptions& options);

// The primitives that the document's query finds in `area`, one group per layer.
std::string writeSvg(const Document& document, const Rect& area, const RenderOptions& options);

// 0xAABBGGRR as "#rrggbb" in lower case; alpha is ignored.
using common::svgColour;

// Fixed point with at most three decimals, trailing zeros dropped; "0" for -0 and non-finite values.
std::string formatNumber(double value);

// Text content: markup characters escaped, control characters other than tab and line feed
// dropped, and invalid UTF-8 (or characters that XML cannot hold) replaced by U+FFFD.
std::string xmlEscape(std::string_view text);

}  // namespace schq
