// The format-neutral document and view between the three readers and the window: opens a file
// by its extension, keeps the current page, the layers and their visibility, the theme and the
// view transform, and paints, summarises and exports the current page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "schematic/document.h"

namespace schematic {

class DrawTarget;

class ViewerCore {
public:
    // Opens the file (UTF-8 path) with the reader its extension selects; throws on failure.
    explicit ViewerCore(const std::string& path);
    ~ViewerCore();

    ViewerCore(const ViewerCore&) = delete;
    ViewerCore& operator=(const ViewerCore&) = delete;

    void paint(DrawTarget& target) const;
    void fitToView();

    std::size_t pageCount() const;
    std::size_t currentPage() const;
    std::string pageName(std::size_t index) const;
    // Throws std::out_of_range for an index past the last page; a page that cannot be read
    // leaves the core on the old one.
    void selectPage(std::size_t index);

    const std::vector<LayerInfo>& layers() const;
    void setVisibleLayers(std::uint32_t mask);
    void toggleLayer(std::uint32_t bits);
    std::uint32_t visibleLayers() const;

    void setDark(bool dark);

    void setViewportSize(int width, int height);
    double scale() const;
    void pan(double dx, double dy);
    void zoomAt(double x, double y, double factor);

    std::string statusText() const;
    // Writes the current page as SVG to a UTF-8 path; throws on failure.
    void exportSvg(const std::string& path) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace schematic
