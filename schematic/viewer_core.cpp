#include "schematic/viewer_core.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "pcad/load.h"
#include "sbk/document.h"
#include "schematic/path_rules.h"
#include "schematic/viewer_core_impl.h"
#include "schq/reader.h"

namespace schematic {

namespace {

constexpr double kMinScale = 1e-5;
constexpr double kMaxScale = 10000;

double clampScale(double s) {
    // A NaN ratio cannot arise from a sanitised extent, but never let one through.
    if (!(s >= kMinScale)) return kMinScale;
    return std::min(s, kMaxScale);
}

std::vector<LayerInfo> pcadLayers() {
    return {{"Sheet frame", 1}, {"Graphics and tables", 2},   {"Symbols and junctions", 4}, {"Wires", 8},
            {"Buses", 16},      {"Text, pins and labels", 32}};
}

std::vector<LayerInfo> schDocLayers() {
    return {
        {"Graphics", 1}, {"Wires", 2}, {"Pins", 4}, {"Pin names and numbers", 8}, {"Labels and text", 16}};
}

std::vector<LayerInfo> sbkLayers() {
    std::vector<LayerInfo> layers;
    for (std::uint8_t i = 0; i < sbk::kLayerCount; ++i) {
        std::string name = sbk::layerName(i);
        std::replace(name.begin(), name.end(), '_', ' ');
        layers.push_back({name, 1u << i});
    }
    return layers;
}

}  // namespace

ViewerCore::Impl::Impl(const std::string& p) : path(p) {}
ViewerCore::Impl::~Impl() = default;

ViewerCore::ViewerCore(const std::string& path) : impl_(std::make_unique<Impl>(path)) {
    Impl& d = *impl_;
    // Decoding the whole path strictly first: an invalid one fails with the conversion's error.
    fromUtf8(path);
    const std::string ext = lowerExtensionOf(path);
    if (ext == ".sch") {
        auto pages = std::make_unique<std::vector<pcad::Page>>(pcad::loadFile(path));
        if (pages->empty()) throw std::runtime_error("P-CAD file has no pages");
        d.format = 0;
        d.pcadPages = std::move(pages);
        d.layers = pcadLayers();
        d.ySign = -1;
    } else if (ext == ".schdoc" || ext == ".schdot") {
        d.schDoc = std::make_unique<schq::Document>(schq::readSchDoc(path));
        d.format = 1;
        d.layers = schDocLayers();
        d.ySign = 1;
    } else if (ext == ".sbk") {
        d.sbkDoc = std::make_unique<sbk::Document>(sbk::loadPage(path, 0));
        d.format = 2;
        d.layers = sbkLayers();
        d.ySign = -1;
    } else {
        throw std::runtime_error("Unsupported extension. Expected .SCH, .SchDoc, .SchDot or .SBK");
    }
    d.visibleMask = 0;
    for (const LayerInfo& layer : d.layers) d.visibleMask |= layer.bit;
    fitToView();
}

ViewerCore::~ViewerCore() = default;

std::size_t ViewerCore::pageCount() const {
    const Impl& d = *impl_;
    if (d.pcadPages) return d.pcadPages->size();
    if (d.sbkDoc) {
        // A size is 32 bits wide in the i386 build.
        const std::uint64_t n = d.sbkDoc->pageCount();
        return static_cast<std::size_t>(std::min<std::uint64_t>(n, std::numeric_limits<std::size_t>::max()));
    }
    return 1;
}

std::size_t ViewerCore::currentPage() const { return impl_->currentPage; }

std::string ViewerCore::pageName(std::size_t index) const {
    const Impl& d = *impl_;
    if (index >= pageCount()) return {};
    if (d.pcadPages) return (*d.pcadPages)[index].name;
    if (d.sbkDoc) return "Page " + std::to_string(index + 1);
    return "Schematic";
}

const std::vector<LayerInfo>& ViewerCore::layers() const { return impl_->layers; }
void ViewerCore::setVisibleLayers(std::uint32_t mask) { impl_->visibleMask = mask; }
void ViewerCore::toggleLayer(std::uint32_t bits) { impl_->visibleMask ^= bits; }
std::uint32_t ViewerCore::visibleLayers() const { return impl_->visibleMask; }
void ViewerCore::setDark(bool dark) { impl_->dark = dark; }
double ViewerCore::scale() const { return impl_->scale; }

void ViewerCore::fitToView() {
    Impl& d = *impl_;
    double x0 = 0, y0 = 0, x1 = 1, y1 = 1;
    if (d.pcadPages) {
        const pcad::Page& page = (*d.pcadPages)[d.currentPage];
        x0 = page.originX;
        x1 = page.originX + page.width;
        y0 = page.originY;
        y1 = page.originY + page.height;
    } else if (d.schDoc) {
        x1 = d.schDoc->width();
        y1 = d.schDoc->height();
    } else if (d.sbkDoc) {
        const sbk::Rect b = d.sbkDoc->bounds();
        x0 = b.minX;
        y0 = b.minY;
        x1 = b.maxX;
        y1 = b.maxY;
    }
    // An ASCII file may state "nan" or "inf": such an extent is fitted as 1 unit about 0.
    double w = x1 - x0, h = y1 - y0;
    double cx = (x0 + x1) * 0.5, cy = (y0 + y1) * 0.5;
    if (!std::isfinite(w) || !std::isfinite(cx)) {
        w = 1;
        cx = 0;
    }
    if (!std::isfinite(h) || !std::isfinite(cy)) {
        h = 1;
        cy = 0;
    }
    const double sx = (d.viewportWidth - 40) / std::max(w, 1.0);
    const double sy = (d.viewportHeight - 40) / std::max(h, 1.0);
    const double s = clampScale(sy < sx ? sy : sx);
    const double ox = d.viewportWidth * 0.5 - cx * s;
    const double oy = d.viewportHeight * 0.5 - cy * d.ySign * s;
    d.scale = s;
    d.offsetX = std::isfinite(ox) ? ox : d.viewportWidth * 0.5;
    d.offsetY = std::isfinite(oy) ? oy : d.viewportHeight * 0.5;
}

void ViewerCore::setViewportSize(int width, int height) {
    Impl& d = *impl_;
    if (width <= 0) width = 1;
    if (height <= 0) height = 1;
    const double ox = width * 0.5 - ((d.viewportWidth * 0.5 - d.offsetX) / d.scale) * d.scale;
    const double oy =
        height * 0.5 - ((d.viewportHeight * 0.5 - d.offsetY) / (d.ySign * d.scale)) * d.ySign * d.scale;
    d.viewportWidth = width;
    d.viewportHeight = height;
    if (std::isfinite(ox)) d.offsetX = ox;
    if (std::isfinite(oy)) d.offsetY = oy;
}

void ViewerCore::pan(double dx, double dy) {
    Impl& d = *impl_;
    const double ox = d.offsetX + dx, oy = d.offsetY + dy;
    if (std::isfinite(ox)) d.offsetX = ox;
    if (std::isfinite(oy)) d.offsetY = oy;
}

void ViewerCore::zoomAt(double x, double y, double factor) {
    Impl& d = *impl_;
    if (!std::isfinite(factor) || factor <= 0) return;
    const double old = d.scale;
    const double s = clampScale(old * factor);
    const double ox = x - ((x - d.offsetX) / old) * s;
    const double oy = y - ((y - d.offsetY) / (d.ySign * old)) * d.ySign * s;
    if (!std::isfinite(ox) || !std::isfinite(oy)) return;
    d.scale = s;
    d.offsetX = ox;
    d.offsetY = oy;
}

void ViewerCore::selectPage(std::size_t index) {
    Impl& d = *impl_;
    if (index >= pageCount()) throw std::out_of_range("Invalid sheet number");
    if (d.sbkDoc && index != d.currentPage) {
        auto next = std::make_unique<sbk::Document>(sbk::loadPage(d.path, index));
        d.sbkDoc = std::move(next);
    }
    d.currentPage = index;
    fitToView();
}

}  // namespace schematic
