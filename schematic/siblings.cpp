// Lists the schematic files of a folder in the viewer's order and rotates the list to start
// beside the open file.
#include "schematic/siblings.h"

#include <algorithm>
#include <system_error>

#include "common/ascii.h"
#include "schematic/document.h"
#include "schematic/path_rules.h"

namespace schematic {

namespace fs = std::filesystem;

namespace {

std::string nameUtf8(const fs::path& p) { return toUtf8(p.filename()); }

}  // namespace

bool isSchematicFile(const fs::path& path) {
    std::string utf8;
    try {
        utf8 = toUtf8(path);
    } catch (...) {
        return false;  // a name that has no UTF-8 form is no file we could open
    }
    return hasReaderFor(utf8);
}

bool utf8PathLess(const fs::path& a, const fs::path& b) {
    const std::string na = nameUtf8(a), nb = nameUtf8(b);
    const std::string la = common::asciiLowerCase(na), lb = common::asciiLowerCase(nb);
    if (la != lb) return la < lb;
    return na < nb;
}

std::vector<fs::path> siblingFiles(const fs::path& current, int direction) {
    std::vector<fs::path> result;
    if (direction == 0 || current.empty()) return result;
    try {
        fs::path folder = current.parent_path();
        if (folder.empty()) folder = ".";

        std::vector<fs::path> found;
        std::error_code ec;
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
        if (ec) return result;
        // A huge folder is still listed whole, but enumeration errors end it quietly.
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            const fs::path entry = folder / it->path().filename();
            std::error_code sec;
            const fs::file_status st = fs::status(entry, sec);
            if (sec || !fs::is_regular_file(st)) continue;
            if (isSchematicFile(entry)) found.push_back(entry);
        }
        if (found.empty()) return result;
        std::sort(found.begin(), found.end(), utf8PathLess);

        const std::size_t n = found.size();
        const std::string currentName = nameUtf8(current);
        std::size_t k = n;
        for (std::size_t i = 0; i < n; ++i) {
            if (nameUtf8(found[i]) == currentName) {
                k = i;
                break;
            }
        }
        if (k < n) {
            for (std::size_t step = 1; step < n; ++step) {
                const std::size_t i = direction > 0 ? (k + step) % n : (k + n - step % n) % n;
                result.push_back(found[i]);
            }
            return result;
        }
        k = static_cast<std::size_t>(std::lower_bound(found.begin(), found.end(), current, utf8PathLess) -
                                     found.begin());
        for (std::size_t step = 0; step < n; ++step) {
            const std::size_t i = direction > 0 ? (k + step) % n : (k + 2 * n - 1 - step) % n;
            result.push_back(found[i]);
        }
    } catch (...) {
        // File-system errors never escape; a path that cannot be converted lists nothing.
        result.clear();
    }
    return result;
}

}  // namespace schematic
