// Lines, arcs, polygons, pins and texts of a P-CAD text schematic, placed on a page.
#include "pcad/ascii_primitives.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>
#include <utility>

#include "pcad/arc_segments.h"

namespace pcad {

namespace detail {
float toFloat(double v) {
    if (v > FLT_MAX) return std::numeric_limits<float>::infinity();
    if (v < -FLT_MAX) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);  // NaN stays NaN
}
}  // namespace detail

namespace {

constexpr double kPi = std::numbers::pi;

AsciiPoint pointOf(const SExpr& pt) { return {toDouble(pt.atom(1, ""), 0), toDouble(pt.atom(2, ""), 0)}; }

// The points of the node's first N "pt" lists, read without building a list of them all
// (lines and arcs are most of a file's items); returns how many it found, up to N.
template <std::size_t N>
std::size_t firstPoints(const SExpr& node, std::array<AsciiPoint, N>& points) {
    std::size_t n = 0;
    for (const SExpr& c : node.children) {
        if (!c.is("pt")) continue;
        points[n] = pointOf(c);
        if (++n == N) break;
    }
    return n;
}

bool isFinite(AsciiPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// A width that is not finite (an overflowing or "NaN" number) is drawn as thin as any.
float strokeWidth(const SExpr& node, double fallback) {
    const float w = detail::toFloat(toDouble(node.value("width", ""), fallback));
    return std::isfinite(w) ? w : 0.0f;
}

// Items whose points are not finite are left out: no drawing can place them.
inline void pushLine(Page& page, AsciiPoint a, AsciiPoint b, float width, std::uint8_t itemClass) {
    if (!isFinite(a) || !isFinite(b)) return;
    Line line;
    line.x1 = a.x;
    line.y1 = a.y;
    line.x2 = b.x;
    line.y2 = b.y;
    line.width = width;
    line.itemClass = itemClass;
    page.lines.push_back(line);
}

// An arc whose last two points coincide is drawn as a filled dot at its first point.
void addDot(Page& page, const SExpr& node, AsciiPoint at, std::uint8_t itemClass, const Placement& placement,
            double sizeScale) {
    double diameter = toDouble(node.value("width", ""), 0.7 * sizeScale);
    if (!(diameter > 0.5 * sizeScale) || !std::isfinite(detail::toFloat(diameter)))
        diameter = 0.5 * sizeScale;
    const AsciiPoint c = placement.apply(at);
    if (!isFinite(c)) return;
    Circle dot;
    dot.x = c.x;
    dot.y = c.y;
    dot.diameter = detail::toFloat(diameter);
    dot.width = 0;
    dot.itemClass = itemClass;
    dot.filled = 1;
    page.circles.push_back(dot);
}

// A circular arc about its centre, by the signed sweep from its starting point (negative:
// clockwise); the starting point goes with it to pushArc.
struct Arc {
    AsciiPoint centre;
    double sweep = 0;
};

// The circle through three points, swept from the first through the second to the third.
// False for collinear points and for input that leaves no finite circle.
bool arcThrough(AsciiPoint p1, AsciiPoint p2, AsciiPoint p3, Arc& arc) {
    const double d = 2 * ((p2.y - p3.y) * p1.x + p2.x * (p3.y - p1.y) + p3.x * (p1.y - p2.y));
    if (std::fabs(d) < 1e-9) return false;  // collinear
    const double s1 = p1.x * p1.x + p1.y * p1.y;
    const double s2 = p2.x * p2.x + p2.y * p2.y;
    const double s3 = p3.x * p3.x + p3.y * p3.y;
    const AsciiPoint c{((p3.y - p1.y) * s2 + (p2.y - p3.y) * s1 + (p1.y - p2.y) * s3) / d,
                       ((p1.x - p3.x) * s2 + (p3.x - p2.x) * s1 + (p2.x - p1.x) * s3) / d};
    const double r = std::hypot(p1.x - c.x, p1.y - c.y);

    const double start = std::atan2(p1.y - c.y, p1.x - c.x);
    const double a2 = std::atan2(p2.y - c.y, p2.x - c.x);
    const double a3 = std::atan2(p3.y - c.y, p3.x - c.x);
    arc.centre = c;
    arc.sweep = std::fmod(a3 - start + 4 * kPi, 2 * kPi);
    const double toMid = std::fmod(a2 - start + 4 * kPi, 2 * kPi);
    if (toMid > arc.sweep) arc.sweep -= 2 * kPi;  // clockwise
    // Non-finite input (infinite or overflowing coordinates) leaves no usable circle;
    // the segment count must not come from such a sweep.
    return isFinite(c) && std::isfinite(r) && std::isfinite(arc.sweep);
}

// P-CAD writes its arcs centre first: the centre, then the start and end, which lie at the
// same distance from it; the arc then runs counter-clockwise from start to end, a whole turn
// when both lie in the same direction.
bool arcAboutFirst(AsciiPoint c, AsciiPoint from, AsciiPoint to, Arc& arc) {
    const double r = std::hypot(from.x - c.x, from.y - c.y);
    const double r2 = std::hypot(to.x - c.x, to.y - c.y);
    if (!(r > 0) || !(std::fabs(r - r2) <= 0.01 * std::max(r, r2))) return false;
    const double start = std::atan2(from.y - c.y, from.x - c.x);
    arc.centre = c;
    arc.sweep = std::fmod(std::atan2(to.y - c.y, to.x - c.x) - start + 4 * kPi, 2 * kPi);
    if (arc.sweep <= 0) arc.sweep = 2 * kPi;
    return std::isfinite(r) && std::isfinite(start) && std::isfinite(arc.sweep);
}

// The arc as segments from `first`, its starting point, the same way the binary reader draws its arcs.
void pushArc(Page& page, const Arc& arc, AsciiPoint first, float width, std::uint8_t itemClass,
             const Placement& placement) {
    forEachArcSegment(arc.centre, first, arc.sweep, [&](AsciiPoint a, AsciiPoint b) {
        pushLine(page, placement.apply(a), placement.apply(b), width, itemClass);
    });
}

std::uint8_t justifyCode(std::string_view word) {
    static constexpr std::pair<std::string_view, std::uint8_t> kCodes[] = {
        {"LowerCenter", JustifyLowerCenter}, {"LowerRight", JustifyLowerRight},
        {"UpperCenter", JustifyUpperCenter}, {"Left", JustifyLeft},
        {"Center", JustifyCenter},           {"Right", JustifyRight},
        {"UpperLeft", JustifyUpperLeft},     {"UpperRight", JustifyUpperRight},
    };
    for (const auto& [name, code] : kCodes)
        if (word == name) return code;
    return 0;  // "LowerLeft", absent, and every unknown word
}

// Left and right swapped; centred codes stay.
std::uint8_t mirrorX(std::uint8_t code) {
    switch (code) {
        case JustifyLowerLeft: return JustifyLowerRight;
        case JustifyLowerRight: return JustifyLowerLeft;
        case JustifyLeft: return JustifyRight;
        case JustifyRight: return JustifyLeft;
        case JustifyUpperLeft: return JustifyUpperRight;
        case JustifyUpperRight: return JustifyUpperLeft;
        default: return code;
    }
}

// Upper and lower swapped; vertically centred codes stay.
std::uint8_t mirrorY(std::uint8_t code) {
    switch (code) {
        case JustifyLowerLeft: return JustifyUpperLeft;
        case JustifyUpperLeft: return JustifyLowerLeft;
        case JustifyLowerCenter: return JustifyUpperCenter;
        case JustifyUpperCenter: return JustifyLowerCenter;
        case JustifyLowerRight: return JustifyUpperRight;
        case JustifyUpperRight: return JustifyLowerRight;
        default: return code;
    }
}

// The lists of a text that place and shape it, each the first of its name as find gives it,
// and its string (the first element after the head that is not a list): gathered in one
// pass, since texts are many.
struct TextFields {
    const SExpr* pt = nullptr;
    const SExpr* style = nullptr;
    const SExpr* rotation = nullptr;
    const SExpr* justify = nullptr;
    const SExpr* flipped = nullptr;
    const SExpr* extent = nullptr;
    const std::string* string = nullptr;
};

TextFields textFields(const SExpr& node) {
    static constexpr std::pair<std::string_view, const SExpr * TextFields::*> kLists[] = {
        {"pt", &TextFields::pt},
        {"textStyleRef", &TextFields::style},
        {"rotation", &TextFields::rotation},
        {"justify", &TextFields::justify},
        {"isFlipped", &TextFields::flipped},
        {"extent", &TextFields::extent},
    };
    TextFields f;
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        const SExpr& c = node.children[i];
        if (!c.isList) {
            if (i > 0 && f.string == nullptr) f.string = &c.text;
        } else if (!c.children.empty() && !c.children.front().isList) {
            for (const auto& [name, member] : kLists) {
                if (c.children.front().text != name) continue;
                if (f.*member == nullptr) f.*member = &c;
                break;
            }
        }
    }
    return f;
}

// The text of element 1 of a keyword list, as SExpr::value reads it; empty without one.
std::string_view valueOf(const SExpr* list) {
    return list != nullptr && list->children.size() >= 2 ? std::string_view(list->children[1].text)
                                                         : std::string_view();
}

// P-CAD writes a line break inside a string as the two characters \r\n, or as \n alone.
void breakLines(std::string& s) {
    std::size_t at = s.find('\\');
    if (at == std::string::npos) return;
    std::size_t out = at;
    for (std::size_t i = at; i < s.size();) {
        if (s.compare(i, 4, "\\r\\n") == 0) {
            s[out++] = '\n';
            i += 4;
        } else if (s.compare(i, 2, "\\n") == 0) {
            s[out++] = '\n';
            i += 2;
        } else {
            s[out++] = s[i++];
        }
    }
    s.resize(out);
}

}  // namespace

AsciiPoint Placement::apply(AsciiPoint p) const {
    const double px = mirrored ? -p.x : p.x;
    // Unrotated points skip the trigonometry so that they stay exact (and an infinite
    // coordinate does not spill into the other one through 0 times infinity).
    if (rotation == 0) return {px + x, p.y + y};
    const double t = rotation * kPi / 180.0;
    const double c = std::cos(t);
    const double s = std::sin(t);
    return {c * px - s * p.y + x, s * px + c * p.y + y};
}

AsciiPoint readPt(const SExpr& node) { return pointOf(node.find("pt")); }

void addLine(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
             double sizeScale) {
    std::array<AsciiPoint, 2> pts;
    if (firstPoints(node, pts) < 2) return;
    pushLine(page, placement.apply(pts[0]), placement.apply(pts[1]), strokeWidth(node, 0.25 * sizeScale),
             itemClass);
}

void addArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
            double sizeScale) {
    std::array<AsciiPoint, 3> pts;
    if (firstPoints(node, pts) < 3) return;
    const AsciiPoint p1 = pts[0], p2 = pts[1], p3 = pts[2];
    if (std::fabs(p2.x - p3.x) < 0.0001 && std::fabs(p2.y - p3.y) < 0.0001) {
        addDot(page, node, p1, itemClass, placement, sizeScale);
        return;
    }
    const float width = strokeWidth(node, 0.25 * sizeScale);
    Arc arc;
    if (arcAboutFirst(p1, p2, p3, arc)) {
        pushArc(page, arc, p2, width, itemClass, placement);
    } else if (arcThrough(p1, p2, p3, arc)) {
        pushArc(page, arc, p1, width, itemClass, placement);
    }
}

void addAngleArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
                 double sizeScale) {
    const SExpr& pt = node.find("pt");
    if (!pt.isList) return;
    const AsciiPoint c = pointOf(pt);
    const double r = toDouble(node.value("radius", ""), 0);
    const double start = toDouble(node.value("startAngle", ""), 0);
    // More than a whole turn draws nothing more.
    const double sweep = std::clamp(toDouble(node.value("sweepAngle", ""), 0), -360.0, 360.0);
    if (!(r > 0) || !std::isfinite(r) || !isFinite(c) || !std::isfinite(start) || sweep == 0 ||
        !std::isfinite(sweep))
        return;
    const double a = std::fmod(start, 360.0) * kPi / 180.0;
    const AsciiPoint first{c.x + r * std::cos(a), c.y + r * std::sin(a)};
    pushArc(page, Arc{c, sweep * kPi / 180.0}, first, strokeWidth(node, 0.25 * sizeScale), itemClass,
            placement);
}

void addPoly(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement,
             double sizeScale) {
    const float width = strokeWidth(node, 0.25 * sizeScale);
    AsciiPoint first, prev;
    std::size_t points = 0;
    for (const SExpr& c : node.children) {
        if (!c.is("pt")) continue;
        const AsciiPoint p = placement.apply(pointOf(c));
        if (points++ == 0)
            first = p;
        else
            pushLine(page, prev, p, width, itemClass);
        prev = p;
    }
    // Two points make one line, which closing would only draw again.
    if (points >= 3) pushLine(page, prev, first, width, itemClass);
}

void addPinLine(Page& page, const SExpr& pin, const Placement& placement, double sizeScale) {
    const SExpr& pt = pin.find("pt");
    if (!pt.isList) return;
    const AsciiPoint from = pointOf(pt);
    const double length = toDouble(pin.value("pinLength", ""), 7.62 * sizeScale);  // 300 mil
    const AsciiPoint d = unitDirection(toDouble(pin.value("rotation", ""), 0));
    const AsciiPoint to{from.x + d.x * length, from.y + d.y * length};
    pushLine(page, placement.apply(from), placement.apply(to), detail::toFloat(0.25 * sizeScale),
             ClassSymbolGraphics);
}

void addText(Page& page, const SExpr& node, std::uint8_t itemClass, const StyleTable& styles,
             const Placement& placement, double rotationOffset,
             const std::optional<std::string>& textOverride, double sizeScale) {
    const TextFields f = textFields(node);
    if (f.pt == nullptr || f.pt->children.size() < 3) return;  // no y
    const AsciiPoint anchor = placement.apply(pointOf(*f.pt));
    if (!isFinite(anchor)) return;

    std::string str = textOverride ? *textOverride : f.string ? *f.string : std::string();
    breakLines(str);
    if (str.empty()) return;

    Text t;
    t.x = anchor.x;
    t.y = anchor.y;
    t.text = std::move(str);
    t.height = detail::toFloat(2.7 * sizeScale);
    const std::string_view style = valueOf(f.style);
    if (!style.empty()) {
        const auto it = styles.find(std::string(style));
        if (it != styles.end()) t.height = it->second;
    }
    const double rotation = toDouble(valueOf(f.rotation), 0);
    t.rotation = detail::toFloat(std::fmod(rotation + rotationOffset + 3600, 360));
    t.justify = justifyCode(valueOf(f.justify));
    const bool flipped = valueOf(f.flipped) == "True";
    if (flipped != (placement.mirrored != 0)) t.justify = mirrorX(t.justify);
    // Upside down reads badly: the same box upright, anchored at its opposite corner.
    if (std::fabs(t.rotation - 180.0f) <= 0.01f) {
        t.rotation = 0;
        t.justify = mirrorY(mirrorX(t.justify));
    }
    if (f.extent != nullptr && f.extent->children.size() >= 3) {
        t.extentWidth = toDouble(f.extent->children[1].text, 0);
        t.extentHeight = toDouble(f.extent->children[2].text, 0);
        // An extent that is not finite says nothing; the text is sized by its height.
        t.hasExtent = std::isfinite(t.extentWidth) && std::isfinite(t.extentHeight) ? 1 : 0;
        if (!t.hasExtent) t.extentWidth = t.extentHeight = 0;
    }
    t.itemClass = itemClass;
    t.hasBox = 0;
    page.texts.push_back(std::move(t));
}

}  // namespace pcad
