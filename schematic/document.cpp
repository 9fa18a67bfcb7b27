// Opening a file by its extension, and the page calls every adapter shares.
#include "schematic/document.h"

#include <iterator>
#include <stdexcept>

#include "common/ascii.h"
#include "schematic/path_rules.h"

namespace schematic {

namespace {

// The extensions the viewer opens, as the user reads them, each with its reader.
struct Reader {
    const char* extension;
    std::unique_ptr<Document> (*open)(const std::string& path);
};
constexpr Reader kReaders[] = {
    {".SCH", openPcadDocument},
    {".SchDoc", openSchDocDocument},
    {".SchDot", openSchDocDocument},
    {".SBK", openSbkDocument},
};

// The reader of the path's extension, or null.
const Reader* readerFor(const std::string& path) {
    const std::string ext = lowerExtensionOf(path);
    for (const Reader& reader : kReaders)
        if (common::equalsIgnoringAsciiCase(ext, reader.extension)) return &reader;
    return nullptr;
}

// ".SCH, .SchDoc, .SchDot or .SBK".
std::string extensionList() {
    const std::size_t n = std::size(kReaders);
    std::string list;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) list += i + 1 < n ? ", " : " or ";
        list += kReaders[i].extension;
    }
    return list;
}

}  // namespace

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
    if (const Reader* reader = readerFor(path)) return reader->open(path);
    throw std::runtime_error("Unsupported extension. Expected " + extensionList());
}

bool hasReaderFor(const std::string& path) { return readerFor(path) != nullptr; }

}  // namespace schematic
