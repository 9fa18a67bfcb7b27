// One shape for the three formats: the pages, layers, painting, summary and export of an open
// file, whichever reader it came from. The viewer core holds one and never asks which format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace schematic {

class DrawTarget;

struct LayerInfo {
    std::string name;       // shown to the user, UTF-8
    std::uint32_t bit = 0;  // the layer's bit in the visible mask
};

// How document units land on the target: pixel = unit * scale + offset, with y multiplied by
// ySign first (-1 where the format's y grows upwards).
struct ViewTransform {
    std::int32_t width = 1024;
    std::int32_t height = 768;
    double scale = 1;
    double offsetX = 0;
    double offsetY = 0;
    std::int32_t ySign = -1;
};

// The area in document units that fitting to the view shows, (x0, y0) to (x1, y1).
struct Extent {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// An open file, as every reader meets it through its adapter (pcad_document.cpp,
// schq_document.cpp, sbk_document.cpp). An adapter translates and nothing more: it maps its
// reader's pages, layers, units, colours and shapes onto these calls and the DrawTarget's. It may
// not parse the file or compute its format's geometry (curves, symbol placement and the like
// belong in the reader), keep state beyond the open file and its current page, or know of the
// window or of another format.
class Document {
public:
    virtual ~Document() = default;

    // At least 1.
    virtual std::size_t pageCount() const = 0;
    virtual std::size_t currentPage() const = 0;
    // Empty past the last page.
    std::string pageName(std::size_t index) const;
    // Throws std::out_of_range past the last page; a page that cannot be read throws and leaves
    // the document on the old one.
    void selectPage(std::size_t index);

    virtual std::vector<LayerInfo> layers() const = 0;
    // -1 where the format's y grows upwards, 1 where it grows downwards.
    virtual std::int32_t ySign() const = 0;
    // The current page's extent; it may hold any double, NaN included.
    virtual Extent extent() const = 0;

    virtual void paint(DrawTarget& target, const ViewTransform& view, std::uint32_t visibleMask,
                       bool dark) const = 0;
    virtual std::string statusText() const = 0;
    // Writes the current page as SVG to a UTF-8 path; throws on failure.
    virtual void exportSvg(const std::string& path, std::uint32_t visibleMask, bool dark) const = 0;

protected:
    // The two page calls above with `index` below pageCount().
    virtual std::string nameOfPage(std::size_t index) const = 0;
    virtual void enterPage(std::size_t index) = 0;

    Document() = default;
    Document(const Document&) = default;
    Document& operator=(const Document&) = default;
};

// Opens the file (UTF-8 path) with the reader its extension selects; throws on failure.
std::unique_ptr<Document> openDocument(const std::string& path);
// True when openDocument has a reader for the extension of the UTF-8 path, in any ASCII case.
bool hasReaderFor(const std::string& path);

// The adapters behind openDocument, one per reader.
std::unique_ptr<Document> openPcadDocument(const std::string& path);
std::unique_ptr<Document> openSchDocDocument(const std::string& path);
std::unique_ptr<Document> openSbkDocument(const std::string& path);

// max(value, least), also when the value is NaN (a file may state any width).
inline double atLeast(double value, double least) { return value >= least ? value : least; }

}  // namespace schematic
