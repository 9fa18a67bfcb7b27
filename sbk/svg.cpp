// Writing an SBK page as an SVG file: the frame, the layered polylines and texts, locale-free numbers.
#include "sbk/document.h"

#include "sbk/page_record.h"
#include "sbk/utf8_path.h"

#include <cmath>
#include <initializer_list>
#include <ostream>
#include <stdexcept>

#include "common/file.h"
#include "common/svg.h"

namespace sbk {

namespace {

// Fixed-point, three decimals, independent of the locale.
void appendNumber(std::string& out, double v) { common::appendFixed3(out, v); }

// Layer colours are 0xRRGGBB, the shared writer takes red in the low byte.
std::string colourText(std::uint32_t rgb) {
    const std::uint32_t bgr = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
    return common::svgColour(bgr);
}

bool onMask(std::uint32_t mask, std::uint8_t layer) {
    return (mask & (std::uint32_t{1} << (layer % 32))) != 0;
}

// A number and the text written before it.
struct Led {
    const char* lead;
    double value;
};

void appendLed(std::string& out, std::initializer_list<Led> items) {
    for (const Led& item : items) {
        out += item.lead;
        appendNumber(out, item.value);
    }
}

// The root element and the black page behind the drawing.
void writeOpening(std::string& out, const Rect& page) {
    const double w = page.maxX - page.minX;
    const double h = page.maxY - page.minY;
    appendLed(out, {{"<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"", page.minX},
                    {" ", page.minY},
                    {" ", w},
                    {" ", h}});
    out += "\" width=\"1600\" height=\"1240\">\n";
    appendLed(out,
              {{"<rect x=\"", page.minX}, {"\" y=\"", page.minY}, {"\" width=\"", w}, {"\" height=\"", h}});
    out += "\" fill=\"#000\"/>\n";
}

// The page's y grows upwards and SVG's downwards: y is written as mirror - y.
void writeShape(std::string& out, const Polyline& pl, double mirror) {
    const std::vector<Point>& pts = pl.points;
    if (pl.shape == ShapeCurve && pts.size() == 3) {
        appendLed(out, {{"<path d=\"M ", pts[0].x},
                        {",", mirror - pts[0].y},
                        {" Q ", pts[1].x},
                        {",", mirror - pts[1].y},
                        {" ", pts[2].x},
                        {",", mirror - pts[2].y}});
    } else if (pl.shape == ShapeEllipse && pts.size() == 2) {
        appendLed(out, {{"<ellipse cx=\"", (pts[0].x + pts[1].x) * 0.5},
                        {"\" cy=\"", mirror - (pts[0].y + pts[1].y) * 0.5},
                        {"\" rx=\"", std::fabs(pts[1].x - pts[0].x) * 0.5},
                        {"\" ry=\"", std::fabs(pts[1].y - pts[0].y) * 0.5}});
    } else {
        out += "<polyline points=\"";
        for (const Point& p : pts) {
            appendLed(out, {{"", p.x}, {",", mirror - p.y}});
            out += ' ';
        }
    }
    out += "\"/>";
}

void writePolyline(std::string& out, const Polyline& pl, double mirror) {
    out += "<g fill=\"none\" stroke=\"";
    out += colourText(layerColour(pl.layer));
    out += "\" stroke-width=\"";
    out += std::to_string(layerStrokeWidth(pl.layer));
    out += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">";
    writeShape(out, pl, mirror);
    out += "</g>\n";
}

void writeText(std::string& out, const Text& t, double mirror) {
    appendLed(out, {{"<text x=\"", t.x}, {"\" y=\"", mirror - t.y}});
    out += "\" fill=\"";
    out += colourText(layerColour(t.layer));
    out += "\" font-family=\"DejaVu Sans,Arial,sans-serif\" font-size=\"";
    appendNumber(out, t.height);
    out += "\" text-anchor=\"";
    out += t.anchor == 1 ? "end" : "start";
    out += "\" dominant-baseline=\"alphabetic\">";
    out += xmlEscape(t.text);
    out += "</text>\n";
}

}  // namespace

void writeColour(std::ostream& out, std::uint32_t rgb) { out << colourText(rgb & 0xFFFFFF); }

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (const char* entity = common::xmlEntity(c))
            out += entity;
        else if (b >= 0x20 || b == 0x09 || b == 0x0A || b == 0x0D)
            // Other control bytes are not allowed in XML at all.
            out.push_back(c);
    }
    return out;
}

void writePageSvg(const Document& doc, const std::string& path, std::uint32_t layerMask) {
    doc.writeSvg(path, layerMask);
}

void Document::writeSvg(const std::string& path, std::uint32_t layerMask) const {
    const Record& r = *rec_;
    const double mirror = r.minY + r.maxY;
    std::string out;
    writeOpening(out, Rect{r.minX, r.minY, r.maxX, r.maxY});
    for (const Polyline& pl : r.polylines)
        if (onMask(layerMask, pl.layer)) writePolyline(out, pl, mirror);
    for (const Text& t : r.texts)
        if (onMask(layerMask, t.layer)) writeText(out, t, mirror);
    out += "</svg>\n";
    switch (common::writeFile(path, out)) {
        case common::WriteStatus::BadPath: throwInvalidPath();
        case common::WriteStatus::CannotCreate: throw std::runtime_error("Cannot create SVG file: " + path);
        case common::WriteStatus::WriteFailed: throw std::runtime_error("Cannot finish writing SVG");
        case common::WriteStatus::Ok: break;
    }
}

}  // namespace sbk
