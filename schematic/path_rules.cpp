// Windows file-name rules applied by hand to UTF-8 paths, and UTF-8 conversions of paths.
#include "schematic/path_rules.h"

#include "common/ascii.h"
#include "pcad/utf8path.h"

namespace schematic {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root name: a drive ("C:") or a network host (\\server); 0 when there is none.
std::size_t rootNameLength(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        return 2;
    }
    if (path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2])) {
        const std::size_t end = path.find_first_of("\\/", 2);
        return end == std::string::npos ? path.size() : end;
    }
    return 0;
}

}  // namespace

std::string fileNameOf(const std::string& path) {
    // The root name is not part of the file name ("C:a.sch" names "a.sch", \\host has none).
    std::size_t start = rootNameLength(path);
    const std::size_t sep = path.find_last_of("\\/");
    if (sep != std::string::npos && sep + 1 > start) start = sep + 1;
    std::string name = path.substr(start);
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.resize(colon);
    return name;
}

std::string lowerExtensionOf(const std::string& path) {
    const std::string name = fileNameOf(path);
    if (name == "." || name == "..") return {};
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return common::asciiLowerCase(name.substr(dot));
}

std::string toUtf8(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::filesystem::path fromUtf8(const std::string& utf8Path) {
    return std::filesystem::path(pcad::utf8ToUtf16(utf8Path));
}

}  // namespace schematic
