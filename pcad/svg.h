// Writing one P-CAD page as a standalone SVG document.
#pragma once

#include <cstdint>
#include <string>

#include "common/svg.h"
#include "pcad/page.h"

namespace pcad {

// The whole page with a margin of 4 world units, at scale (clamped to 0.2 .. 40) target
// units per world unit, on a light or dark background.
std::string renderSvg(const Page& page, double scale, bool dark);

// Writes renderSvg's text to a file, replacing it. Throws std::runtime_error
// "Cannot create SVG: <path>" when the file cannot be created and "Failed to write SVG
// file" when writing it fails; a path that is not valid UTF-8 throws std::system_error.
void exportSvg(const Page& page, const std::string& utf8Path, double scale, bool dark);

// 0xAABBGGRR to "#rrggbb".
using common::svgColour;

// Escapes XML's special characters and drops control bytes other than line feed.
std::string xmlEscape(const std::string& text);

}  // namespace pcad
