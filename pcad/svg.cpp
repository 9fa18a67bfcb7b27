#include "pcad/svg.h"

#include <cmath>
#include <ios>
#include <sstream>
#include <stdexcept>

#include "pcad/paint.h"
#include "pcad/utf8path.h"

namespace pcad {
namespace {

class SvgCanvas : public Canvas {
public:
    SvgCanvas() {
        out_.setf(std::ios::fixed, std::ios::floatfield);
        out_.precision(3);
    }

    std::ostringstream& out() { return out_; }

    void line(double x1, double y1, double x2, double y2, double strokeWidth, std::uint32_t colour) override {
        out_ << "<path d=\"M" << x1 << ' ' << y1 << " L" << x2 << ' ' << y2 << "\" stroke=\""
             << svgColour(colour) << "\" stroke-width=\"" << strokeWidth << "\" fill=\"none\"/>\n";
    }

    void circle(double cx, double cy, double radius, double strokeWidth, std::uint32_t colour,
                bool filled) override {
        const std::string c = svgColour(colour);
        out_ << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"" << radius << "\" fill=\""
             << (filled ? c : std::string("none")) << "\" stroke=\"" << c << "\" stroke-width=\""
             << strokeWidth << "\"/>\n";
    }

    void text(double, double, const Text& t, const double& x0, const double& y0, const double& x1,
              const double& y1, std::uint32_t colour) override {
        // Written as negations so that a NaN rectangle is left out too.
        if (!(x0 < x1) || !(y0 < y1) || t.text.empty()) return;
        std::size_t n = 0;
        for (char ch : t.text) {
            if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++n;
        }
        if (n == 0) return;
        const double sx = 100.0 / (static_cast<double>(n) * 52);

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

        out_ << "<svg x=\"" << x0 << "\" y=\"" << y0 << "\" width=\"" << (x1 - x0) << "\" height=\""
             << (y1 - y0) << "\" viewBox=\"0 0 100 100\" preserveAspectRatio=\"none\" overflow=\"hidden\">";
        if (!transform.empty()) out_ << "<g transform=\"" << transform << "\">";
        out_ << "<text transform=\"scale(" << sx
             << ",1)\" x=\"0\" y=\"84\" font-family=\"Arial, "
                "sans-serif\" font-size=\""
             << 90.0 << "\" fill=\"" << svgColour(colour) << "\">" << xmlEscape(t.text) << "</text>";
        if (!transform.empty()) out_ << "</g>";
        out_ << "</svg>\n";
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

    std::ostringstream out_;
};

}  // namespace

std::string svgColour(std::uint32_t colour) {
    static const char digits[] = "0123456789abcdef";
    std::string s = "#";
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t byte = (colour >> shift) & 0xFF;
        s.push_back(digits[byte >> 4]);
        s.push_back(digits[byte & 0xF]);
    }
    return s;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        switch (b) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\n': out.push_back('\n'); break;
            default:
                if (b < 0x20) break;
                // U+FFFF (what the decoder makes of the byte 0x98) is not allowed in XML;
                // write U+FFFD instead so that the document stays well-formed.
                if (b == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                    static_cast<unsigned char>(text[i + 2]) == 0xBF) {
                    out += "\xEF\xBF\xBD";
                    i += 2;
                    break;
                }
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
    std::ostringstream& out = canvas.out();
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h
        << "\" viewBox=\"0 0 " << w << ' ' << h << "\">\n";
    out << "<rect width=\"100%\" height=\"100%\" fill=\"" << (dark ? "#080a0d" : "#ffffff") << "\"/>\n";
    paint(page, view, canvas, dark);
    out << "</svg>\n";
    return out.str();
}

void exportSvg(const Page& page, const std::string& utf8Path, double scale, bool dark) {
    std::ofstream file = openOutputFile(utf8Path);
    if (!file.is_open()) throw std::runtime_error("Cannot create SVG: " + utf8Path);
    const std::string text = renderSvg(page, scale, dark);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    // A full disk shows only here; it must not pass for success.
    if (!file) throw std::runtime_error("Failed to write SVG file");
}

}  // namespace pcad
