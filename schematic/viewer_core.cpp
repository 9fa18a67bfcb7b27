// The viewer core: the open document, its layers and their visibility, the theme, and fit, zoom and pan.
#include "schematic/viewer_core.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "schematic/document.h"

namespace schematic {

namespace {

constexpr double kMinScale = 1e-5;
constexpr double kMaxScale = 10000;

double clampScale(double s) {
    // A NaN ratio cannot arise from a sanitised extent, but never let one through.
    if (!(s >= kMinScale)) return kMinScale;
    return std::min(s, kMaxScale);
}

}  // namespace

struct ViewerCore::Impl {
    std::unique_ptr<Document> document;
    std::vector<LayerInfo> layers;
    std::uint32_t visibleMask = 0;
    bool dark = true;
    ViewTransform view;
};

ViewerCore::ViewerCore(const std::string& path) : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.document = openDocument(path);
    d.layers = d.document->layers();
    d.view.ySign = d.document->ySign();
    for (const LayerInfo& layer : d.layers) d.visibleMask |= layer.bit;
    fitToView();
}

ViewerCore::~ViewerCore() = default;

std::size_t ViewerCore::pageCount() const { return impl_->document->pageCount(); }
std::size_t ViewerCore::currentPage() const { return impl_->document->currentPage(); }

std::string ViewerCore::pageName(std::size_t index) const { return impl_->document->pageName(index); }

const std::vector<LayerInfo>& ViewerCore::layers() const { return impl_->layers; }
void ViewerCore::setVisibleLayers(std::uint32_t mask) { impl_->visibleMask = mask; }
void ViewerCore::toggleLayer(std::uint32_t bits) { impl_->visibleMask ^= bits; }
std::uint32_t ViewerCore::visibleLayers() const { return impl_->visibleMask; }
void ViewerCore::setDark(bool dark) { impl_->dark = dark; }
double ViewerCore::scale() const { return impl_->view.scale; }

void ViewerCore::paint(DrawTarget& target) const {
    const Impl& d = *impl_;
    d.document->paint(target, d.view, d.visibleMask, d.dark);
}

std::string ViewerCore::statusText() const { return impl_->document->statusText(); }

void ViewerCore::exportSvg(const std::string& path) const {
    const Impl& d = *impl_;
    d.document->exportSvg(path, d.visibleMask, d.dark);
}

void ViewerCore::fitToView() {
    ViewTransform& v = impl_->view;
    const Extent e = impl_->document->extent();
    // An ASCII file may state "nan" or "inf": such an extent is fitted as 1 unit about 0.
    double w = e.x1 - e.x0, h = e.y1 - e.y0;
    double cx = (e.x0 + e.x1) * 0.5, cy = (e.y0 + e.y1) * 0.5;
    if (!std::isfinite(w) || !std::isfinite(cx)) {
        w = 1;
        cx = 0;
    }
    if (!std::isfinite(h) || !std::isfinite(cy)) {
        h = 1;
        cy = 0;
    }
    const double sx = (v.width - 40) / std::max(w, 1.0);
    const double sy = (v.height - 40) / std::max(h, 1.0);
    const double s = clampScale(sy < sx ? sy : sx);
    const double ox = v.width * 0.5 - cx * s;
    const double oy = v.height * 0.5 - cy * v.ySign * s;
    v.scale = s;
    v.offsetX = std::isfinite(ox) ? ox : v.width * 0.5;
    v.offsetY = std::isfinite(oy) ? oy : v.height * 0.5;
}

void ViewerCore::setViewportSize(int width, int height) {
    ViewTransform& v = impl_->view;
    if (width <= 0) width = 1;
    if (height <= 0) height = 1;
    const double ox = width * 0.5 - ((v.width * 0.5 - v.offsetX) / v.scale) * v.scale;
    const double oy = height * 0.5 - ((v.height * 0.5 - v.offsetY) / (v.ySign * v.scale)) * v.ySign * v.scale;
    v.width = width;
    v.height = height;
    if (std::isfinite(ox)) v.offsetX = ox;
    if (std::isfinite(oy)) v.offsetY = oy;
}

void ViewerCore::pan(double dx, double dy) {
    ViewTransform& v = impl_->view;
    const double ox = v.offsetX + dx, oy = v.offsetY + dy;
    if (std::isfinite(ox)) v.offsetX = ox;
    if (std::isfinite(oy)) v.offsetY = oy;
}

void ViewerCore::zoomAt(double x, double y, double factor) {
    ViewTransform& v = impl_->view;
    if (!std::isfinite(factor) || factor <= 0) return;
    const double old = v.scale;
    const double s = clampScale(old * factor);
    const double ox = x - ((x - v.offsetX) / old) * s;
    const double oy = y - ((y - v.offsetY) / (v.ySign * old)) * v.ySign * s;
    if (!std::isfinite(ox) || !std::isfinite(oy)) return;
    v.scale = s;
    v.offsetX = ox;
    v.offsetY = oy;
}

void ViewerCore::selectPage(std::size_t index) {
    impl_->document->selectPage(index);
    fitToView();
}

}  // namespace schematic
