// Power-port symbols: one shape per "STYLE", laid along the direction that "ORIENTATION" gives.
#include <array>
#include <initializer_list>
#include <vector>

#include "schq/sheet_builder.h"

namespace schq {
namespace {

constexpr double kPowerStroke = 0.8;
constexpr double kPowerNameSize = 7.8;
constexpr int kLastPortStyle = 10;
// Styles outside 0..10 draw as this one (a bar).
constexpr int kFallbackPortStyle = 2;

// A symbol point (a, b) lies at P + a·f + b·s: a along the port's direction f, b across it.
struct PortFrame {
    Point p;
    Point f;
    Point s;
    Point at(double a, double b) const { return {p.x + a * f.x + b * s.x, p.y + a * f.y + b * s.y}; }
};

int portStyle(int style) { return style < 0 || style > kLastPortStyle ? kFallbackPortStyle : style; }

// The wave's cubic curve, sampled as 8 segments.
std::vector<Point> waveCurve(const PortFrame& frame) {
    constexpr Point kControl[4] = {{5, 3}, {8.7, 3}, {6.3, -3}, {10, -3}};
    constexpr int kSegments = 8;
    std::vector<Point> points;
    points.reserve(kSegments + 1);
    for (int i = 0; i <= kSegments; ++i) {
        const double t = static_cast<double>(i) / kSegments;
        const double u = 1 - t;
        const double w[4] = {u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
        double a = 0, b = 0;
        for (int k = 0; k < 4; ++k) {
            a += w[k] * kControl[k].x;
            b += w[k] * kControl[k].y;
        }
        points.push_back(frame.at(a, b));
    }
    return points;
}

}  // namespace

std::size_t powerPortShapes(int style) {
    static constexpr std::array<std::size_t, kLastPortStyle + 1> kShapes = {2, 2, 2, 2, 5, 2, 3, 2, 4, 5, 2};
    return kShapes[static_cast<std::size_t>(portStyle(style))];
}

void SheetBuilder::addPowerPort(const RecordView& record) {
    const std::uint32_t colour = getColour(record, "COLOR", kBlack);
    const int style = portStyle(getInt(record, "STYLE", 0));
    int o = getInt(record, "ORIENTATION", 0) % 4;
    if (o < 0 || o > 2) o = 3;
    const Point f = kDirectionSteps[o];
    const PortFrame frame{location(record), f, {f.y, -f.x}};

    auto line = [&](double a0, double b0, double a1, double b1) {
        addLine(frame.at(a0, b0), frame.at(a1, b1), Labels, colour, kPowerStroke);
    };
    auto bar = [&](double a, double h) { line(a, -h, a, h); };
    // A closed shape is filled with the stroke colour; an open one is not filled.
    auto path = [&](PrimitiveKind kind, std::initializer_list<Point> points) {
        std::vector<Point> placed;
        placed.reserve(points.size());
        for (const Point& q : points) placed.push_back(frame.at(q.x, q.y));
        addPath(kind, std::move(placed), Labels, colour, kPowerStroke, kind == Polygon ? colour : kNoFill);
    };
    auto circle = [&](double a, double r) {
        addEllipse(frame.at(a, 0), r, r, colour, kNoFill, Labels, kPowerStroke);
    };

    double textAt = 15;
    switch (style) {
        case 0:  // circle
            line(0, 0, 5, 0);
            circle(7.5, 2.5);
            break;
        case 1:  // arrow
            line(0, 0, 5, 0);
            path(Polygon, {{5, -2.5}, {10, 0}, {5, 2.5}});
            break;
        case 3:  // wave
            line(0, 0, 7.2, 0);
            addPath(Polyline, waveCurve(frame), Labels, colour, kPowerStroke, kNoFill);
            break;
        case 4:  // power ground
            line(0, 0, 10, 0);
            bar(10, 10);
            bar(13, 7);
            bar(16, 4);
            bar(19, 1);
            textAt = 25;
            break;
        case 5:  // signal ground
            line(0, 0, 10, 0);
            path(Polygon, {{10, -10}, {10, 10}, {20, 0}});
            textAt = 25;
            break;
        case 6:  // earth
            line(0, 0, 10, 0);
            path(Polyline, {{20, -15}, {10, -10}, {10, 10}, {20, 5}});
            line(10, 0, 20, -5);
            textAt = 25;
            break;
        case 7:  // open arrow
            line(0, 0, 10, 0);
            path(Polyline, {{5, -2.5}, {10, 0}, {5, 2.5}});
            break;
        case 8:  // grounds of the GOST kind
        case 9:
            line(0, 0, 16, 0);
            bar(16, 10);
            bar(20, 6);
            bar(24, 2);
            textAt = 30;
            if (style == 9) {
                circle(16, 12);
                textAt = 35;
            }
            break;
        case 10:  // bar of the GOST kind
            line(0, 0, 20, 0);
            bar(20, 10);
            textAt = 25;
            break;
        default:  // bar
            line(0, 0, 10, 0);
            bar(10, 5);
            break;
    }

    if (record.find("SHOWNETNAME") == "F") return;
    // Beside the symbol's end when it points sideways; above it or hanging below it otherwise.
    static constexpr TextAnchor kAnchors[4] = {Start, Middle, End, Middle};
    static constexpr double kDy[4] = {kMiddleDy, 0, kMiddleDy, kTopDy};
    addText(frame.at(textAt, 0), getString(record, "TEXT", ""), Labels, colour, kPowerNameSize, kAnchors[o],
            0, kDy[o]);
}

}  // namespace schq
