// A drawing target that records every call, for checking what the core paints.
#pragma once

#include <string>
#include <vector>

#include "schematic/draw_target.h"

namespace kgtest {

struct DrawCall {
    enum Kind { Polyline, Ellipse, Text } kind = Polyline;
    std::vector<schematic::Point> points;
    schematic::Box box;
    double width = 0;
    schematic::Colour stroke = 0;
    schematic::Colour fill = 0;
    bool closed = false;
    std::string text;
    schematic::TextStyle style;
};

class RecordingTarget final : public schematic::DrawTarget {
public:
    void polyline(const schematic::Point* p, std::size_t n, double width, schematic::Colour stroke,
                  bool closed, schematic::Colour fill) override {
        DrawCall c;
        c.kind = DrawCall::Polyline;
        c.points.assign(p, p + n);
        c.width = width;
        c.stroke = stroke;
        c.closed = closed;
        c.fill = fill;
        calls.push_back(c);
    }
    void ellipse(const schematic::Box& box, double width, schematic::Colour stroke,
                 schematic::Colour fill) override {
        DrawCall c;
        c.kind = DrawCall::Ellipse;
        c.box = box;
        c.width = width;
        c.stroke = stroke;
        c.fill = fill;
        calls.push_back(c);
    }
    void text(const schematic::Point& anchor, const std::string& text, const schematic::TextStyle& style,
              schematic::Colour colour) override {
        DrawCall c;
        c.kind = DrawCall::Text;
        c.points = {anchor};
        c.text = text;
        c.style = style;
        c.stroke = colour;
        calls.push_back(c);
    }

    std::vector<DrawCall> calls;
};

}  // namespace kgtest
