// The GDI object cache: pens, brushes and fonts created once per key, UTF-16 texts converted once.
#include "schematic/win/gdi_cache.h"
#include "schematic/win/view.h"

#include <algorithm>

namespace schematic::win {

HPEN GdiCache::pen(COLORREF colour, int width) {
    width = std::clamp(width, 1, 60);
    const std::uint64_t key =
        (static_cast<std::uint64_t>(colour & 0xFFFFFF) << 8) | static_cast<std::uint64_t>(width);
    HPEN& slot = pens_[key];
    if (!slot) slot = CreatePen(PS_SOLID, width, colour & 0xFFFFFF);
    return slot;
}

HBRUSH GdiCache::brush(COLORREF colour) {
    HBRUSH& slot = brushes_[colour & 0xFFFFFF];
    if (!slot) slot = CreateSolidBrush(colour & 0xFFFFFF);
    return slot;
}

HFONT GdiCache::font(int height, int escapement) {
    height = std::clamp(height, 4, 500);
    escapement = std::clamp(escapement, -3600, 3600);
    const std::uint64_t key =
        (static_cast<std::uint64_t>(height) << 32) | static_cast<std::uint32_t>(escapement + 3600);
    HFONT& slot = fonts_[key];
    if (!slot)
        slot = CreateFontW(-height, 0, escapement, escapement, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, L"Arial");
    return slot;
}

const std::wstring& GdiCache::wideText(const std::string& text) {
    auto found = texts_.find(text);
    if (found != texts_.end()) return found->second;
    return texts_.emplace(text, utf8ToWide(text)).first->second;
}

void GdiCache::clear() {
    for (auto& entry : pens_)
        if (entry.second) DeleteObject(entry.second);
    for (auto& entry : brushes_)
        if (entry.second) DeleteObject(entry.second);
    for (auto& entry : fonts_)
        if (entry.second) DeleteObject(entry.second);
    pens_.clear();
    brushes_.clear();
    fonts_.clear();
    texts_.clear();
}

bool GdiCache::overLimit() const {
    return pens_.size() > kMaxPens || brushes_.size() > kMaxBrushes || fonts_.size() > kMaxFonts ||
           texts_.size() > kMaxTexts;
}

}  // namespace schematic::win
