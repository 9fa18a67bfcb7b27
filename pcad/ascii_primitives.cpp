#include "pcad/ascii_primitives.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <string_view>
#include <utility>

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
void pushLine(Page& page, AsciiPoint a, AsciiPoint b, float width, std::uint8_t itemClass) {
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
void addDot(Page& page, const SExpr& node, AsciiPoint at, std::uint8_t itemClass,
            const Placement& placement) {
    double diameter = toDouble(node.value("width", ""), 0.7);
    if (!(diameter > 0.5) || !std::isfinite(detail::toFloat(diameter))) diameter = 0.5;
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

// The circle through three points and the signed sweep from the first through the second
// to the third (negative: clockwise), starting at angle `start`.
struct Arc {
    double cx = 0, cy = 0, r = 0, start = 0, sweep = 0;
};

// False for collinear points and for input that leaves no finite circle.
bool arcThrough(AsciiPoint p1, AsciiPoint p2, AsciiPoint p3, Arc& arc) {
    const double d = 2 * ((p2.y - p3.y) * p1.x + p2.x * (p3.y - p1.y) + p3.x * (p1.y - p2.y));
    if (std::fabs(d) < 1e-9) return false;  // collinear
    const double s1 = p1.x * p1.x + p1.y * p1.y;
    const double s2 = p2.x * p2.x + p2.y * p2.y;
    const double s3 = p3.x * p3.x + p3.y * p3.y;
    arc.cx = ((p3.y - p1.y) * s2 + (p2.y - p3.y) * s1 + (p1.y - p2.y) * s3) / d;
    arc.cy = ((p1.x - p3.x) * s2 + (p3.x - p2.x) * s1 + (p2.x - p1.x) * s3) / d;
    arc.r = std::hypot(p1.x - arc.cx, p1.y - arc.cy);

    arc.start = std::atan2(p1.y - arc.cy, p1.x - arc.cx);
    const double a2 = std::atan2(p2.y - arc.cy, p2.x - arc.cx);
    const double a3 = std::atan2(p3.y - arc.cy, p3.x - arc.cx);
    arc.sweep = std::fmod(a3 - arc.start + 4 * kPi, 2 * kPi);
    const double toMid = std::fmod(a2 - arc.start + 4 * kPi, 2 * kPi);
    if (toMid > arc.sweep) arc.sweep -= 2 * kPi;  // clockwise
    // Non-finite input (infinite or overflowing coordinates) leaves no usable circle;
    // the segment count must not come from such a sweep.
    return std::isfinite(arc.cx) && std::isfinite(arc.cy) && std::isfinite(arc.r) && std::isfinite(arc.sweep);
}

std::uint8_t justifyCode(std::string_view word) {
    static constexpr std::pair<std::string_view, std::uint8_t> kCodes[] = {
        {"LowerCenter", 1}, {"LowerRight", 2}, {"UpperCenter", 3}, {"Left", 4}, {"Center", 5}, {"Right", 6},
    };
    for (const auto& [name, code] : kCodes)
        if (word == name) return code;
    return 0;  // "LowerLeft", absent, and every unknown word
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

void addLine(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement) {
    std::array<AsciiPoint, 2> pts;
    if (firstPoints(node, pts) < 2) return;
    pushLine(page, placement.apply(pts[0]), placement.apply(pts[1]), strokeWidth(node, 0.25), itemClass);
}

void addArc(Page& page, const SExpr& node, std::uint8_t itemClass, const Placement& placement) {
    std::array<AsciiPoint, 3> pts;
    if (firstPoints(node, pts) < 3) return;
    const AsciiPoint p1 = pts[0], p2 = pts[1], p3 = pts[2];
    if (std::fabs(p2.x - p3.x) < 0.0001 && std::fabs(p2.y - p3.y) < 0.0001) {
        addDot(page, node, p1, itemClass, placement);
        return;
    }
    Arc arc;
    if (!arcThrough(p1, p2, p3, arc)) return;

    const int n = std::max(static_cast<int>(std::fabs(arc.sweep) * 18), 8);
    const float width = strokeWidth(node, 0.25);
    AsciiPoint prev = p1;
    for (int i = 1; i <= n; ++i) {
        const double a = arc.start + i * arc.sweep / n;
        const AsciiPoint q{arc.cx + arc.r * std::cos(a), arc.cy + arc.r * std::sin(a)};
        pushLine(page, placement.apply(prev), placement.apply(q), width, itemClass);
        prev = q;
    }
}

void addText(Page& page, const SExpr& node, std::uint8_t itemClass, const StyleTable& styles,
             const Placement& placement, double rotationOffset,
             const std::optional<std::string>& textOverride) {
    if (node.find("pt").children.size() < 3) return;  // no y
    const AsciiPoint anchor = placement.apply(readPt(node));
    if (!isFinite(anchor)) return;

    std::string str;
    if (textOverride) {
        str = *textOverride;
    } else {
        for (std::size_t i = 1; i < node.children.size(); ++i) {
            if (!node.children[i].isList) {
                str = node.children[i].text;
                break;
            }
        }
    }
    if (str.empty()) return;

    Text t;
    t.x = anchor.x;
    t.y = anchor.y;
    t.text = std::move(str);
    t.height = 2.7f;
    const std::string style = node.value("textStyleRef", "");
    if (!style.empty()) {
        const auto it = styles.find(style);
        if (it != styles.end()) t.height = it->second;
    }
    const double rotation = toDouble(node.value("rotation", ""), 0);
    t.rotation = detail::toFloat(std::fmod(rotation + rotationOffset + 3600, 360));
    t.justify = justifyCode(node.value("justify", ""));
    const SExpr& extent = node.find("extent");
    if (extent.children.size() >= 3) {
        t.extentWidth = toDouble(extent.atom(1, ""), 0);
        t.extentHeight = toDouble(extent.atom(2, ""), 0);
        // An extent that is not finite says nothing; the text is sized by its height.
        t.hasExtent = std::isfinite(t.extentWidth) && std::isfinite(t.extentHeight) ? 1 : 0;
        if (!t.hasExtent) t.extentWidth = t.extentHeight = 0;
    }
    t.itemClass = itemClass;
    t.hasBox = 0;
    page.texts.push_back(std::move(t));
}

}  // namespace pcad
