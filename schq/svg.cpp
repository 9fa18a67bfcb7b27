// Writes a SchDoc sheet as SVG: number and text forms, and each primitive in its layer's group.
#include "schq/svg.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "common/svg.h"

namespace schq {
namespace {

const char* layerName(unsigned layer) {
    static const char* const kNames[5] = {"graphics", "wires", "pins", "pin-names", "labels"};
    return layer < 5 ? kNames[layer] : "layer";
}

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// An element's tag and attributes, and one point of a path, as usually written.
constexpr std::size_t kElementBytes = 144;
constexpr std::size_t kPointBytes = 18;

// Length of the well-formed UTF-8 sequence at text[i] (lead byte 0x80 or above), or 0 when it is
// not one; `prefix` receives the number of bytes that form the longest valid start, at least 1.
std::size_t utf8Sequence(std::string_view text, std::size_t i, std::size_t& prefix) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = at(i);
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        if (b == 0xE0)
            lo = 0xA0;
        else if (b == 0xED)
            hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        if (b == 0xF0)
            lo = 0x90;
        else if (b == 0xF4)
            hi = 0x8F;
    } else {
        prefix = 1;
        return 0;
    }
    prefix = 1;
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= text.size()) return 0;
        const unsigned char c = at(i + k);
        if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) return 0;
        prefix = k + 1;
    }
    // U+FFFE and U+FFFF are well-formed UTF-8 but no XML character.
    if (need == 2 && b == 0xEF && at(i + 1) == 0xBF && at(i + 2) >= 0xBE) return 0;
    return need + 1;
}

// Appends formatNumber(value) without a string of its own: the writer calls this for every number.
void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += '0';
        return;
    }
    const std::size_t start = out.size();
    common::appendFixed3(out, value);
    // Three decimals are always written: drop their trailing zeros, then a bare point.
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    if (out.size() - start == 2 && out[start] == '-' && out[start + 1] == '0') out.replace(start, 2, "0");
}

void attribute(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    out += value;
    out += '"';
}

void numberAttribute(std::string& out, const char* name, double v) {
    out += ' ';
    out += name;
    out += "=\"";
    appendNumber(out, v);
    out += '"';
}

}  // namespace

std::string formatNumber(double value) {
    std::string text;
    appendNumber(text, value);
    return text;
}

std::string xmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80) {
            std::size_t prefix = 1;
            const std::size_t n = utf8Sequence(text, i, prefix);
            if (n == 0) {
                out += kReplacement;
                i += prefix;
            } else {
                out.append(text, i, n);
                i += n;
            }
            continue;
        }
        if (const char* entity = common::xmlEntity(text[i]))
            out += entity;
        else if (b >= 0x20 || b == '\t' || b == '\n')
            out += static_cast<char>(b);
        ++i;
    }
    return out;
}

namespace {

// The colours and width of one primitive as attribute values.
struct Paint {
    std::string stroke;
    std::string fill;
    std::string strokeWidth;

    explicit Paint(const Primitive& p)
        : stroke(svgColour(p.stroke)),
          fill((p.fill >> 24) != 0 ? svgColour(p.fill) : std::string("none")),
          strokeWidth(formatNumber(p.strokeWidth)) {}
};

struct NumberAttribute {
    const char* name;
    double value;
};

// The start of an element with its geometry.
void shapeOpening(std::string& out, const char* tag, std::initializer_list<NumberAttribute> geometry) {
    out += tag;
    for (const NumberAttribute& a : geometry) numberAttribute(out, a.name, a.value);
}

void fillAndStroke(std::string& out, const Paint& paint) {
    attribute(out, "fill", paint.fill);
    attribute(out, "stroke", paint.stroke);
    attribute(out, "stroke-width", paint.strokeWidth);
}

// The root element and the white sheet behind the drawing.
void writeOpening(std::string& out, const Rect& area) {
    const double w = area.x1 - area.x0;
    const double h = area.y1 - area.y0;
    out += "<svg";
    attribute(out, "xmlns", "http://www.w3.org/2000/svg");
    numberAttribute(out, "width", w);
    numberAttribute(out, "height", h);
    attribute(
        out, "viewBox",
        formatNumber(area.x0) + ' ' + formatNumber(area.y0) + ' ' + formatNumber(w) + ' ' + formatNumber(h));
    out += ">\n<rect";
    numberAttribute(out, "x", area.x0);
    numberAttribute(out, "y", area.y0);
    numberAttribute(out, "width", w);
    numberAttribute(out, "height", h);
    attribute(out, "fill", "white");
    out += "/>\n";
}

void writePath(std::string& out, const Primitive& p, const Paint& paint) {
    out += p.kind == Polyline ? "<polyline" : "<polygon";
    out += " points=\"";
    for (const Point& q : p.points) {
        appendNumber(out, q.x);
        out += ',';
        appendNumber(out, q.y);
        out += ' ';
    }
    out += '"';
    fillAndStroke(out, paint);
    attribute(out, "stroke-linejoin", "round");
    attribute(out, "stroke-linecap", "round");
    out += "/>\n";
}

void writeRectangle(std::string& out, const Primitive& p, const Paint& paint) {
    if (p.points.size() < 2) return;
    const Point& a = p.points[0];
    const Point& b = p.points[1];
    shapeOpening(out, "<rect",
                 {{"x", std::min(a.x, b.x)},
                  {"y", std::min(a.y, b.y)},
                  {"width", std::fabs(b.x - a.x)},
                  {"height", std::fabs(b.y - a.y)}});
    fillAndStroke(out, paint);
    out += "/>\n";
}

void writeEllipse(std::string& out, const Primitive& p, const Paint& paint) {
    shapeOpening(out, "<ellipse", {{"cx", p.x}, {"cy", p.y}, {"rx", p.rx}, {"ry", p.ry}});
    fillAndStroke(out, paint);
    out += "/>\n";
}

void writeLine(std::string& out, const Primitive& p, const Paint& paint) {
    if (p.points.size() < 2) return;
    shapeOpening(
        out, "<line",
        {{"x1", p.points[0].x}, {"y1", p.points[0].y}, {"x2", p.points[1].x}, {"y2", p.points[1].y}});
    attribute(out, "stroke", paint.stroke);
    attribute(out, "stroke-width", paint.strokeWidth);
    out += "/>\n";
}

void writeText(std::string& out, const Primitive& p, const Paint& paint) {
    out += "<text";
    numberAttribute(out, "x", p.x);
    numberAttribute(out, "y", p.y);
    attribute(out, "fill", paint.stroke);
    attribute(out, "text-anchor", p.anchor == Middle ? "middle" : p.anchor == End ? "end" : "start");
    numberAttribute(out, "font-size", p.fontSize);
    attribute(out, "dy", formatNumber(p.dy) + "em");
    if (p.rotation != 0)  // NaN included
        attribute(
            out, "transform",
            "rotate(" + formatNumber(p.rotation) + ' ' + formatNumber(p.x) + ' ' + formatNumber(p.y) + ')');
    out += '>';
    out += xmlEscape(p.text);
    out += "</text>\n";
}

void writePrimitive(std::string& out, const Primitive& p) {
    const Paint paint(p);
    switch (p.kind) {
        case Polyline:
        case Polygon: writePath(out, p, paint); break;
        case Rectangle: writeRectangle(out, p, paint); break;
        case Ellipse:
        case Circle: writeEllipse(out, p, paint); break;
        case Line: writeLine(out, p, paint); break;
        case Text: writeText(out, p, paint); break;
        default: break;
    }
}

// About the bytes that the primitives take, so that the text is allocated once instead of
// growing through ever larger copies of a large sheet's tens of megabytes.
std::size_t expectedBytes(const std::vector<Primitive>& primitives,
                          const std::vector<std::uint32_t>& indices) {
    std::size_t bytes = 0;
    for (const std::uint32_t index : indices) {
        const Primitive& p = primitives[index];
        bytes += kElementBytes + kPointBytes * p.points.size() + p.text.size();
    }
    return bytes;
}

}  // namespace

std::string writeSvg(const Document& document, const Rect& area, const RenderOptions& options) {
    std::string out;
    writeOpening(out, area);
    const std::vector<Primitive>& primitives = document.primitives();
    const std::vector<std::uint32_t> indices = document.query(area, options);
    out.reserve(out.size() + expectedBytes(primitives, indices));
    // One group per layer: the primitives come in layer order.
    bool first = true;
    unsigned currentLayer = 0;
    for (const std::uint32_t index : indices) {
        const Primitive& p = primitives[index];
        if (first || p.layer != currentLayer) {
            if (!first) out += "</g>\n";
            out += "<g";
            attribute(out, "id", layerName(p.layer));
            out += ">\n";
            first = false;
            currentLayer = p.layer;
        }
        writePrimitive(out, p);
    }
    if (!first) out += "</g>\n";
    out += "</svg>\n";
    return out;
}

std::string exportSvg(const Document& document, const RenderOptions& options) {
    RenderOptions all = options;
    all.cullSmallText = false;
    return writeSvg(document, {0, 0, document.width(), document.height()}, all);
}

}  // namespace schq
