// The GDI drawing target of the canvas: clamped coordinates, selections made once, and fitted text
// under a world transform.
#include "schematic/win/gdi_target.h"

#include "common/fitted_text.h"
#include "common/utf8.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

namespace schematic::win {

namespace {

constexpr std::size_t kMaxPolylinePoints = 100000;
constexpr double kPi = 3.14159265358979323846;

// Doubles are sanitised before any rounding: lround of a non-finite or huge value is undefined.
int roundClamped(double value, double low, double high, double fallback) {
    if (!std::isfinite(value)) value = fallback;
    return static_cast<int>(std::lround(std::clamp(value, low, high)));
}

}  // namespace

int clampCoord(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int>(std::lround(std::clamp(value, -30000.0, 30000.0)));
}

GdiTarget::GdiTarget(HDC dc, GdiCache& cache)
    : dc_(dc),
      cache_(&cache),
      oldPen_(GetCurrentObject(dc, OBJ_PEN)),
      oldBrush_(GetCurrentObject(dc, OBJ_BRUSH)),
      oldFont_(GetCurrentObject(dc, OBJ_FONT)),
      oldAlign_(GetTextAlign(dc)) {
    SetBkMode(dc_, TRANSPARENT);
}

GdiTarget::~GdiTarget() {
    if (oldAlign_ != GDI_ERROR) SetTextAlign(dc_, oldAlign_);
    if (oldPen_) SelectObject(dc_, oldPen_);
    if (oldBrush_) SelectObject(dc_, oldBrush_);
    if (oldFont_) SelectObject(dc_, oldFont_);
}

void GdiTarget::selectOnce(HGDIOBJ& selected, HGDIOBJ object) {
    if (selected != object) {
        SelectObject(dc_, object);
        selected = object;
    }
}

void GdiTarget::selectPen(HPEN pen) { selectOnce(pen_, pen); }
void GdiTarget::selectBrush(HBRUSH brush) { selectOnce(brush_, brush); }
void GdiTarget::selectFont(HFONT font) { selectOnce(font_, font); }

void GdiTarget::setAlign(UINT align) {
    if (align_ != static_cast<long long>(align)) {
        SetTextAlign(dc_, align);
        align_ = align;
    }
}

void GdiTarget::setTextColour(COLORREF colour) {
    if (textColour_ != colour) {
        SetTextColor(dc_, colour);
        textColour_ = colour;
    }
}

void GdiTarget::forgetSelections() {
    pen_ = brush_ = font_ = nullptr;
    align_ = -1;
    textColour_ = CLR_INVALID;
}

void GdiTarget::keepCacheBounded() {
    // The canvas empties an overfull cache before each redraw, but one page with more distinct
    // colours, widths or text sizes than the limits would otherwise pile up GDI objects until
    // the process (and, in the plug-in, the host) runs out of them. The context gets its own
    // objects back first: a selected object cannot be deleted.
    if (!cache_->overLimit()) return;
    SelectObject(dc_, oldPen_ ? oldPen_ : GetStockObject(BLACK_PEN));
    SelectObject(dc_, oldBrush_ ? oldBrush_ : GetStockObject(NULL_BRUSH));
    SelectObject(dc_, oldFont_ ? oldFont_ : GetStockObject(SYSTEM_FONT));
    pen_ = brush_ = font_ = nullptr;
    cache_->clear();
}

HPEN GdiTarget::strokePen(double width, Colour stroke) {
    // A non-finite width draws one pixel wide.
    return cache_->pen(stroke & 0xFFFFFF, roundClamped(width, 1.0, 60.0, 1.0));
}

HBRUSH GdiTarget::fillBrush(Colour fill) {
    if (!hasFill(fill)) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    return cache_->brush(fill & 0xFFFFFF);
}

void GdiTarget::polyline(const Point* points, std::size_t count, double width, Colour stroke, bool closed,
                         Colour fill) {
    if (!points || count < 2 || count > kMaxPolylinePoints) return;
    keepCacheBounded();
    HPEN pen = strokePen(width, stroke);
    if (!pen) return;
    selectPen(pen);
    std::vector<POINT> pixels(count);
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = POINT{clampCoord(points[i].x), clampCoord(points[i].y)};
    const int n = static_cast<int>(count);
    if (closed) {
        HBRUSH brush = fillBrush(fill);
        if (!brush) return;
        selectBrush(brush);
        Polygon(dc_, pixels.data(), n);
    } else {
        Polyline(dc_, pixels.data(), n);
    }
}

void GdiTarget::ellipse(const Box& box, double width, Colour stroke, Colour fill) {
    // Written as negations so that a NaN corner draws nothing as well.
    if (!(box.x1 > box.x0) || !(box.y1 > box.y0)) return;
    keepCacheBounded();
    HPEN pen = strokePen(width, stroke);
    HBRUSH brush = fillBrush(fill);
    if (!pen || !brush) return;
    selectPen(pen);
    selectBrush(brush);
    Ellipse(dc_, clampCoord(box.x0), clampCoord(box.y0), clampCoord(box.x1), clampCoord(box.y1));
}

void GdiTarget::text(const Point& anchor, const std::string& text, const TextStyle& style, Colour colour) {
    // A non-finite height draws nothing.
    if (text.empty() || !std::isfinite(style.height) || style.height < 3) return;
    keepCacheBounded();
    if (style.boxWidth > 0 && fittedText(anchor, text, style, colour)) return;
    const int height = roundClamped(style.height, 4.0, 500.0, 4.0);
    // GDI turns escapements counter-clockwise; the style's angle turns clockwise on the screen.
    const int escapement = roundClamped(-style.angle * 10.0, -3600.0, 3600.0, 0.0);
    HFONT font = cache_->font(height, escapement);
    if (!font) return;
    selectFont(font);
    setTextColour(colour & 0xFFFFFF);
    const std::wstring& wide = cache_->wideText(text);
    if (wide.empty()) return;
    UINT align = TA_BASELINE | TA_LEFT;
    if (style.align == AlignCentre)
        align = TA_BASELINE | TA_CENTER;
    else if (style.align == AlignRight)
        align = TA_BASELINE | TA_RIGHT;
    setAlign(align);
    const int length = static_cast<int>(std::min<std::size_t>(wide.size(), INT_MAX));
    TextOutW(dc_, clampCoord(anchor.x), clampCoord(anchor.y + style.height * style.baseline), wide.data(),
             length);
}

namespace {

// The world transform that maps the virtual box, holding `codePoints` characters and turned
// `angle` degrees clockwise, onto the target box `bw` by `h` whose bottom-left corner is (x, y).
// Nothing when GDI's transform, which holds floats, cannot take it.
std::optional<XFORM> fittedTransform(double angle, std::size_t codePoints, double bw, double h, double x,
                                     double y) {
    using namespace common::fitted;
    const double sx = widthScale(codePoints);
    angle = std::isfinite(angle) ? std::fmod(angle, 360.0) : 0.0;
    long r = std::lround(angle) % 360;
    if (r < 0) r += 360;
    double c = 1, s = 0, shiftX = 0, shiftY = 0;
    if (r == 0) {
    } else if (r == 90) {
        c = 0, s = 1, shiftX = kBox, shiftY = 0;
    } else if (r == 180) {
        c = -1, s = 0, shiftX = kBox, shiftY = kBox;
    } else if (r == 270) {
        c = 0, s = -1, shiftX = 0, shiftY = kBox;
    } else {
        const double radians = angle * kPi / 180.0;
        c = std::cos(radians);
        s = std::sin(radians);
        const double half = kBox / 2;
        shiftX = half - half * c + half * s;
        shiftY = half - half * s - half * c;
    }
    const double entries[6] = {c * sx * bw / kBox, s * sx * h / kBox,      -s * bw / kBox,
                               c * h / kBox,       shiftX * bw / kBox + x, shiftY * h / kBox + y - h};
    // Converting a double too large for a float is undefined.
    for (double entry : entries)
        if (!(std::fabs(entry) <= static_cast<double>(FLT_MAX))) return std::nullopt;
    XFORM transform;
    transform.eM11 = static_cast<FLOAT>(entries[0]);
    transform.eM12 = static_cast<FLOAT>(entries[1]);
    transform.eM21 = static_cast<FLOAT>(entries[2]);
    transform.eM22 = static_cast<FLOAT>(entries[3]);
    transform.eDx = static_cast<FLOAT>(entries[4]);
    transform.eDy = static_cast<FLOAT>(entries[5]);
    return transform;
}

}  // namespace

bool GdiTarget::fittedText(const Point& anchor, const std::string& text, const TextStyle& style,
                           Colour colour) {
    const double bw = style.boxWidth;
    const double h = style.height;
    const double x = anchor.x;
    const double y = anchor.y;
    if (!std::isfinite(bw) || bw <= 0 || !std::isfinite(h) || !std::isfinite(x) || !std::isfinite(y))
        return false;
    keepCacheBounded();
    const std::wstring& wide = cache_->wideText(text);
    if (wide.empty()) return true;
    const std::size_t codePoints = common::codePoints(text);
    if (codePoints == 0) return true;
    HFONT font = cache_->font(static_cast<int>(common::fitted::kFontSize), 0);
    if (!font) return false;

    // The text is laid out in the virtual box that the SVG writer uses; that box is mapped onto
    // the target box. A box too large for the transform is drawn the plain way.
    const std::optional<XFORM> transform = fittedTransform(style.angle, codePoints, bw, h, x, y);
    if (!transform) return false;

    const int saved = SaveDC(dc_);
    if (saved == 0) return false;
    IntersectClipRect(dc_, clampCoord(std::floor(x)), clampCoord(std::floor(y - h)),
                      clampCoord(std::ceil(x + bw)), clampCoord(std::ceil(y)));
    bool transformed = GetGraphicsMode(dc_) == GM_ADVANCED || SetGraphicsMode(dc_, GM_ADVANCED) != 0;
    transformed = transformed && SetWorldTransform(dc_, &*transform) != 0;
    if (transformed) {
        SelectObject(dc_, font);
        SetBkMode(dc_, TRANSPARENT);
        SetTextColor(dc_, colour & 0xFFFFFF);
        SetTextAlign(dc_, TA_BASELINE | TA_LEFT);
        const int length = static_cast<int>(std::min<std::size_t>(wide.size(), INT_MAX));
        TextOutW(dc_, 0, static_cast<int>(common::fitted::kBaseline), wide.data(), length);
    }
    RestoreDC(dc_, saved);
    // The restore put the context's own selections back.
    forgetSelections();
    return transformed;
}

}  // namespace schematic::win
