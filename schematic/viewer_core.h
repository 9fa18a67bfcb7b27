// The format-neutral document and view between the three readers and the window: opens a file
// by its extension, keeps the current page, the layers and their visibility, the theme and the
// view transform, and paints, summarises and exports the current page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace schematic {

class DrawTarget;

struct LayerInfo {
    std::string name;       // shown to the user, UTF-8
    std::uint32_t bit = 0;  // the layer's bit in the visible mask
};

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

// The other schematic files of the folder of `current`, in the order in which to try them:
// direction > 0 forwards, < 0 backwards, 0 none. File-system errors never escape.
std::vector<std::filesystem::path> siblingFiles(const std::filesystem::path& current, int direction);

// True for the extensions .sch, .schdoc, .schdot and .sbk in any ASCII case.
bool isSchematicFile(const std::filesystem::path& path);

// Orders by file name as UTF-8, ASCII letters case-insensitively, exact bytes breaking ties.
bool utf8PathLess(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace schematic
