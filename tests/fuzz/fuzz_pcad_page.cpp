// Builds a P-CAD page from arbitrary bytes (any doubles, NaN and infinities included) and
// runs bus-entry synthesis, the index, a query and the SVG writer over it: none of them
// may crash, hang or reach undefined behaviour whatever the page holds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "pcad/page.h"
#include "pcad/svg.h"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    template <typename T>
    T take() {
        T v{};
        if (pos <= size && sizeof(T) <= size - pos) {
            std::memcpy(&v, data + pos, sizeof(T));
            pos += sizeof(T);
        } else {
            pos = size;
        }
        return v;
    }
    bool done() const { return pos >= size; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader r{data, size};
    pcad::Page page;
    if (r.take<std::uint8_t>() & 1) {
        page.width = r.take<double>();
        page.height = r.take<double>();
        page.originX = r.take<double>();
        page.originY = r.take<double>();
    }
    const double scale = r.take<double>();
    const bool dark = r.take<std::uint8_t>() & 1;
    for (int n = 0; n < 256 && !r.done(); ++n) {
        switch (r.take<std::uint8_t>() % 3) {
            case 0: {
                pcad::Line l;
                l.x1 = r.take<double>();
                l.y1 = r.take<double>();
                l.x2 = r.take<double>();
                l.y2 = r.take<double>();
                l.width = r.take<float>();
                l.itemClass = r.take<std::uint8_t>();
                page.lines.push_back(l);
                break;
            }
            case 1: {
                pcad::Circle c;
                c.x = r.take<double>();
                c.y = r.take<double>();
                c.diameter = r.take<float>();
                c.width = r.take<float>();
                c.itemClass = r.take<std::uint8_t>();
                c.filled = r.take<std::uint8_t>();
                page.circles.push_back(c);
                break;
            }
            default: {
                pcad::Text t;
                t.x = r.take<double>();
                t.y = r.take<double>();
                t.height = r.take<float>();
                t.rotation = r.take<float>();
                t.justify = r.take<std::uint8_t>();
                t.itemClass = r.take<std::uint8_t>();
                t.hasBox = r.take<std::uint8_t>() & 1;
                t.hasExtent = r.take<std::uint8_t>() & 1;
                t.boxX0 = r.take<double>();
                t.boxY0 = r.take<double>();
                t.boxX1 = r.take<double>();
                t.boxY1 = r.take<double>();
                t.extentWidth = r.take<double>();
                t.extentHeight = r.take<double>();
                const std::size_t len = r.take<std::uint8_t>() % 16;
                for (std::size_t i = 0; i < len && !r.done(); ++i) t.text.push_back(r.take<char>());
                page.texts.push_back(t);
                break;
            }
        }
    }
    page.addBusEntries();
    page.buildIndex();
    const double q0 = r.take<double>(), q1 = r.take<double>();
    std::size_t hits = 0;
    page.query(q0, q1, q0 + 50, q1 + 50, [&hits](const pcad::Item&) { ++hits; });
    (void)pcad::renderSvg(page, scale, dark);
    return 0;
}
