// The SVG canvas and the writer of a whole P-CAD page.
#include "pcad/svg.h"

#include <cmath>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/file.h"
#include "common/fitted_text.h"
#include "common/svg.h"
#include "common/utf8.h"
#include "pcad/paint.h"
#include "pcad/text_layout.h"
#include "pcad/utf8path.h"

namespace pcad {
namespace {

// Every number is written in fixed point with three decimals (858.000, 0.385, -4.500).
class SvgCanvas : public Canvas {
public:
    std::string& out() { return out_; }

    // Appends the number, then the text that follows it.
    SvgCanvas& num(double v, const char* then = "") {
        common::appendFixed3(out_, v);
        out_ += then;
        return *this;
    }

    void line(double x1, double y1, double x2, double y2, double strokeWidth, std::uint32_t colour) override {
        out_ += "<path d=\"M";
        num(x1, " ").num(y1, " L").num(x2, " ").num(y2, "\" stroke=\"");
        out_ += svgColour(colour);
        out_ += "\" stroke-width=\"";
        num(strokeWidth, "\" fill=\"none\"/>\n");
    }

    void circle(double cx, double cy, double radius, double strokeWidth, std::uint32_t colour,
                bool filled) override {
        const std::string c = svgColour(colour);
        out_ += "<circle cx=\"";
        num(cx, "\" cy=\"").num(cy, "\" r=\"").num(radius, "\" fill=\"");
        out_ += filled ? c : std::string("none");
        out_ += "\" stroke=\"";
        out_ += c;
        out_ += "\" stroke-width=\"";
        num(strokeWidth, "\"/>\n");
    }

    void text(double, double, const Text& t, const double& x0, const double& y0, const double& x1,
              const double& y1, std::uint32_t colour) override {
        // Written as negations so that a NaN rectangle is left out too.
        if (!(x0 < x1) || !(y0 < y1) || t.text.empty()) return;
        const TextLines lines = measureLines(t.text);
        if (lines.longestCodePoints == 0) return;

        const int a = quarterAngle(t.rotation);
        std::string transform;
        if (a == 90) {
            transform = "translate(100,0) rotate(90)";
        } else if (a == 180) {
            transform = "translate(100,100) rotate(180)";
        } else if (a == 270) {
            transform = "translate(0,100) rotate(-90)";
        } else if (a != 0) {
            transform = "translate(50,50) rotate(" + std::to_string(a) + ") translate(-50,-50)";
        }

        out_ += "<svg x=\"";
        num(x0, "\" y=\"").num(y0, "\" width=\"").num(x1 - x0, "\" height=\"");
        num(y1 - y0, "\" viewBox=\"0 0 100 100\" preserveAspectRatio=\"none\" overflow=\"hidden\">");
        if (!transform.empty()) out_ += "<g transform=\"" + transform + "\">";
        if (lines.count > 1) {
            stackedLines(t, lines, colour);
        } else {
            textElement(t.text, lines.longestCodePoints, colour);
        }
        if (!transform.empty()) out_ += "</g>";
        out_ += "</svg>\n";
    }

private:
    // Rotation rounded to whole degrees (halves away from zero) and reduced to 0 .. 359.
    // Reduced in floating point first: a huge or non-finite rotation must not reach the
    // integer conversion; a non-finite one counts as 0.
    static int quarterAngle(float rotation) {
        const float r = std::round(rotation);
        if (!std::isfinite(r)) return 0;
        const int m = static_cast<int>(std::fmod(static_cast<double>(r), 360.0));
        return ((m % 360) + 360) % 360;
    }

    // One line set in the whole fitted-text box.
    void textElement(const std::string& line, std::size_t codePointCount, std::uint32_t colour) {
        out_ += "<text transform=\"scale(";
        num(common::fitted::widthScale(codePointCount), ",1)\" x=\"0\" y=\"");
        out_ += std::to_string(static_cast<int>(common::fitted::kBaseline));
        out_ += "\" font-family=\"Arial, sans-serif\" font-size=\"";
        num(common::fitted::kFontSize, "\" fill=\"");
        out_ += svgColour(colour);
        out_ += "\">";
        out_ += xmlEscape(line);
        out_ += "</text>";
    }

    // Each line set in its own row of the box, scaled there from the whole box.
    void stackedLines(const Text& t, const TextLines& lines, std::uint32_t colour) {
        const double fx = justifyX(t.justify);
        forEachLine(t.text, [&](std::string_view line, std::size_t index) {
            const std::size_t n = common::codePoints(line);
            if (n == 0) return;
            const common::Box row = lineBox(lines, index, n, fx);
            out_ += "<g transform=\"translate(";
            num(row.x0, ",").num(row.y0, ") scale(");
            num((row.x1 - row.x0) / common::fitted::kBox, ",")
                .num((row.y1 - row.y0) / common::fitted::kBox, ")\">");
            textElement(std::string(line), n, colour);
            out_ += "</g>";
        });
    }

    std::string out_;
};

}  // namespace

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (const char* entity = common::xmlEntity(text[i])) {
            out += entity;
        } else if (b == '\n') {
            out.push_back('\n');
        } else if (b < 0x20) {
            // other control bytes are not allowed in XML
        } else if (b == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                   static_cast<unsigned char>(text[i + 2]) == 0xBF) {
            // U+FFFF (what the decoder makes of the byte 0x98) is not allowed in XML either;
            // U+FFFD keeps the document well-formed.
            out += "\xEF\xBF\xBD";
            i += 2;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

std::string renderSvg(const Page& page, double scale, bool dark) {
    double s = scale;
    if (s < 0.2) s = 0.2;
    if (s > 40) s = 40;
    if (std::isnan(s)) s = 0.2;
    const double w = (page.width + 8) * s;
    const double h = (page.height + 8) * s;
    View view;
    view.width = w;
    view.height = h;
    view.scale = s;
    view.centerX = page.width * 0.5 + page.originX;
    view.centerY = page.height * 0.5 + page.originY;

    SvgCanvas canvas;
    std::string& out = canvas.out();
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    canvas.num(w, "\" height=\"").num(h, "\" viewBox=\"0 0 ").num(w, " ").num(h, "\">\n");
    out += "<rect width=\"100%\" height=\"100%\" fill=\"";
    out += dark ? "#080a0d" : "#ffffff";
    out += "\"/>\n";
    paint(page, view, canvas, dark);
    out += "</svg>\n";
    return std::move(out);
}

void exportSvg(const Page& page, const std::string& utf8Path, double scale, bool dark) {
    switch (common::writeFile(utf8Path, renderSvg(page, scale, dark))) {
        case common::WriteStatus::BadPath: throwInvalidPath();
        case common::WriteStatus::CannotCreate: throw std::runtime_error("Cannot create SVG: " + utf8Path);
        // A full disk shows only here; it must not pass for success.
        case common::WriteStatus::WriteFailed: throw std::runtime_error("Failed to write SVG file");
        case common::WriteStatus::Ok: break;
    }
}

}  // namespace pcad
