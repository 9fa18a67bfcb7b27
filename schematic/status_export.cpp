#include <stdexcept>
#include <string>

#include "pcad/svg.h"
#include "pcad/utf8path.h"
#include "schematic/viewer_core_impl.h"
#include "schq/svg.h"

namespace schematic {

std::string ViewerCore::statusText() const {
    const Impl& d = *impl_;
    const auto n = [](std::uint64_t v) { return std::to_string(v); };
    const std::string page = n(d.currentPage + 1) + "/" + n(pageCount());
    if (d.format == 0) {
        const pcad::Page& p = (*d.pcadPages)[d.currentPage];
        return "P-CAD SCH | sheet " + page + " | " + n(p.lines.size()) + " lines, " + n(p.circles.size()) +
               " circles, " + n(p.texts.size()) + " texts";
    }
    if (d.format == 1) {
        const schq::DocumentStats& s = d.schDoc->stats();
        return "Altium SchDoc | " + n(s.components) + " components, " + n(s.wires) + " wires, " +
               n(s.primitives) + " primitives";
    }
    const sbk::PageStats s = d.sbkDoc->stats();
    return "Mentor SBK | page " + page + " | " + n(s.symbols) + " components, " + n(s.wires) + " wires, " +
           n(s.polylineCount) + " primitives, " + n(s.textCount) + " labels";
}

void ViewerCore::exportSvg(const std::string& path) const {
    const Impl& d = *impl_;
    if (d.pcadPages) {
        pcad::exportSvg((*d.pcadPages)[d.currentPage], path, 2.0, d.dark);
    } else if (d.sbkDoc) {
        sbk::writePageSvg(*d.sbkDoc, path, d.visibleMask);
    } else if (d.schDoc) {
        schq::RenderOptions options;
        options.layerMask = d.visibleMask;
        options.cullSmallText = true;
        options.scale = 1.0;
        std::ofstream out = pcad::openOutputFile(path);
        if (!out.is_open()) throw std::runtime_error("Could not create SVG file");
        const std::string text = schq::exportSvg(*d.schDoc, options);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        // Flushed before the check, so that a failure of the last bytes is not reported as success.
        out.flush();
        if (!out) throw std::runtime_error("Failed to write SVG file");
        out.close();
        if (out.fail()) throw std::runtime_error("Failed to write SVG file");
    }
}

}  // namespace schematic
