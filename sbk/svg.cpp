#include "sbk/document.h"

#include "sbk/page_record.h"
#include "sbk/utf8_path.h"

#include <cmath>
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
    std::string out;
    const double w = r.maxX - r.minX;
    const double h = r.maxY - r.minY;
    const double mirror = r.minY + r.maxY;
    std::string line;

    line = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"";
    appendNumber(line, r.minX);
    line += ' ';
    appendNumber(line, r.minY);
    line += ' ';
    appendNumber(line, w);
    line += ' ';
    appendNumber(line, h);
    line += "\" width=\"1600\" height=\"1240\">\n";
    line += "<rect x=\"";
    appendNumber(line, r.minX);
    line += "\" y=\"";
    appendNumber(line, r.minY);
    line += "\" width=\"";
    appendNumber(line, w);
    line += "\" height=\"";
    appendNumber(line, h);
    line += "\" fill=\"#000\"/>\n";
    out += line;

    for (const Polyline& pl : r.polylines) {
        if (!onMask(layerMask, pl.layer)) continue;
        line = "<g fill=\"none\" stroke=\"";
        line += colourText(layerColour(pl.layer));
        line += "\" stroke-width=\"";
        line += std::to_string(layerStrokeWidth(pl.layer));
        line += "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">";
        const auto& pts = pl.points;
        if (pl.shape == 1 && pts.size() == 3) {
            line += "<path d=\"M ";
            appendNumber(line, pts[0].x);
            line += ',';
            appendNumber(line, mirror - pts[0].y);
            line += " Q ";
            appendNumber(line, pts[1].x);
            line += ',';
            appendNumber(line, mirror - pts[1].y);
            line += ' ';
            appendNumber(line, pts[2].x);
            line += ',';
            appendNumber(line, mirror - pts[2].y);
            line += "\"/>";
        } else if (pl.shape == 2 && pts.size() == 2) {
            line += "<ellipse cx=\"";
            appendNumber(line, (pts[0].x + pts[1].x) * 0.5);
            line += "\" cy=\"";
            appendNumber(line, mirror - (pts[0].y + pts[1].y) * 0.5);
            line += "\" rx=\"";
            appendNumber(line, std::fabs(pts[1].x - pts[0].x) * 0.5);
            line += "\" ry=\"";
            appendNumber(line, std::fabs(pts[1].y - pts[0].y) * 0.5);
            line += "\"/>";
        } else {
            line += "<polyline points=\"";
            for (const Point& p : pts) {
                appendNumber(line, p.x);
                line += ',';
                appendNumber(line, mirror - p.y);
                line += ' ';
            }
            line += "\"/>";
        }
        line += "</g>\n";
        out += line;
    }

    for (const Text& t : r.texts) {
        if (!onMask(layerMask, t.layer)) continue;
        line = "<text x=\"";
        appendNumber(line, t.x);
        line += "\" y=\"";
        appendNumber(line, mirror - t.y);
        line += "\" fill=\"";
        line += colourText(layerColour(t.layer));
        line += "\" font-family=\"DejaVu Sans,Arial,sans-serif\" font-size=\"";
        appendNumber(line, t.height);
        line += "\" text-anchor=\"";
        line += t.anchor == 1 ? "end" : "start";
        line += "\" dominant-baseline=\"alphabetic\">";
        line += xmlEscape(t.text);
        line += "</text>\n";
        out += line;
    }

    out += "</svg>\n";
    switch (common::writeFile(path, out)) {
        case common::WriteStatus::BadPath: throwInvalidPath();
        case common::WriteStatus::CannotCreate: throw std::runtime_error("Cannot create SVG file: " + path);
        case common::WriteStatus::WriteFailed: throw std::runtime_error("Cannot finish writing SVG");
        case common::WriteStatus::Ok: break;
    }
}

}  // namespace sbk
