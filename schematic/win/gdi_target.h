// The drawing surface of the canvas: GDI on a device context, with the view's object cache.
#pragma once

#include "schematic/draw_target.h"
#include "schematic/win/gdi_cache.h"

#include <windows.h>

namespace schematic::win {

// 0 for NaN and infinities; otherwise clamped to -30000..30000 (what GDI draws safely) and
// rounded half away from zero.
int clampCoord(double value);

class GdiTarget final : public DrawTarget {
public:
    // Remembers the context's pen, brush, font and alignment; sets a transparent background.
    GdiTarget(HDC dc, GdiCache& cache);
    // Restores the alignment, then the remembered pen, brush and font.
    ~GdiTarget() override;

    GdiTarget(const GdiTarget&) = delete;
    GdiTarget& operator=(const GdiTarget&) = delete;

    void polyline(const Point* points, std::size_t count, double width, Colour stroke, bool closed,
                  Colour fill) override;
    void ellipse(const Box& box, double width, Colour stroke, Colour fill) override;
    void text(const Point& anchor, const std::string& text, const TextStyle& style, Colour colour) override;

    // Stretches the text into its box under a world transform. True when done (drawn or nothing
    // to draw); false when the caller must draw it the plain way.
    bool fittedText(const Point& anchor, const std::string& text, const TextStyle& style, Colour colour);

private:
    HPEN strokePen(double width, Colour stroke);
    // The stock null brush for a fill without alpha, else the cached brush (null: none).
    HBRUSH fillBrush(Colour fill);
    // Selects the object into the context unless it is the one selected already.
    void selectOnce(HGDIOBJ& selected, HGDIOBJ object);
    void selectPen(HPEN pen);
    void selectBrush(HBRUSH brush);
    void selectFont(HFONT font);
    void setAlign(UINT align);
    void setTextColour(COLORREF colour);
    void forgetSelections();
    // Empties an overfull cache before a drawing call takes objects from it.
    void keepCacheBounded();

    HDC dc_;
    GdiCache* cache_;
    HGDIOBJ oldPen_;
    HGDIOBJ oldBrush_;
    HGDIOBJ oldFont_;
    HGDIOBJ pen_ = nullptr;
    HGDIOBJ brush_ = nullptr;
    HGDIOBJ font_ = nullptr;
    UINT oldAlign_;
    long long align_ = -1;
    COLORREF textColour_ = CLR_INVALID;
};

}  // namespace schematic::win
