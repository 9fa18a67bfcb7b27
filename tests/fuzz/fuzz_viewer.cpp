// Arbitrary files of every kind through the viewer core, with arbitrary views: the first byte
// picks the extension, the next 40 bytes give the viewport, a zoom and a pan, the rest is the
// file. Opens, pages, paints and moves the view; the view must never hold a non-finite scale.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "schematic/draw_target.h"
#include "schematic/viewer_core.h"

namespace {

constexpr std::size_t kHeader = 1 + 4 + 4 + 4 * 8;

std::string inputPath(const char* extension) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = ".";
    // One file per process, so that parallel jobs do not share it.
    return (dir / ("fuzz_viewer_" + std::to_string(::getpid()) + extension)).string();
}

// Touches every argument, so that uninitialised or freed data would show under the sanitizers.
class CheckingTarget final : public schematic::DrawTarget {
public:
    void polyline(const schematic::Point* points, std::size_t count, double width, schematic::Colour stroke,
                  bool, schematic::Colour fill) override {
        for (std::size_t i = 0; i < count; ++i) sum += points[i].x + points[i].y;
        sum += width + stroke + fill;
    }
    void ellipse(const schematic::Box& box, double width, schematic::Colour stroke,
                 schematic::Colour fill) override {
        sum += box.x0 + box.y1 + width + stroke + fill;
    }
    void text(const schematic::Point& anchor, const std::string& text, const schematic::TextStyle& style,
              schematic::Colour colour) override {
        sum += anchor.x + anchor.y + static_cast<double>(text.size()) + style.height + style.angle +
               style.baseline + style.boxWidth + style.align + colour;
    }
    double sum = 0;
};

void checkView(const schematic::ViewerCore& core) {
    const double s = core.scale();
    if (!(s >= 1e-5 && s <= 10000)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader) return 0;
    static const std::string paths[3] = {inputPath(".sch"), inputPath(".SchDoc"), inputPath(".sbk")};
    const std::string& path = paths[data[0] % 3];
    std::int32_t width, height;
    double zoomX, zoomY, factor, pan;
    std::memcpy(&width, data + 1, 4);
    std::memcpy(&height, data + 5, 4);
    std::memcpy(&zoomX, data + 9, 8);
    std::memcpy(&zoomY, data + 17, 8);
    std::memcpy(&factor, data + 25, 8);
    std::memcpy(&pan, data + 33, 8);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + kHeader),
                  static_cast<std::streamsize>(size - kHeader));
        if (!out) return 0;
    }
    try {
        schematic::ViewerCore core(path);
        checkView(core);
        CheckingTarget target;
        core.paint(target);
        // Small viewports keep the work bounded; the sign and zero cases stay reachable.
        core.setViewportSize(width % 4096, height % 4096);
        core.fitToView();
        checkView(core);
        core.zoomAt(zoomX, zoomY, factor);
        core.pan(pan, -pan);
        checkView(core);
        core.toggleLayer(data[0]);
        core.setDark((data[0] & 0x80) != 0);
        core.paint(target);
        (void)core.statusText();
        const std::size_t last = core.pageCount() - 1;
        (void)core.pageName(last);
        try {
            core.selectPage(last);
            checkView(core);
            core.paint(target);
        } catch (const std::exception&) {
        }
    } catch (const std::exception&) {
    }
    return 0;
}
