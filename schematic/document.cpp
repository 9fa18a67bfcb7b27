#include "schematic/document.h"

#include <stdexcept>

#include "schematic/path_rules.h"

namespace schematic {

std::string Document::pageName(std::size_t index) const {
    return index < pageCount() ? nameOfPage(index) : std::string();
}

void Document::selectPage(std::size_t index) {
    if (index >= pageCount()) throw std::out_of_range("Invalid sheet number");
    enterPage(index);
}

std::unique_ptr<Document> openDocument(const std::string& path) {
    // Decoding the whole path strictly first: an invalid one fails with the conversion's error.
    fromUtf8(path);
    const std::string ext = lowerExtensionOf(path);
    if (ext == ".sch") return openPcadDocument(path);
    if (ext == ".schdoc" || ext == ".schdot") return openSchDocDocument(path);
    if (ext == ".sbk") return openSbkDocument(path);
    throw std::runtime_error("Unsupported extension. Expected .SCH, .SchDoc, .SchDot or .SBK");
}

}  // namespace schematic
