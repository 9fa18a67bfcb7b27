// Pens, brushes, fonts and UTF-16 texts kept between paints of one view, so that a paint of
// thousands of primitives creates each GDI object once.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace schematic::win {

class GdiCache {
public:
    static constexpr std::size_t kMaxPens = 250;
    static constexpr std::size_t kMaxBrushes = 60;
    static constexpr std::size_t kMaxFonts = 500;
    static constexpr std::size_t kMaxTexts = 4000;

    GdiCache() = default;
    GdiCache(const GdiCache&) = delete;
    GdiCache& operator=(const GdiCache&) = delete;
    ~GdiCache() { clear(); }

    // Width is clamped to 1..60 pixels; null when the pen cannot be made (tried again next time).
    HPEN pen(COLORREF colour, int width);
    HBRUSH brush(COLORREF colour);
    // Height clamped to 4..500 pixels, escapement to -3600..3600 tenths of a degree.
    HFONT font(int height, int escapement);
    const std::wstring& wideText(const std::string& text);

    // Deletes every pen, brush and font and empties all four maps.
    void clear();
    // True when any map holds more than its limit: the canvas then clears before a redraw.
    bool overLimit() const;

    std::size_t penCount() const { return pens_.size(); }
    std::size_t brushCount() const { return brushes_.size(); }
    std::size_t fontCount() const { return fonts_.size(); }
    std::size_t textCount() const { return texts_.size(); }

private:
    std::unordered_map<std::uint64_t, HPEN> pens_;
    std::unordered_map<std::uint32_t, HBRUSH> brushes_;
    std::unordered_map<std::uint64_t, HFONT> fonts_;
    std::unordered_map<std::string, std::wstring> texts_;
};

}  // namespace schematic::win
