// The virtual box in which a text is fitted to a rectangle, shared by the SVG writer and the
// screen so that both lay a fitted text out alike: the text is set in a box 100 units square,
// 90 units high with its baseline at 84 and an average character taken as 52 units wide, and
// that box is then stretched onto the rectangle.
#pragma once

#include <cstddef>

namespace common::fitted {

inline constexpr double kBox = 100;
inline constexpr double kFontSize = 90;
inline constexpr double kBaseline = 84;
inline constexpr double kCharWidth = 52;

// The horizontal scale that makes `codePoints` average characters fill the box's width.
inline constexpr double widthScale(std::size_t codePoints) {
    return kBox / (static_cast<double>(codePoints) * kCharWidth);
}

}  // namespace common::fitted
